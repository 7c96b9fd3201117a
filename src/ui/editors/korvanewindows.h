#pragma once

#include "engine/startupwindows.h"
#include "store/records.h"

#include <QObject>
#include <QPointer>
#include <QSet>

#include <functional>
#include <memory>

class frmAccountEditor;
class frmBlockedList;
class frmFriendList;
class frmSpamWords;
class frmMain;
class frmStat;
class KorvaneCore;
class ReviewActions;
class ReviewQueue;
class ReviewWindow;
class Startup;
class TrayIcon;
class TrayMenu;

// The program's windows and the tray, created once and wired to the core: the settings
// window, the history viewer, the account editor, the review window, the tray icon and its
// menu.
class KorvaneWindows : public QObject, public StartupWindows
{
    Q_OBJECT

public:
    KorvaneWindows(KorvaneCore &core, TrayIcon &tray, TrayMenu &menu);
    ~KorvaneWindows() override;

    // The orderly end, run by the tray menu's Exit before the program quits.
    void setShutdown(std::function<void()> shutdown) { m_shutdown = std::move(shutdown); }

    void loadViewer() override;
    void applyMainCaptions() override;
    void showViewer() override;
    void showAccountEditorModal() override;
    void showMainWindow() override;
    void setDisableEnableCaption(const QString &caption) override;

    // The desktop has no system tray: says so once, on the terminal and in the viewer's
    // status bar, gives the viewer the tray menu's commands and shows it.
    void runWithoutTray();

    // Builds the review window over the engine's actions and shows its tray menu item.
    void attachReview(ReviewActions &actions);
    // Keeps the review window and the tray item on the queue's messages, from now on; in
    // either order with attachReview().
    void followReviewQueue(ReviewQueue &queue);
    // A check left count messages awaiting review: the tray item says how many.
    void onReviewPending(int count);
    void showReviewWindow();
    // A check found the account's server without STARTTLS and no mode chosen: the account
    // editor shows it and opens its dialog, once per run and account.
    void askForEncryption(const MailAccount &account);
    // The tray's error mark and its Problems item follow the accounts whose last check failed.
    void showProblems();

    frmMain &settingsWindow() { return *m_main; }
    frmStat &viewer() { return *m_viewer; }
    // The account editor the viewer opened; null when none is open.
    frmAccountEditor *accountEditor() const;
    // Null until attachReview().
    ReviewWindow *reviewWindow() { return m_review.get(); }

private:
    void connectViewer();
    // Shows the viewer in front, with the size and maximised state the user gave it.
    void bringViewerForward();
    void showAccountEditor();
    void showSettingsTab(int tab);
    void showHelp();
    template<typename Editor> void showListEditor(QPointer<Editor> &editor);
    void onTrayLeftButton();
    void onDisableEnable();
    void onExit();
    void setReviewCaption();

    KorvaneCore &m_core;
    TrayIcon &m_tray;
    TrayMenu &m_menu;
    std::unique_ptr<frmStat> m_viewer;
    std::unique_ptr<frmMain> m_main;
    std::unique_ptr<ReviewWindow> m_review;
    QPointer<frmAccountEditor> m_accountEditor;
    QPointer<frmSpamWords> m_spamWords;
    QPointer<frmFriendList> m_friendList;
    QPointer<frmBlockedList> m_blockedList;
    ReviewQueue *m_queue = nullptr;
    int m_reviewCount = 0;
    QSet<QByteArray> m_askedForEncryption; // account names
    std::function<void()> m_shutdown;
};
