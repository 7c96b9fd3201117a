#pragma once

#include "securitylevelpanel.h"

#include <QPointer>
#include <QWidget>

#include <memory>

class FilePicker;
class frmAddExt;
class KorvaneCore;
class TrayMenu;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QToolButton;

// The settings window, the program's main window. Its controls hold the live settings:
// every change is in effect at once for the engine. Closing it only hides it.
class frmMain : public QWidget, public SecurityLevelView
{
    Q_OBJECT

public:
    frmMain(KorvaneCore &core, TrayMenu &trayMenu, QWidget *parent = nullptr);
    ~frmMain() override;

    // Direction and captions of the active language pack, unless packs failed to list.
    void applyLanguage();
    // Copies the current settings into the controls.
    void showSettings();
    // Reloads all data, selects the first tab, shows the window and activates it.
    void showFromTray();
    // Where the sound file is chosen; the desktop's file dialog unless a test replaces it.
    void setFilePicker(FilePicker &picker) { m_filePicker = &picker; }
    // The attachment type picker while it is open, else null.
    frmAddExt *addExtWindow() const;

    QTabWidget *SSTab1;
    QLineEdit *txtTimeOut;
    QLineEdit *txtCheckPeriod;
    QCheckBox *chkStartWWin;
    QCheckBox *chkNotAfterDel;
    QCheckBox *chkAsk;
    QCheckBox *chkNotifyNew;
    QCheckBox *chkPlay;
    QLineEdit *txtSoundFile;
    QPushButton *cmdBrowse;
    QCheckBox *chkLog;
    QCheckBox *chkDeleteLog;
    QLineEdit *txtLogSize;
    QCheckBox *ckhLargerThan;
    QLineEdit *txtMaxSize;
    QCheckBox *chkDelMess;
    QLineEdit *txtDelMess;
    QCheckBox *chkMultiple;
    QComboBox *cmbExt;
    QPushButton *cmdAddExt;
    QPushButton *cmdDelExt;
    QLineEdit *txtThreshold;
    QToolButton *cmdVeryHigh;
    QToolButton *cmdHigh;
    QToolButton *cmdNormal;
    QToolButton *cmdLow;
    QToolButton *cmdVeryLow;
    QLabel *lblLevel;
    QLabel *lblSecurity;
    QPushButton *cmdOK;
    QPushButton *cmdCancel;
    QPushButton *cmdAccounts;

    bool isLevelPressed(SecurityLevel level) const override;
    void setLevelPressed(SecurityLevel level, bool pressed) override;
    void setLevelName(const QString &text) override;
    void setLevelDescription(const QString &text) override;

signals:
    // The account editor is asked for; the program's windows open it.
    void accountEditorRequested();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    struct Labels;
    QWidget *buildGeneralTab();
    QWidget *buildSpamTab();
    QWidget *buildLevelTab();
    void connectControls();
    void bindNumber(QLineEdit *box, int &field, int minimum);
    void SetCaptions();
    void onOk();
    void onLogToggled();
    // The user unticked "Ask me before deleting": says first what that means for the messages
    // awaiting review, and ticks it again unless the user agrees.
    void onAskClicked(bool checked);
    void onBrowse();
    void onAddExt();
    void onDelExt();
    void onLeaveAtLeastTwo(QLineEdit *box, int &field, int resetValue);
    void keepExtensionsLive();
    void refuseBox(QLineEdit *box, const QString &message);
    QToolButton *levelButton(SecurityLevel level) const;
    void nameLevelButtons();
    bool refuseInvalidNumbers();

    KorvaneCore &m_core;
    TrayMenu &m_trayMenu;
    std::unique_ptr<Labels> m_labels;
    std::unique_ptr<SecurityLevelPanel> m_levels;
    std::unique_ptr<FilePicker> m_dialogPicker;
    FilePicker *m_filePicker;
    QPointer<frmAddExt> m_addExt;
};
