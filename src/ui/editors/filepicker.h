#pragma once

#include <QString>

class QWidget;

// Asks the user for a file to open. The settings window takes its sound file through it,
// so that tests can answer in the user's place.
class FilePicker
{
public:
    virtual ~FilePicker() = default;
    // The chosen file's full path, or an empty text when the user cancelled. The filter is in
    // Qt's form, "Wav files (*.wav)".
    virtual QString openFile(QWidget *parent, const QString &title, const QString &filter) = 0;
};

// The desktop's own file-open dialog.
class DialogFilePicker final : public FilePicker
{
public:
    QString openFile(QWidget *parent, const QString &title, const QString &filter) override;
};
