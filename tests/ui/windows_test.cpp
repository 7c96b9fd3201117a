#include "engine/singleinstance.h"
#include "engine/startup.h"
#include "store/verdictkeys.h"
#include "support/coretestbed.h"
#include "support/fakereviewactions.h"
#include "support/historysample.h"
#include "ui/editors/frmaccounteditor.h"
#include "ui/editors/frmaddaccount.h"
#include "ui/editors/frmmain.h"
#include "ui/editors/korvanewindows.h"
#include "ui/tray/trayicon.h"
#include "ui/tray/trayicons.h"
#include "ui/tray/traymenu.h"
#include "ui/viewer/frmstat.h"
#include "ui/viewer/reviewwindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QUuid>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// The real windows over a core with fakes, as start-up builds them.
struct WindowsBed : CoreTestbed
{
    WindowsBed() { windows.loadViewer(); }
    TrayMenu menu;
    TrayIcon trayIcon {menu};
    KorvaneWindows windows {*core, trayIcon, menu};
};

} // namespace

TEST(Windows, CaptionsComeFromTheActivePack)
{
    WindowsBed bed;
    bed.dir.write("data/Lang/English.ini", "[Korvane]\r\n10001=&Yes\r\n");
    bed.core->lang.LanguageFile = "English.ini";
    bed.windows.applyMainCaptions();
    frmMain &main = bed.windows.settingsWindow();
    EXPECT_EQ(main.windowTitle(), "Korvane Settings");
    EXPECT_EQ(main.cmdOK->text(), "&Yes");
    EXPECT_EQ(main.cmdCancel->text(), "&Cancel");
    EXPECT_EQ(main.SSTab1->tabText(2), "Security Level");
    EXPECT_EQ(bed.menu.mnuExit->text(), "E&xit Korvane");
    EXPECT_EQ(bed.menu.mnuStat->text(), "K&orvane");

    frmAccountEditor editor(bed.core->services, bed.core->lists, bed.core->listFiles, *bed.registry,
                            bed.core->IsChecking);
    EXPECT_EQ(editor.windowTitle(), "Account Editor");
    EXPECT_EQ(editor.cmdOK->text(), "&Yes");
    EXPECT_EQ(bed.windows.viewer().windowTitle(), " Korvane");
}

TEST(Windows, ArabicPackTurnsTheWindowsRightToLeft)
{
    WindowsBed bed;
    bed.dir.write("data/Lang/Arabic.ini",
                  "[Korvane]\r\n70001=Al-yawm\r\n280050=Muraja'a\r\n10112=I'dadat\r\n");
    bed.dir.write("data/Lang/English.ini", "[Korvane]\r\n");
    bed.core->lang.LanguageFile = "Arabic.ini";
    bed.windows.viewer().load();
    bed.windows.applyMainCaptions();
    FakeReviewActions actions;
    bed.windows.attachReview(actions);
    ReviewWindow &review = *bed.windows.reviewWindow();
    EXPECT_EQ(review.layoutDirection(), Qt::RightToLeft);
    EXPECT_EQ(review.windowTitle(), "Muraja'a");
    EXPECT_EQ(bed.windows.settingsWindow().layoutDirection(), Qt::RightToLeft);
    frmStat &viewer = bed.windows.viewer();
    EXPECT_EQ(viewer.layoutDirection(), Qt::RightToLeft);
    EXPECT_EQ(viewer.optToday->text(), "Al-yawm");
    ASSERT_EQ(viewer.ComboLang->count(), 2);
    EXPECT_EQ(viewer.ComboLang->currentText(), "Arabic");

    // Switching to English turns the viewer back at once; the settings window stays.
    viewer.ComboLang->setCurrentIndex(1);
    emit viewer.ComboLang->activated(1);
    EXPECT_EQ(bed.core->lang.LanguageFile, "English.ini");
    EXPECT_EQ(viewer.layoutDirection(), Qt::LeftToRight);
    EXPECT_EQ(viewer.optToday->text(), "Today");
    EXPECT_EQ(bed.windows.settingsWindow().layoutDirection(), Qt::RightToLeft);
    // The review window and the tray menu follow the viewer's choice at once, both ways.
    EXPECT_EQ(review.layoutDirection(), Qt::LeftToRight);
    EXPECT_EQ(review.windowTitle(), "Korvane - Review");
    EXPECT_EQ(bed.menu.mnuSettings->text(), "&Settings");
    viewer.ComboLang->setCurrentIndex(0);
    emit viewer.ComboLang->activated(0);
    EXPECT_EQ(review.layoutDirection(), Qt::RightToLeft);
    EXPECT_EQ(review.windowTitle(), "Muraja'a");
    EXPECT_EQ(bed.menu.mnuSettings->text(), "I'dadat");
}

TEST(Windows, SettingsControlsHoldTheLiveSettings)
{
    WindowsBed bed;
    frmMain &main = bed.windows.settingsWindow();
    main.chkDelMess->setChecked(false);
    EXPECT_FALSE(bed.core->settings.DelOld);
    main.txtMaxSize->setText("750");
    emit main.txtMaxSize->textEdited("750");
    EXPECT_EQ(bed.core->settings.MaxSizeKB, 750);
    emit main.txtMaxSize->textEdited("lots");
    EXPECT_EQ(bed.core->settings.MaxSizeKB, 750);

    main.chkLog->setChecked(false);
    EXPECT_FALSE(main.chkDeleteLog->isEnabled());
    EXPECT_FALSE(main.txtLogSize->isEnabled());
    main.chkLog->setChecked(true);
    EXPECT_TRUE(main.chkDeleteLog->isEnabled());
}

TEST(Windows, OkRefusesANumberBoxThatIsNoWholeNumber)
{
    WindowsBed bed;
    frmMain &main = bed.windows.settingsWindow();
    main.show();
    main.txtDelMess->setText("abc");
    main.cmdOK->click();
    EXPECT_EQ(bed.prompter.warnings,
              QStringList {"Days and minutes text boxes must be integers and greater than 1."});
    EXPECT_TRUE(main.isVisible());
    EXPECT_FALSE(QFile::exists(bed.settingsPath()));

    main.txtDelMess->setText("45");
    emit main.txtDelMess->textEdited("45");
    main.cmdOK->click();
    EXPECT_FALSE(main.isVisible());
    EXPECT_EQ(CRegister(bed.settingsPath()).REGGetSetting("Days", "?"), "45");
    EXPECT_EQ(bed.dir.read("data/Settings.ini"), "EXE;SRC;COM;BMP;JPG;\r\n");
}

TEST(Windows, ClosingTheSettingsWindowOnlyHidesIt)
{
    WindowsBed bed;
    frmMain &main = bed.windows.settingsWindow();
    main.show();
    EXPECT_FALSE(main.close());
    EXPECT_FALSE(main.isVisible());
}

TEST(Windows, TrayMenuSwitchesCheckingAndShowsTheViewer)
{
    WindowsBed bed;
    bed.core->setCheckingEnabled(true);
    bed.menu.mnuDisableEnable->trigger();
    EXPECT_FALSE(bed.core->tmrCheck.Enabled());
    EXPECT_EQ(bed.menu.mnuDisableEnable->text(), "Enable Korvane");
    EXPECT_EQ(bed.tray.events.last(), "set 2");

    bed.core->IsChecking = true; // ignored while a check runs
    bed.menu.mnuDisableEnable->trigger();
    EXPECT_FALSE(bed.core->tmrCheck.Enabled());
    bed.core->IsChecking = false;
    bed.menu.mnuDisableEnable->trigger();
    EXPECT_TRUE(bed.core->tmrCheck.Enabled());
    EXPECT_EQ(bed.menu.mnuDisableEnable->text(), "Disable Korvane");

    bed.dir.write("data/Accounts.ini", "POP3\r\nHome\r\nh\r\nu\r\nYGFi\r\n110\r\n");
    emit bed.trayIcon.leftButtonPressed();
    EXPECT_TRUE(bed.windows.viewer().isVisible());
    EXPECT_EQ(bed.windows.viewer().cmbAccounts->count(), 2);
    EXPECT_EQ(bed.windows.viewer().cmbAccounts->itemText(1), "Home");
}

TEST(Windows, AccountEditorListsTheAccountsFromTheFile)
{
    WindowsBed bed;
    bed.dir.write("data/Accounts.ini",
                  "POP3\r\nHome\r\npop.example.com\r\njoe\r\nYGFi\r\n110\r\n"
                  "IMAP\r\nWork\r\nimap.example.com\r\nann\r\nYGFi\r\n143\r\n");
    frmAccountEditor editor(bed.core->services, bed.core->lists, bed.core->listFiles, *bed.registry,
                            bed.core->IsChecking);
    ASSERT_EQ(editor.cmbAccount->count(), 2);
    EXPECT_EQ(editor.txtMailServer->text(), "pop.example.com");
    EXPECT_EQ(editor.txtPassword->text(), "abc");
    EXPECT_EQ(editor.txtPassword->echoMode(), QLineEdit::Password);
    editor.cmbAccount->setCurrentIndex(1);
    EXPECT_EQ(editor.txtServerType->text(), "IMAP");
    EXPECT_EQ(editor.txtPort->text(), "143");
}

// A check that found no STARTTLS on an account without a mode opens that account's dialog
// once per run: a user who closed it is not asked again at every check.
TEST(Windows, AnAccountWithoutStartTlsOpensItsDialogOnce)
{
    WindowsBed bed;
    bed.dir.write("data/Accounts.ini",
                  "POP3\r\nHome\r\npop.example.com\r\njoe\r\nYGFi\r\n110\r\n"
                  "IMAP\r\nWork\r\nimap.example.com\r\nann\r\nYGFi\r\n143\r\n");
    MailAccount work;
    work.AccountName = "Work";
    QStringList shown;
    const auto askAndAnswer = [&] {
        emit bed.core->checkCycle.encryptionChoiceNeeded(work);
        QTimer::singleShot(0, [&shown] {
            if (auto *d = qobject_cast<frmAddAccount *>(QApplication::activeModalWidget())) {
                shown << d->Text1->text() + " " + d->cmbSecurity->currentText();
                d->cmdCancel->click();
            }
        });
        QCoreApplication::processEvents();
    };
    askAndAnswer();
    EXPECT_EQ(shown, QStringList {"Work Automatic"});
    ASSERT_NE(bed.windows.accountEditor(), nullptr);
    EXPECT_EQ(bed.windows.accountEditor()->cmbAccount->currentText(), "Work");
    bed.windows.accountEditor()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(bed.windows.accountEditor(), nullptr);
    askAndAnswer();
    EXPECT_EQ(shown.size(), 1);
    EXPECT_EQ(bed.windows.accountEditor(), nullptr);
}

// Unticking "Ask me before deleting" says first how many waiting messages the next check
// would delete; declined, the box is ticked again and the setting stays.
TEST(Windows, UntickingAskSaysWhatTheNextCheckWouldDelete)
{
    WindowsBed bed;
    const MailAccount home {"POP3", "Home", "pop.home.test", "joe", "secret", 110};
    ReviewItem item;
    item.AccountName = "Home";
    item.accountIdentity = identityOf(home);
    item.serverId = "UID1";
    ReviewItem other = item;
    other.serverId = "UID2";
    ASSERT_TRUE(bed.core->reviewQueue.replaceAccount(home, {item, other}));
    frmMain &main = bed.windows.settingsWindow();
    main.showSettings();
    ASSERT_TRUE(main.chkAsk->isChecked());

    bed.prompter.answers = {false};
    main.chkAsk->click();
    EXPECT_EQ(bed.prompter.questions,
              QStringList {"From now on checks delete without asking. 2 messages now awaiting "
                           "review would be deleted at the next check. Turn off asking?"});
    EXPECT_TRUE(main.chkAsk->isChecked());
    EXPECT_TRUE(bed.core->settings.AskBeforeDel);

    bed.prompter.answers = {true};
    main.chkAsk->click();
    EXPECT_FALSE(main.chkAsk->isChecked());
    EXPECT_FALSE(bed.core->settings.AskBeforeDel);
    // Ticking it again asks nothing.
    main.chkAsk->click();
    EXPECT_EQ(bed.prompter.questions.size(), 2);
}

TEST(Windows, LevelButtonsShowALevelThatOnlyOkCommits)
{
    WindowsBed bed;
    frmMain &main = bed.windows.settingsWindow();
    main.showSettings();
    EXPECT_TRUE(main.cmdNormal->isChecked());
    EXPECT_FALSE(main.lblLevel->text().isEmpty());

    main.cmdVeryHigh->click();
    EXPECT_TRUE(main.cmdVeryHigh->isChecked());
    EXPECT_FALSE(main.cmdNormal->isChecked());
    EXPECT_EQ(bed.core->settings.SecurityLevel, 3);
    main.cmdCancel->click();
    main.showSettings();
    EXPECT_TRUE(main.cmdNormal->isChecked());

    main.cmdHigh->click();
    main.cmdOK->click();
    EXPECT_EQ(bed.core->settings.SecurityLevel, 2);
    EXPECT_FLOAT_EQ(bed.core->settings.EffectiveThreshold, 160.0f);
    EXPECT_EQ(CRegister(bed.settingsPath()).REGGetSetting("SecurityLevel", "?"), "2");
}

TEST(Windows, ViewerFiltersTheHistory)
{
    WindowsBed bed;
    bed.core->lists.FriendList = {"*@friends.example"};
    bed.core->lists.BlockedList = {"spam@*"};
    bed.core->lists.BlockedListLoaded = true;
    const auto add = [&](const char *sender, MessageStatus status, const char *checkedAt,
                         const char *account, int number) {
        bed.core->history.append(HistoryRecord {sender, "s", "d", "1024", keyOf(status),
                                                keyOf(Reason::NoRule), checkedAt, account, number});
    };
    // The sender filters compare the address inside the brackets, as the rules do.
    add("Ann <ann@friends.example>", MessageStatus::Kept, "2026-03-14 09:00:00", "Home", 1);
    add("spam@lottery.example", MessageStatus::Deleted, "2026-03-14 09:00:01", "Home", 2);
    add("bob@else.example", MessageStatus::Kept, "2026-03-13 23:59:59", "Work", 3);
    add("eve@else.example", MessageStatus::Deleted, "garbage", "Work", 4);
    frmStat &viewer = bed.windows.viewer();
    viewer.FillCombos();
    const auto shown = [&viewer] {
        QStringList numbers;
        for (int i = 0; i < viewer.lstStat->topLevelItemCount(); ++i)
            numbers << viewer.lstStat->topLevelItem(i)->text(8);
        return numbers.join(',');
    };
    EXPECT_EQ(shown(), "1,2,4"); // from today to today; an unreadable check day drops nothing
    EXPECT_EQ(viewer.lstStat->topLevelItem(0)->text(4), "1 KB");
    EXPECT_EQ(viewer.lstStat->topLevelItem(2)->text(0), "3");

    viewer.DTPickerFrom->setDate(QDate(2026, 3, 13));
    EXPECT_EQ(shown(), "1,2,3,4");
    viewer.cmbSender->setCurrentIndex(1);
    emit viewer.cmbSender->activated(1);
    EXPECT_EQ(shown(), "1");
    viewer.cmbSender->setCurrentIndex(3);
    emit viewer.cmbSender->activated(3);
    EXPECT_EQ(shown(), "3,4");
    EXPECT_EQ(bed.core->settings.SenderIndex, 3);
    viewer.cmbAccounts->setCurrentIndex(-1);
    viewer.cmbSender->setCurrentIndex(0);
    emit viewer.cmbSender->activated(0);
    viewer.DTPickerFrom->setDate(QDate(2026, 3, 15)); // first day after the last
    EXPECT_EQ(shown(), "4");
}

// An open viewer refills itself when a check ends, keeping the rows the user chose.
TEST(Windows, AnOpenViewerShowsWhatACheckRecordedAndKeepsTheChoice)
{
    WindowsBed bed;
    bed.core->history.append(historyRecord("first", 1));
    bed.core->history.append(historyRecord("second", 2));
    frmStat &viewer = bed.windows.viewer();
    viewer.FillCombos();
    viewer.show();
    ASSERT_EQ(viewer.lstStat->topLevelItemCount(), 2);
    viewer.lstStat->topLevelItem(1)->setSelected(true);

    bed.core->history.append(historyRecord("third", 3));
    emit bed.core->checkCycle.checkFinished();
    ASSERT_EQ(viewer.lstStat->topLevelItemCount(), 3);
    ASSERT_EQ(viewer.lstStat->selectedItems().size(), 1);
    EXPECT_EQ(viewer.lstStat->selectedItems().at(0)->text(8), "2");
    viewer.hide();
}

TEST(Windows, ViewerStatusBoxFindsTheMessagesAwaitingReview)
{
    WindowsBed bed;
    const auto add = [&](MessageStatus status, int number) {
        bed.core->history.append(HistoryRecord {"a@b.example", "s", "d", "1024", keyOf(status),
                                                keyOf(Reason::TooOld), "2026-03-14 09:00:00",
                                                "Home", number});
    };
    add(MessageStatus::Kept, 1);
    add(MessageStatus::AwaitingReview, 2);
    add(MessageStatus::Deleted, 3);
    add(MessageStatus::AwaitingReview, 4);
    bed.core->settings.MessagesIndex = 3;
    frmStat &viewer = bed.windows.viewer();
    viewer.FillCombos();
    ASSERT_EQ(viewer.cmbMessages->count(), 5);
    EXPECT_EQ(viewer.cmbMessages->currentText(), "Awaiting review");
    QStringList shown;
    for (int i = 0; i < viewer.lstStat->topLevelItemCount(); ++i)
        shown << viewer.lstStat->topLevelItem(i)->text(8) + ' '
                + viewer.lstStat->topLevelItem(i)->text(5);
    EXPECT_EQ(shown, QStringList({"2 Awaiting review", "4 Awaiting review"}));
}

TEST(Windows, TrayReviewItemCountsAndOpensTheReviewWindow)
{
    WindowsBed bed;
    // Nothing to review without the engine's actions behind the window.
    EXPECT_FALSE(bed.menu.mnuReview->isVisible());
    bed.menu.mnuReview->trigger();
    EXPECT_EQ(bed.windows.reviewWindow(), nullptr);

    FakeReviewActions actions;
    bed.windows.attachReview(actions);
    EXPECT_TRUE(bed.menu.mnuReview->isVisible());
    EXPECT_EQ(bed.menu.mnuReview->text(), "Review messages...");
    bed.windows.onReviewPending(12);
    EXPECT_EQ(bed.menu.mnuReview->text(), "Review 12 messages...");
    bed.menu.mnuReview->trigger();
    ASSERT_NE(bed.windows.reviewWindow(), nullptr);
    EXPECT_TRUE(bed.windows.reviewWindow()->isVisible());

    bed.dir.write("data/Lang/English.ini", "[Korvane]\r\n280067=%1 zu pruefen\r\n");
    bed.core->lang.LanguageFile = "English.ini";
    bed.windows.applyMainCaptions();
    EXPECT_EQ(bed.menu.mnuReview->text(), "12 zu pruefen");
    bed.windows.onReviewPending(0);
    EXPECT_EQ(bed.menu.mnuReview->text(), "Review messages...");
}

TEST(Windows, ReviewQueueFillsTheTrayItemAndTheReviewWindow)
{
    WindowsBed bed;
    FakeReviewActions actions;
    bed.windows.attachReview(actions);
    const MailAccount home {"POP3", "Home", "pop.home.test", "joe", "secret", 110};
    ReviewItem item;
    item.AccountName = "Home";
    item.accountIdentity = identityOf(home);
    item.serverId = "UID1";
    item.Sender = "spam@lottery.example";
    item.reason = Reason::BlockedSender;

    ASSERT_TRUE(bed.core->reviewQueue.replaceAccount(home, {item}));
    EXPECT_EQ(bed.menu.mnuReview->text(), "Review 1 messages...");
    bed.menu.mnuReview->trigger();
    ASSERT_NE(bed.windows.reviewWindow(), nullptr);
    EXPECT_EQ(bed.windows.reviewWindow()->lstReview->topLevelItemCount(), 1);

    ASSERT_TRUE(bed.core->reviewQueue.keep({item}));
    EXPECT_EQ(bed.menu.mnuReview->text(), "Review messages...");
    EXPECT_EQ(bed.windows.reviewWindow()->lstReview->topLevelItemCount(), 0);
}

// Without a tray the viewer stands in for it: it says why it is there, offers the tray menu's
// Disable/Enable and Exit, and closing it keeps it within reach.
TEST(Windows, WithoutATrayTheViewerCarriesTheTrayCommands)
{
    WindowsBed bed;
    bed.windows.runWithoutTray();
    frmStat &viewer = bed.windows.viewer();
    EXPECT_TRUE(viewer.isVisible());
    EXPECT_EQ(viewer.statusBar()->currentMessage(),
              "The desktop has no system tray: Korvane's commands are in this window.");
    const QList<QAction *> file = viewer.mnuFile->actions();
    EXPECT_TRUE(file.contains(bed.menu.mnuExit));
    EXPECT_TRUE(file.contains(bed.menu.mnuDisableEnable));

    viewer.close();
    EXPECT_TRUE(viewer.isVisible());
    EXPECT_TRUE(viewer.isMinimized());
}

// The windows' icon is the picture installed for the menus, in each size they ask for.
TEST(ApplicationIcon, IsTheEyeUnderItsBrowInEveryMenuSize)
{
    const QIcon icon = applicationIcon();
    QList<int> sizes;
    for (const QSize &size : icon.availableSizes())
        sizes << size.width();
    std::sort(sizes.begin(), sizes.end());
    EXPECT_EQ(sizes, QList<int>({16, 22, 24, 32, 48, 64, 128, 256}));
    const QImage picture = icon.pixmap(256, 256).toImage();
    EXPECT_EQ(picture.pixelColor(128, 172), QColor(Qt::black)); // the pupil
    EXPECT_EQ(picture.pixelColor(128, 52), QColor(200, 0, 0)); // the brow
}
