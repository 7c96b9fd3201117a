#pragma once

#include <QDialog>

#include <memory>

class KorvaneCore;
class QGroupBox;
class QLabel;
class QPushButton;

// The about box: the program's name, version and purpose, a warning about deletions on the
// server, the data folder, and on request a few facts about the system it runs on.
class frmAbout : public QDialog
{
    Q_OBJECT

public:
    explicit frmAbout(KorvaneCore &core, QWidget *parent = nullptr);
    ~frmAbout() override;

    // Layout direction and captions of the active language pack.
    void load();

    QLabel *picIcon;
    QLabel *lblTitle;
    QLabel *lblVersion;
    QLabel *lblDescription;
    QLabel *lblDisclaimer;
    QLabel *lblDataDir;
    QGroupBox *fraSysInfo;
    QPushButton *cmdOK;
    QPushButton *cmdSysInfo;

private:
    struct Labels;
    void SetCaptions();

    KorvaneCore &m_core;
    std::unique_ptr<Labels> m_labels;
};
