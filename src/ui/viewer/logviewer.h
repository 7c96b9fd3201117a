#pragma once

#include <QDialog>

class QPlainTextEdit;
class QPushButton;
struct Services;

// The action log, read-only, for a desktop that has no program for text files. It shows the
// file as it was when opened, scrolled to its newest lines; a very long log shows its end.
class LogViewer : public QDialog
{
    Q_OBJECT

public:
    LogViewer(const Services &services, const QString &logPath, QWidget *parent = nullptr);

    QPlainTextEdit *txtLog;
    QPushButton *cmdClose;
};
