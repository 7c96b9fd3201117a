#include "store/verdictkeys.h"
#include "support/coretestbed.h"
#include "support/fakereviewactions.h"
#include "ui/editors/frmaddaccount.h"
#include "ui/editors/frmaddemailaddress.h"
#include "ui/editors/frmfriendlist.h"
#include "ui/editors/frmmain.h"
#include "ui/editors/frmspamwords.h"
#include "ui/editors/korvanewindows.h"
#include "ui/tray/trayicon.h"
#include "ui/tray/traymenu.h"
#include "ui/viewer/frmstat.h"
#include "ui/viewer/reviewwindow.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QTreeWidget>

#include <gtest/gtest.h>

// Renders the main windows offscreen. With KORVANE_SCREENSHOT_DIR set, the pictures are
// kept there (the README shows them); otherwise they only have to render.
TEST(Screenshots, SettingsWindowAndHistoryViewerRender)
{
    CoreTestbed bed;
    QDir().mkpath(bed.dir.file("data/Lang"));
    QFile::copy(QStringLiteral(TEST_DATA_DIR "/../../lang/English.ini"),
                bed.dir.file("data/Lang/English.ini"));
    bed.core->lang.LanguageFile = "English.ini";
    TrayMenu menu;
    TrayIcon tray(menu);
    KorvaneWindows windows(*bed.core, tray, menu);
    windows.loadViewer();
    bed.core->history.append(HistoryRecord {
        "\"Ann\" <ann@example.com>", "Minutes of Monday", "Mon, 9 Mar 2026 10:12:00 +0100", "2048",
        keyOf(MessageStatus::Kept), keyOf(Reason::NoRule), "2026-03-14 09:05:07", "Home", 1});
    bed.core->history.append(
        HistoryRecord {"winner@lottery.example", "You have WON!!!",
                       "Sat, 14 Mar 2026 03:00:00 +0000", "51200", keyOf(MessageStatus::Deleted),
                       keyOf(Reason::BlockedSender), "2026-03-14 09:05:08", "Home", 2});
    frmMain &main = windows.settingsWindow();
    main.resize(620, 460);
    main.show();
    frmStat &viewer = windows.viewer();
    viewer.resize(1260, 480);
    viewer.show();
    viewer.FillCombos();

    const QString folder = qEnvironmentVariable("KORVANE_SCREENSHOT_DIR");
    const QPixmap settings = main.grab();
    const QPixmap history = viewer.grab();
    EXPECT_FALSE(settings.isNull());
    EXPECT_FALSE(history.isNull());
    if (!folder.isEmpty()) {
        QDir().mkpath(folder);
        EXPECT_TRUE(settings.save(folder + "/settings-window.png"));
        EXPECT_TRUE(history.save(folder + "/history-viewer.png"));
    }
}

TEST(Screenshots, ReviewWindowRenders)
{
    CoreTestbed bed;
    QDir().mkpath(bed.dir.file("data/Lang"));
    QFile::copy(QStringLiteral(TEST_DATA_DIR "/../../lang/English.ini"),
                bed.dir.file("data/Lang/English.ini"));
    bed.core->lang.LanguageFile = "English.ini";
    TrayMenu menu;
    TrayIcon tray(menu);
    KorvaneWindows windows(*bed.core, tray, menu);
    windows.loadViewer();
    FakeReviewActions actions;
    windows.attachReview(actions);
    const auto item
        = [](const char *account, const char *id, const char *sender, const char *subject,
             const char *date, const char *size, Reason reason, const char *why) {
              return ReviewItem {account, id, 0, sender, subject, date, size, reason, why};
          };
    ReviewWindow &review = *windows.reviewWindow();
    review.setItems({
        item("Home", "1", "\"Ann\" <ann@example.com>", "Minutes of the January meeting",
             "Mon, 12 Jan 2026 10:12:00 +0100", "20480", Reason::TooOld,
             "61 days old, over the limit of 30 days"),
        item("Home", "2", "newsletter@shop.example", "Your December offers",
             "Tue, 9 Dec 2025 07:00:00 +0000", "51200", Reason::TooOld,
             "95 days old, over the limit of 30 days"),
        item("Work", "7:3", "winner@lottery.example", "You have WON!!!",
             "Sat, 14 Mar 2026 03:00:00 +0000", "4096", Reason::BlockedSender,
             "Blocked sender: *@lottery.example"),
        item("Work", "7:4", "deals@cheap.example", "Free watches for you",
             "Fri, 13 Mar 2026 22:41:09 +0000", "8192", Reason::SpamWords,
             "Spam words: free (20) x2, watches (30) x1 \u2014 total 70, threshold 50"),
    });
    QTreeWidgetItem *old = review.lstReview->topLevelItem(2);
    old->setSelected(true);
    review.lblStatus->setText("1 message deleted on Home.");
    review.resize(1180, 400);
    review.show();

    const QPixmap picture = review.grab();
    EXPECT_FALSE(picture.isNull());
    const QString folder = qEnvironmentVariable("KORVANE_SCREENSHOT_DIR");
    if (!folder.isEmpty()) {
        QDir().mkpath(folder);
        EXPECT_TRUE(picture.save(folder + "/review-window.png"));
    }
}

TEST(Screenshots, AccountDialogRendersWithItsSecurity)
{
    CoreTestbed bed;
    frmAddAccount dialog(bed.core->services, true);
    const MailAccount account {"IMAP", "Home", "imap.example.com", "ann", "", 993};
    dialog.showAccount(account);
    dialog.showSecurity({}, 993,
                        "3F:A1:09:7C:52:D8:E4:11:B6:0A:9D:73:C2:58:E1:4F:"
                        "6B:20:A7:93:5E:C8:1D:F4:07:BB:62:39:8E:D5:40:A6");
    dialog.resize(560, 320);
    dialog.show();

    const QPixmap picture = dialog.grab();
    EXPECT_FALSE(picture.isNull());
    const QString folder = qEnvironmentVariable("KORVANE_SCREENSHOT_DIR");
    if (!folder.isEmpty()) {
        QDir().mkpath(folder);
        EXPECT_TRUE(picture.save(folder + "/account-dialog.png"));
    }
}

TEST(Screenshots, SpamWordAndFriendListEditorsRender)
{
    CoreTestbed bed;
    bed.dir.write("data/BadWords.ini",
                  "free money\r\n40\r\nviagra\r\n50\r\ncasino\r\n30\r\nunsubscribe\r\n10\r\n"
                  "minutes\r\n-20\r\n");
    bed.dir.write("data/FriendList.ini",
                  "ann@example.com\r\n*@work.example\r\nbob@*\r\nnews@club.example\r\n");
    frmSpamWords words(*bed.core);
    words.showEditor();
    words.ListView1->topLevelItem(1)->setSelected(true);
    words.resize(520, 320);
    frmFriendList friends(*bed.core);
    friends.showEditor();
    friends.ListView3->topLevelItem(0)->setSelected(true);
    friends.resize(440, 300);
    frmAddEmailAddress address(bed.core->services, *friends.ListView3, &friends);
    address.Text1->setText("*@lottery.example");
    address.show();
    address.resize(420, address.sizeHint().height());

    const QList<std::pair<QWidget *, QString>> pictures = {
        {&words, "spam-words.png"}, {&friends, "friend-list.png"}, {&address, "add-address.png"}};
    const QString folder = qEnvironmentVariable("KORVANE_SCREENSHOT_DIR");
    for (const auto &[window, name] : pictures) {
        const QPixmap picture = window->grab();
        EXPECT_FALSE(picture.isNull());
        if (!folder.isEmpty()) {
            QDir().mkpath(folder);
            EXPECT_TRUE(picture.save(folder + "/" + name));
        }
    }
}
