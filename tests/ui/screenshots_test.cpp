#include "store/verdictkeys.h"
#include "support/coretestbed.h"
#include "support/fakereviewactions.h"
#include "ui/editors/frmaccounteditor.h"
#include "ui/editors/frmaddaccount.h"
#include "ui/editors/frmaddemailaddress.h"
#include "ui/editors/frmaddext.h"
#include "ui/editors/frmfriendlist.h"
#include "ui/editors/frmmain.h"
#include "ui/editors/frmspamwords.h"
#include "ui/editors/korvanewindows.h"
#include "ui/tray/trayicon.h"
#include "ui/tray/traymenu.h"
#include "ui/viewer/frmstat.h"
#include "ui/viewer/frmviewmessage.h"
#include "ui/viewer/reviewwindow.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
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
    // The status bar lays out its new row count on the next pass of the event loop.
    QCoreApplication::processEvents();

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
              ReviewItem i;
              i.AccountName = account;
              i.serverId = id;
              i.Sender = sender;
              i.Subject = subject;
              i.SendDate = date;
              i.Size = size;
              i.reason = reason;
              i.why = why;
              return i;
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
    dialog.showSecurity({SecurityMode::SslTls, {}},
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

TEST(Screenshots, HistoryViewerInArabicRenders)
{
    CoreTestbed bed;
    QDir().mkpath(bed.dir.file("data/Lang"));
    for (const char *name : {"English.ini", "Arabic.ini", "English.bmp", "Arabic.bmp"})
        QFile::copy(QStringLiteral(TEST_DATA_DIR "/../../lang/") + name,
                    bed.dir.file(QStringLiteral("data/Lang/") + name));
    bed.core->lang.LanguageFile = "Arabic.ini";
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
    bed.core->history.append(HistoryRecord {
        "deals@cheap.example", "Free watches for you", "Fri, 13 Mar 2026 22:41:09 +0000", "8192",
        keyOf(MessageStatus::Deleted), keyOf(Reason::SpamWords), "2026-03-14 09:05:09", "Home", 3});
    frmStat &viewer = windows.viewer();
    viewer.resize(1260, 480);
    viewer.show();
    viewer.FillCombos();

    const QPixmap picture = viewer.grab();
    EXPECT_FALSE(picture.isNull());
    const QString folder = qEnvironmentVariable("KORVANE_SCREENSHOT_DIR");
    if (!folder.isEmpty()) {
        QDir().mkpath(folder);
        EXPECT_TRUE(picture.save(folder + "/history-viewer-arabic.png"));
    }
}

TEST(Screenshots, ViewerContextMenuRenders)
{
    CoreTestbed bed;
    QDir().mkpath(bed.dir.file("data/Lang"));
    QFile::copy(QStringLiteral(TEST_DATA_DIR "/../../lang/English.ini"),
                bed.dir.file("data/Lang/English.ini"));
    bed.core->lang.LanguageFile = "English.ini";
    const auto add = [&bed](const char *sender, const char *subject, const char *size,
                            MessageStatus status, Reason reason, int number) {
        bed.core->history.append(HistoryRecord {sender, subject, "Sat, 14 Mar 2026 03:00:00 +0000",
                                                size, keyOf(status), keyOf(reason),
                                                "2026-03-14 09:05:07", "Home", number});
    };
    add("\"Ann\" <ann@example.com>", "Minutes of Monday", "2048", MessageStatus::Kept,
        Reason::NoRule, 1);
    add("winner@lottery.example", "=?UTF-8?Q?You_have_WON=21=21=21?=", "51200",
        MessageStatus::Deleted, Reason::BlockedSender, 2);
    add("deals@cheap.example", "Free watches for you", "8192", MessageStatus::Deleted,
        Reason::SpamWords, 3);
    frmStat viewer(*bed.core);
    viewer.load();
    viewer.resize(1000, 420);
    viewer.show();
    viewer.FillCombos();
    QTreeWidgetItem *row = viewer.lstStat->topLevelItem(1);
    row->setSelected(true);
    const QPoint click = viewer.lstStat->visualItemRect(row).center();
    viewer.mnuStat->popup(viewer.lstStat->viewport()->mapToGlobal(click));

    // The menu is a window of its own: it is drawn over the viewer where it opened.
    QPixmap picture = viewer.grab();
    ASSERT_TRUE(viewer.mnuStat->isVisible());
    QPainter painter(&picture);
    painter.drawPixmap(viewer.mapFromGlobal(viewer.mnuStat->pos()), viewer.mnuStat->grab());
    painter.end();
    viewer.mnuStat->close();
    EXPECT_FALSE(picture.isNull());
    const QString folder = qEnvironmentVariable("KORVANE_SCREENSHOT_DIR");
    if (!folder.isEmpty()) {
        QDir().mkpath(folder);
        EXPECT_TRUE(picture.save(folder + "/viewer-context-menu.png"));
    }
}

TEST(Screenshots, MessageWindowRenders)
{
    CoreTestbed bed;
    bed.dir.write("data/Mails/1.mal",
                  "<html><p>Hello Ann,</p><p>here are the minutes of Monday's meeting:</p><ul>"
                  "<li>The garden party moves to <b>Saturday, 21 March</b>.</li>"
                  "<li>Bring your own cup; the club's are being washed.</li></ul>"
                  "<p>A photo of the new bench was attached, but pictures from the internet "
                  "stay away: <img src=\"http://example.com/bench.jpg\" alt=\"bench\"></p>"
                  "<p>See you there,<br>Ben</p>");
    QWidget viewer;
    frmViewMessage *window
        = frmViewMessage::ViewMessage(bed.core->services, bed.dir.file("data/Mails/1.mal"), "1",
                                      "Minutes of Monday", "\"Ben\" <ben@example.com>", &viewer);
    ASSERT_TRUE(window);
    window->resize(640, 360);

    const QPixmap picture = window->grab();
    EXPECT_FALSE(picture.isNull());
    const QString folder = qEnvironmentVariable("KORVANE_SCREENSHOT_DIR");
    if (!folder.isEmpty()) {
        QDir().mkpath(folder);
        EXPECT_TRUE(picture.save(folder + "/message-window.png"));
    }
}

TEST(Screenshots, SettingsTabsAndAttachmentPickerRender)
{
    CoreTestbed bed;
    QDir().mkpath(bed.dir.file("data/Lang"));
    QFile::copy(QStringLiteral(TEST_DATA_DIR "/../../lang/English.ini"),
                bed.dir.file("data/Lang/English.ini"));
    bed.core->lang.LanguageFile = "English.ini";
    TrayMenu menu;
    frmMain main(*bed.core, menu);
    main.resize(620, 460);
    main.show();
    main.SSTab1->setCurrentIndex(1);
    const QPixmap spam = main.grab();
    main.SSTab1->setCurrentIndex(2);
    main.cmdLow->click();
    const QPixmap level = main.grab();

    main.cmdAddExt->click();
    ASSERT_NE(main.addExtWindow(), nullptr);
    frmAddExt &picker = *main.addExtWindow();
    const auto pdf = picker.lstFile->findItems(".pdf", Qt::MatchExactly);
    if (!pdf.isEmpty()) {
        picker.lstFile->setCurrentItem(pdf.first());
        picker.lstFile->scrollToItem(pdf.first(), QAbstractItemView::PositionAtCenter);
    }
    picker.resize(560, 420);
    const QPixmap pickerPicture = picker.grab();

    EXPECT_FALSE(spam.isNull());
    EXPECT_FALSE(level.isNull());
    EXPECT_FALSE(pickerPicture.isNull());
    const QString folder = qEnvironmentVariable("KORVANE_SCREENSHOT_DIR");
    if (!folder.isEmpty()) {
        QDir().mkpath(folder);
        EXPECT_TRUE(spam.save(folder + "/settings-spam.png"));
        EXPECT_TRUE(level.save(folder + "/settings-level.png"));
        EXPECT_TRUE(pickerPicture.save(folder + "/attachment-picker.png"));
    }
}

TEST(Screenshots, AccountEditorRenders)
{
    CoreTestbed bed;
    bed.dir.write("data/Accounts.ini",
                  "POP3\r\nHome\r\npop.example.com\r\njoe\r\nYGFi\r\n995\r\n"
                  "IMAP\r\nWork\r\nimap.example.org\r\nann\r\nYGFi\r\n993\r\n");
    frmAccountEditor editor(bed.core->services, bed.core->lists, bed.core->listFiles, *bed.registry,
                            bed.core->IsChecking);
    editor.resize(520, 300);
    editor.show();

    const QPixmap picture = editor.grab();
    EXPECT_FALSE(picture.isNull());
    const QString folder = qEnvironmentVariable("KORVANE_SCREENSHOT_DIR");
    if (!folder.isEmpty()) {
        QDir().mkpath(folder);
        EXPECT_TRUE(picture.save(folder + "/account-editor.png"));
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
