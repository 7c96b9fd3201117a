#include "korvanewindows.h"

#include "engine/korvanecore.h"
#include "engine/reviewactions.h"
#include "frmaccounteditor.h"
#include "frmblockedlist.h"
#include "frmfriendlist.h"
#include "frmmain.h"
#include "frmspamwords.h"
#include "platform/prompter.h"
#include "store/reviewqueue.h"
#include "ui/tray/trayicon.h"
#include "ui/tray/traymenu.h"
#include "ui/viewer/frmstat.h"
#include "ui/viewer/helpguide.h"
#include "ui/viewer/reviewwindow.h"

#include <QAction>
#include <QCoreApplication>
#include <QDebug>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>

KorvaneWindows::KorvaneWindows(KorvaneCore &core, TrayIcon &tray, TrayMenu &menu)
    : m_core(core)
    , m_tray(tray)
    , m_menu(menu)
{
    connect(&m_tray, &TrayIcon::leftButtonPressed, this, &KorvaneWindows::onTrayLeftButton);
    connect(m_menu.mnuSettings, &QAction::triggered, this, [this] { m_main->showFromTray(); });
    connect(m_menu.mnuStat, &QAction::triggered, this, &KorvaneWindows::onTrayLeftButton);
    connect(m_menu.mnuReview, &QAction::triggered, this, &KorvaneWindows::showReviewWindow);
    connect(m_menu.mnuHelp, &QAction::triggered, this, &KorvaneWindows::showHelp);
    connect(m_menu.mnuCheckNow, &QAction::triggered, this,
            [this] { m_core.checkCycle.CheckNow(); });
    connect(&m_core.checkCycle, &CheckCycle::checkNowCaptionChanged, m_menu.mnuCheckNow,
            &QAction::setText);
    connect(&m_core.checkCycle, &CheckCycle::reviewPending, this, &KorvaneWindows::onReviewPending);
    connect(&m_core.checkCycle, &CheckCycle::problemsChanged, this, &KorvaneWindows::showProblems);
    connect(m_menu.mnuProblems, &QAction::triggered, this, [this] {
        m_core.env.prompter.warning(
            AccountProblems::listText(m_core.services, m_core.checkCycle.problems().list()));
    });
    // The dialog opens once the check has gone on, not inside the session's own handler.
    connect(&m_core.checkCycle, &CheckCycle::encryptionChoiceNeeded, this,
            [this](const MailAccount &account) {
                QTimer::singleShot(0, this, [this, account] { askForEncryption(account); });
            });
    followReviewQueue(m_core.reviewQueue);
    connect(m_menu.mnuDisableEnable, &QAction::triggered, this, &KorvaneWindows::onDisableEnable);
    connect(m_menu.mnuExit, &QAction::triggered, this, &KorvaneWindows::onExit);
}

KorvaneWindows::~KorvaneWindows() = default;

void KorvaneWindows::loadViewer()
{
    m_viewer = std::make_unique<frmStat>(m_core);
    m_viewer->load();
    m_main = std::make_unique<frmMain>(m_core, m_menu);
    connectViewer();
}

void KorvaneWindows::connectViewer()
{
    // An open viewer shows what the check just recorded, keeping the user's place.
    connect(&m_core.checkCycle, &CheckCycle::checkFinished, m_viewer.get(), [this] {
        if (m_viewer->isVisible())
            m_viewer->FillList();
    });
    connect(m_viewer.get(), &frmStat::accountEditorRequested, this,
            &KorvaneWindows::showAccountEditor);
    connect(m_viewer.get(), &frmStat::settingsRequested, this, &KorvaneWindows::showSettingsTab);
    connect(m_main.get(), &frmMain::accountEditorRequested, this,
            &KorvaneWindows::showAccountEditor);
    connect(m_viewer.get(), &frmStat::helpRequested, this, &KorvaneWindows::showHelp);
    connect(m_viewer.get(), &frmStat::languageChanged, this, [this] {
        applyMainCaptions();
        showProblems();
    });
    connect(m_viewer.get(), &frmStat::spamWordsRequested, this,
            [this] { showListEditor<frmSpamWords>(m_spamWords); });
    connect(m_viewer.get(), &frmStat::friendListRequested, this,
            [this] { showListEditor<frmFriendList>(m_friendList); });
    connect(m_viewer.get(), &frmStat::blockedListRequested, this,
            [this] { showListEditor<frmBlockedList>(m_blockedList); });
}

void KorvaneWindows::showHelp()
{
    ShowHelp(m_core.services, m_core.env.dataDir, m_core.env.sharedDir);
}

// One editor of each list, owned by the viewer: opening it again brings the open one
// forward with its unsaved changes.
template<typename Editor> void KorvaneWindows::showListEditor(QPointer<Editor> &editor)
{
    if (!editor)
        editor = new Editor(m_core, m_viewer.get());
    editor->showEditor();
}

frmAccountEditor *KorvaneWindows::accountEditor() const
{
    return m_accountEditor.data();
}

void KorvaneWindows::showAccountEditor()
{
    // One editor at a time: a second would start from the accounts the first is changing.
    if (!m_accountEditor) {
        m_accountEditor
            = new frmAccountEditor(m_core.services, m_core.lists, m_core.listFiles,
                                   m_core.env.registry, m_core.IsChecking, m_viewer.get());
        m_accountEditor->setAttribute(Qt::WA_DeleteOnClose);
        m_accountEditor->setReviewQueue(m_core.reviewQueue);
    }
    m_accountEditor->show();
    m_accountEditor->raise();
    m_accountEditor->activateWindow();
}

// The check that found the account's server without STARTTLS has said why in its popup; the
// account's dialog opens once per run, so that a user who closes it is not asked again at
// every check.
void KorvaneWindows::askForEncryption(const MailAccount &account)
{
    if (m_askedForEncryption.contains(account.AccountName) || !m_viewer)
        return;
    m_askedForEncryption.insert(account.AccountName);
    // An editor already open may be in the middle of the user's own changes.
    const bool wasOpen = m_accountEditor;
    showAccountEditor();
    if (!wasOpen)
        m_accountEditor->editAccount(account.AccountName);
}

void KorvaneWindows::showProblems()
{
    const int count = int(m_core.checkCycle.problems().list().size());
    m_menu.mnuProblems->setText(
        m_core.services.caption("280506", "Problems with %1 accounts...").arg(count));
    m_menu.mnuProblems->setVisible(count > 0);
    m_tray.setProblemMark(count > 0);
}

void KorvaneWindows::showSettingsTab(int tab)
{
    if (!m_main->isVisible())
        m_main->showSettings();
    m_main->SSTab1->setCurrentIndex(tab);
    m_main->show();
    m_main->raise();
    m_main->activateWindow();
}

void KorvaneWindows::applyMainCaptions()
{
    m_main->applyLanguage();
    setReviewCaption();
    if (m_review)
        m_review->applyCaptions();
}

void KorvaneWindows::showViewer()
{
    m_viewer->FillCombos();
    bringViewerForward();
}

void KorvaneWindows::bringViewerForward()
{
    // Out of the task bar if minimised, but as large as it was: showNormal() would also
    // undo a maximised window.
    m_viewer->setWindowState(m_viewer->windowState() & ~Qt::WindowMinimized);
    m_viewer->show();
    m_viewer->raise();
    m_viewer->activateWindow();
}

void KorvaneWindows::showAccountEditorModal()
{
    frmAccountEditor editor(m_core.services, m_core.lists, m_core.listFiles, m_core.env.registry,
                            m_core.IsChecking, m_viewer.get());
    editor.setSettings(m_core.settings);
    editor.setReviewQueue(m_core.reviewQueue);
    editor.exec();
}

void KorvaneWindows::showMainWindow()
{
    m_main->showSettings();
    m_main->show();
}

void KorvaneWindows::setDisableEnableCaption(const QString &caption)
{
    m_menu.mnuDisableEnable->setText(caption);
}

void KorvaneWindows::runWithoutTray()
{
    const QString text = m_core.services.caption(
        "280321", "The desktop has no system tray: Korvane's commands are in this window.");
    qWarning().noquote() << text;
    m_viewer->statusBar()->showMessage(text);
    m_viewer->setWithoutTray({m_menu.mnuDisableEnable, m_menu.mnuExit});
    showViewer();
}

void KorvaneWindows::attachReview(ReviewActions &actions)
{
    m_review = std::make_unique<ReviewWindow>(m_core.services, m_core.history, actions);
    if (m_queue)
        m_review->setItems(m_queue->items());
    setReviewCaption();
    m_menu.mnuReview->setVisible(true);
}

void KorvaneWindows::followReviewQueue(ReviewQueue &queue)
{
    m_queue = &queue;
    const auto follow = [this, &queue] {
        if (m_review)
            m_review->setItems(queue.items());
        onReviewPending(queue.count());
    };
    connect(&queue, &ReviewQueue::changed, this, follow);
    follow();
}

void KorvaneWindows::onReviewPending(int count)
{
    m_reviewCount = count;
    setReviewCaption();
}

void KorvaneWindows::setReviewCaption()
{
    m_menu.mnuReview->setText(
        m_reviewCount > 0
            ? m_core.services.caption("280067", "Review %1 messages...").arg(m_reviewCount)
            : m_core.services.caption("280066", "Review messages..."));
}

void KorvaneWindows::showReviewWindow()
{
    if (!m_review)
        return;
    m_review->showNormal();
    m_review->raise();
    m_review->activateWindow();
}

void KorvaneWindows::onTrayLeftButton()
{
    m_core.LoadAllData();
    bringViewerForward();
    m_viewer->FillCombos();
}

void KorvaneWindows::onDisableEnable()
{
    // The switch waits while a check runs.
    if (m_core.IsChecking)
        return;
    m_core.setCheckingEnabled(!m_core.tmrCheck.Enabled());
    setDisableEnableCaption(m_core.disableEnableCaption());
}

void KorvaneWindows::onExit()
{
    if (m_shutdown)
        m_shutdown();
    QCoreApplication::exit(0);
}
