#include "classify/matching.h"
#include "store/verdictkeys.h"
#include "support/coretestbed.h"
#include "support/historysample.h"
#include "ui/editors/frmaccounteditor.h"
#include "ui/editors/frmmain.h"
#include "ui/editors/korvanewindows.h"
#include "ui/tray/trayicon.h"
#include "ui/tray/traymenu.h"
#include "ui/viewer/frmabout.h"
#include "ui/viewer/frmstat.h"
#include "ui/viewer/frmviewmessage.h"
#include "ui/viewer/logviewer.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

// The viewer over a core with fakes; the desktop answers the save dialog with saveName and
// records what it is asked to open.
struct ViewerBed : CoreTestbed
{
    ViewerBed()
    {
        viewer.setDesktop({[this](QWidget *, const QString &, const QString &) { return saveName; },
                           [this](const QUrl &url) {
                               opened << url;
                               return canOpen;
                           }});
    }

    // Records with their saved copies, in the history and in "History.ini", then shown.
    void record(const QList<HistoryRecord> &records)
    {
        for (const HistoryRecord &r : records) {
            core->history.append(r);
            dir.write(QStringLiteral("data/Mails/%1.mal").arg(r.MailNumber), "<html>copy");
        }
        ASSERT_TRUE(core->history.SaveHist());
        viewer.FillCombos();
    }

    void select(std::initializer_list<int> rows)
    {
        viewer.lstStat->clearSelection();
        for (const int row : rows)
            viewer.lstStat->topLevelItem(row)->setSelected(true);
    }

    QStringList column(int index) const
    {
        QStringList texts;
        for (int i = 0; i < viewer.lstStat->topLevelItemCount(); ++i)
            texts << viewer.lstStat->topLevelItem(i)->text(index);
        return texts;
    }

    QPoint rowCentre(int row) const
    {
        return viewer.lstStat->visualItemRect(viewer.lstStat->topLevelItem(row)).center();
    }

    frmStat viewer {*core};
    QString saveName;
    QList<QUrl> opened;
    bool canOpen = true; // whether the desktop has a program for the file
};

HistoryRecord from(const QByteArray &sender, int mailNumber)
{
    HistoryRecord r = historyRecord("s", mailNumber);
    r.Sender = sender;
    return r;
}

// The message windows that View Message opened, closed again by the test.
QList<frmViewMessage *> messageWindows()
{
    QList<frmViewMessage *> windows;
    for (QWidget *widget : QApplication::topLevelWidgets())
        if (auto *view = qobject_cast<frmViewMessage *>(widget))
            windows << view;
    return windows;
}

void closeMessageWindows()
{
    for (frmViewMessage *view : messageWindows())
        delete view;
}

} // namespace

TEST(ViewerCommands, DeleteRemovesRecordsCopiesAndRowsWithoutRenumbering)
{
    ViewerBed bed;
    bed.record({historyRecord("one", 1), historyRecord("two", 2), historyRecord("three", 3),
                historyRecord("four", 4)});
    bed.dir.write("data/Mails/2.why", "evidence");
    bed.viewer.show();
    bed.select({1, 2});

    QTest::keyClick(bed.viewer.lstStat, Qt::Key_Delete); // answered No
    EXPECT_EQ(
        bed.prompter.questions,
        QStringList {"you are about to delete the selected items from history, Are you sure?"});
    EXPECT_EQ(bed.core->history.count(), 4);
    EXPECT_TRUE(QFile::exists(bed.dir.file("data/Mails/2.mal")));

    bed.prompter.answers = {true};
    bed.viewer.mnuClear->trigger();
    EXPECT_EQ(bed.column(0), QStringList({"1", "4"}));
    EXPECT_EQ(bed.column(8), QStringList({"1", "4"}));
    for (const char *name : {"1.mal", "4.mal"})
        EXPECT_TRUE(QFile::exists(bed.dir.file(QStringLiteral("data/Mails/") + name))) << name;
    for (const char *name : {"2.mal", "2.why", "3.mal"})
        EXPECT_FALSE(QFile::exists(bed.dir.file(QStringLiteral("data/Mails/") + name))) << name;
    // Read back from "History.ini".
    ASSERT_EQ(bed.core->history.count(), 2);
    EXPECT_EQ(bed.core->history.at(1).Subject, "one");
    EXPECT_EQ(bed.core->history.at(2).Subject, "four");
}

namespace {

// Answers Yes, and meanwhile takes the activation away from the viewer, as a real message box
// does; the window system gives it back after the box has gone.
class BoxLikePrompter final : public Prompter
{
public:
    void warning(const QString &) override { takeActivation(); }
    void critical(const QString &) override { takeActivation(); }
    bool question(const QString &) override
    {
        takeActivation();
        return true;
    }
    QWidget *owner = nullptr;

private:
    void takeActivation()
    {
        QWidget box;
        box.show();
        box.activateWindow();
        QApplication::processEvents();
        box.hide();
        owner->activateWindow();
    }
};

} // namespace

TEST(ViewerCommands, ActivationAfterItsOwnBoxDoesNotRefillTheTable)
{
    TempDataDir dir;
    BoxLikePrompter prompter;
    FakeNotifier notifier;
    FakeClock clock;
    FakeTray tray;
    CRegister registry(dir.file("settings.conf"));
    KorvaneCore core(
        CoreEnvironment {dir.path(), prompter, notifier, clock, registry, tray, {}, {}});
    for (const int n : {1, 2, 3, 4})
        core.history.append(historyRecord("s", n));
    frmStat viewer(core);
    prompter.owner = &viewer;
    viewer.show();
    viewer.activateWindow();
    QApplication::processEvents();
    const auto shown = [&viewer] {
        QStringList numbers;
        for (int i = 0; i < viewer.lstStat->topLevelItemCount(); ++i)
            numbers << viewer.lstStat->topLevelItem(i)->text(0);
        return numbers;
    };
    viewer.lstStat->topLevelItem(1)->setSelected(true);
    viewer.lstStat->topLevelItem(2)->setSelected(true);

    QTest::keyClick(viewer.lstStat, Qt::Key_Delete);
    QApplication::processEvents();
    EXPECT_TRUE(viewer.isActiveWindow());
    EXPECT_EQ(shown(), QStringList({"1", "4"}));

    // Coming back from any other window refills as before.
    QWidget other;
    other.show();
    other.activateWindow();
    QApplication::processEvents();
    viewer.activateWindow();
    QApplication::processEvents();
    EXPECT_EQ(shown(), QStringList({"1", "2"}));
}

TEST(ViewerCommands, DeleteOnAnEmptyTableAsksNothing)
{
    ViewerBed bed;
    bed.viewer.FillCombos();
    bed.viewer.mnuDelete->trigger();
    EXPECT_TRUE(bed.prompter.questions.isEmpty());
}

TEST(ViewerCommands, SaveListWritesTheRecordedBytesAndShowsThemDecoded)
{
    ViewerBed bed;
    HistoryRecord spam = historyRecord("=?UTF-8?Q?Gr=C3=BC=C3=9Fe?=", 7, MessageStatus::Deleted);
    spam.Sender = "=?UTF-8?B?QW5u?= <ann@example.com>";
    bed.dir.write("data/Lang/English.ini",
                  "[Korvane]\r\n70043=Deleted\r\n70044=Exist\r\n10152=No rule applied\r\n"
                  "10154=Spam words\r\n");
    bed.core->lang.LanguageFile = "English.ini";
    bed.record({historyRecord("Minutes", 3), spam});
    EXPECT_EQ(bed.column(1), QStringList({"Ann <ann@example.com>", "Ann <ann@example.com>"}));
    EXPECT_EQ(bed.column(2), QStringList({"Minutes", "Gr\u00fc\u00dfe"}));

    bed.saveName = bed.dir.file("list.txt");
    bed.viewer.toolbarButton(2)->trigger();
    const QByteArray separator
        = "**___________________________**___________________________________**\r\n";
    EXPECT_EQ(bed.dir.read("list.txt"),
              "Message Number 1\r\n"
              "  Sender:           Ann <ann@example.com>\r\n"
              "  Subject:          Minutes\r\n"
              "  Message Date:     Mon, 2 Mar 2026 10:00:00 +0000\r\n"
              "  Size:             1.2 KB\r\n"
              "  Status:           Exist\r\n"
              "  Reason of status: No rule applied\r\n"
              "  Checking Date:    2026-03-14 09:05:07\r\n"
                  + separator
                  + "Message Number 2\r\n"
                    "  Sender:           =?UTF-8?B?QW5u?= <ann@example.com>\r\n"
                    "  Subject:          =?UTF-8?Q?Gr=C3=BC=C3=9Fe?=\r\n"
                    "  Message Date:     Mon, 2 Mar 2026 10:00:00 +0000\r\n"
                    "  Size:             1.2 KB\r\n"
                    "  Status:           Deleted\r\n"
                    "  Reason of status: Spam words\r\n"
                    "  Checking Date:    2026-03-14 09:05:07\r\n"
                  + separator);

    // A cancelled dialog writes nothing.
    bed.saveName.clear();
    bed.viewer.mnuSave->trigger();
    EXPECT_EQ(QDir(bed.dir.path()).entryList(QDir::Files), QStringList {"list.txt"});
}

TEST(ViewerCommands, ViewMessageWarnsOfAMissingCopyAndOpensTheOthers)
{
    ViewerBed bed;
    bed.record({from("Ann <ann@example.com>", 1), historyRecord("Minutes", 2)});
    QFile::remove(bed.dir.file("data/Mails/1.mal"));
    bed.select({0, 1});
    bed.viewer.mnuViewMessage->trigger();
    EXPECT_EQ(bed.prompter.warnings, QStringList {"Message file for message# 1  is NOT found."});
    const QList<frmViewMessage *> windows = messageWindows();
    ASSERT_EQ(windows.size(), 1);
    // The caption "from:" is followed by ": ".
    EXPECT_TRUE(windows.first()->windowTitle().endsWith("Minutes  from:: Ann <ann@example.com>"));
    // No owner: it stays open when the viewer is hidden.
    EXPECT_EQ(windows.first()->parent(), nullptr);
    closeMessageWindows();
}

// The list commands add what the rules compare: the address the message was judged by, as
// its evidence holds it, else the address inside the recorded sender's angle brackets. The
// rules then find the next message from that address, or from its domain.
TEST(ViewerCommands, AddSenderAndServerAddTheAddressTheRulesCompare)
{
    const struct
    {
        QByteArray recorded;
        QByteArray judged; // in the evidence; empty: none written
        QByteArray senderEntry;
        QByteArray serverEntry;
        QByteArray nextFromDomain;
    } cases[] = {
        {"\"Rail Bookings\" <noreply@rail.example>",
         {},
         "noreply@rail.example",
         "*@rail.example",
         "tickets@rail.example"},
        {"<ann@projects.example.net>",
         {},
         "ann@projects.example.net",
         "*@projects.example.net",
         "bob@projects.example.net"},
        {"bob@example.org", {}, "bob@example.org", "*@example.org", "eve@example.org"},
        {"News <news@example.net>", "bounce@lists.example", "bounce@lists.example",
         "*@lists.example", "other@lists.example"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.recorded.toStdString());
        ViewerBed bed;
        bed.record({from(c.recorded, 1)});
        if (!c.judged.isEmpty()) {
            Verdict verdict;
            verdict.address = c.judged;
            ASSERT_TRUE(bed.core->history.saveEvidence(1, verdict));
        }
        bed.select({0});
        bed.viewer.mnuSen2Friend->trigger();
        bed.viewer.mnuSer2Blocked->trigger();
        EXPECT_EQ(bed.core->lists.FriendList, QList<QByteArray> {c.senderEntry});
        EXPECT_EQ(bed.core->lists.BlockedList, QList<QByteArray> {c.serverEntry});
        EXPECT_EQ(bed.dir.read("data/FriendList.ini"), c.senderEntry + "\r\n");
        EXPECT_EQ(bed.dir.read("data/BlockedList.ini"), c.serverEntry + "\r\n");
        EXPECT_TRUE(IsInFriendList(bed.core->lists, c.senderEntry));
        EXPECT_TRUE(IsInBlockedList(bed.core->lists, c.nextFromDomain));
    }
}

// A click on a column header sorts by the column's value, the search box keeps the rows whose
// sender or subject holds its text, and the status bar counts the rows shown.
TEST(ViewerCommands, HeadersSortTheSearchBoxNarrowsAndTheRowsAreCounted)
{
    ViewerBed bed;
    const auto row = [](const QByteArray &sender, const QByteArray &subject, const QByteArray &size,
                        int mailNumber) {
        HistoryRecord r = from(sender, mailNumber);
        r.Subject = subject;
        r.Size = size;
        return r;
    };
    bed.record({row("Zed <zed@example.com>", "Invoice", "900", 1),
                row("Ann <ann@example.com>", "Minutes", "2048", 2),
                row("Bob <bob@example.org>", "Lunch", "100", 3)});
    EXPECT_EQ(bed.column(8), QStringList({"1", "2", "3"}));
    EXPECT_EQ(bed.viewer.lblCount->text(), "3 messages");

    bed.viewer.lstStat->header()->setSortIndicator(4, Qt::AscendingOrder);
    EXPECT_EQ(bed.column(8), QStringList({"3", "1", "2"}));
    bed.viewer.lstStat->header()->setSortIndicator(1, Qt::AscendingOrder);
    EXPECT_EQ(bed.column(8), QStringList({"2", "3", "1"}));

    bed.viewer.txtSearch->setText("MINUTES");
    EXPECT_EQ(bed.column(8), QStringList {"2"});
    EXPECT_EQ(bed.viewer.lblCount->text(), "1 messages");
    bed.viewer.txtSearch->setText("example.org");
    EXPECT_EQ(bed.column(8), QStringList {"3"});
    bed.viewer.txtSearch->clear();
    EXPECT_EQ(bed.column(8), QStringList({"2", "3", "1"}));
}

TEST(ViewerCommands, ViewLogWarnsWhenLoggingIsOffAndOpensTheLogAnyway)
{
    ViewerBed bed;
    const QUrl log = QUrl::fromLocalFile(bed.core->log.path());
    bed.viewer.toolbarButton(5)->trigger();
    EXPECT_TRUE(bed.prompter.warnings.isEmpty());
    EXPECT_EQ(bed.opened, QList<QUrl> {log});

    bed.core->settings.WriteLog = false;
    bed.viewer.mnuViewLog->trigger();
    EXPECT_EQ(bed.prompter.warnings,
              QStringList {"The 'Write Action to log file' option is unchecked"});
    EXPECT_EQ(bed.opened, QList<QUrl>({log, log}));

    // A desktop without a program for it: the log shows in Korvane's own window, read-only.
    bed.core->settings.WriteLog = true;
    ASSERT_TRUE(bed.core->log.Log("Home: kept the message from ann@example.com, \"Hi\"."));
    bed.canOpen = false;
    bed.viewer.mnuViewLog->trigger();
    auto *shown = bed.viewer.findChild<LogViewer *>();
    ASSERT_NE(shown, nullptr);
    EXPECT_TRUE(shown->isVisible());
    EXPECT_TRUE(shown->txtLog->isReadOnly());
    EXPECT_TRUE(shown->txtLog->toPlainText().contains(
        "Home: kept the message from ann@example.com, \"Hi\"."));
    shown->cmdClose->click();
}

TEST(ViewerCommands, TableKeysClicksAndContextMenuLeadToTheirCommands)
{
    ViewerBed bed;
    bed.record({from("Ann <ann@example.com>", 1), from("bob@example.org", 2)});
    for (const char *name : {"1.mal", "2.mal"})
        QFile::remove(bed.dir.file(QStringLiteral("data/Mails/") + name));
    bed.viewer.show();
    QWidget *table = bed.viewer.lstStat->viewport();

    // A double click as the window system delivers it: a click, then the second press.
    QTest::mouseClick(table, Qt::LeftButton, {}, bed.rowCentre(0));
    QTest::mouseDClick(table, Qt::LeftButton, {}, bed.rowCentre(0));
    QTest::mouseRelease(table, Qt::LeftButton, {}, bed.rowCentre(0));
    bed.select({1});
    QTest::keyClick(bed.viewer.lstStat, Qt::Key_Return);
    EXPECT_EQ(bed.prompter.warnings,
              QStringList({"Message file for message# 1  is NOT found.",
                           "Message file for message# 2  is NOT found."}));

    // The right button selects the row under the mouse and opens the menu there.
    QTest::mouseClick(table, Qt::RightButton, {}, bed.rowCentre(0));
    EXPECT_TRUE(bed.viewer.mnuStat->isVisible());
    EXPECT_TRUE(bed.viewer.mnuStat->geometry().contains(table->mapToGlobal(bed.rowCentre(0))
                                                        + QPoint(1, 1)));
    bed.viewer.mnuStat->close();
    bed.viewer.mnuSer2Friend->trigger();
    EXPECT_EQ(bed.core->lists.FriendList, QList<QByteArray> {"*@example.com"});
    bed.prompter.answers = {true};
    bed.viewer.mnuDelete->trigger();
    EXPECT_EQ(bed.column(8), QStringList {"2"});

    // F5 fills the table anew.
    bed.viewer.activateWindow();
    QApplication::processEvents();
    bed.core->history.append(historyRecord("new", 5));
    QTest::keyClick(&bed.viewer, Qt::Key_F5);
    EXPECT_EQ(bed.column(8), QStringList({"2", "5"}));
}

TEST(ViewerCommands, ToolbarHasItsSeparatorsTipsAndCommands)
{
    ViewerBed bed;
    for (const int index : {1, 3, 7, 11, 13, 16})
        EXPECT_TRUE(bed.viewer.toolbarButton(index)->isSeparator()) << index;
    EXPECT_EQ(bed.viewer.toolbarButton(18), nullptr);
    bed.viewer.SetStatCaptions();
    EXPECT_EQ(bed.viewer.toolbarButton(10)->toolTip(), "Bloked list");
    EXPECT_FALSE(bed.viewer.toolbarButton(10)->icon().isNull());

    QList<int> tabs;
    QObject::connect(&bed.viewer, &frmStat::settingsRequested, [&tabs](int tab) { tabs << tab; });
    int opened = 0;
    for (auto signal :
         {&frmStat::helpRequested, &frmStat::accountEditorRequested, &frmStat::spamWordsRequested,
          &frmStat::friendListRequested, &frmStat::blockedListRequested})
        QObject::connect(&bed.viewer, signal, [&opened] { ++opened; });
    for (const int index : {4, 8, 9, 10, 12, 17})
        bed.viewer.toolbarButton(index)->trigger();
    for (QAction *item :
         {bed.viewer.mnuSettings, bed.viewer.mnuSpamSettings, bed.viewer.mnuSecLevel})
        item->trigger();
    EXPECT_EQ(opened, 5);
    EXPECT_EQ(tabs, QList<int>({0, 0, 1, 2}));
}

TEST(ViewerCommands, CloseHidesTheViewerAndAboutOpensItsBox)
{
    ViewerBed bed;
    bed.viewer.show();
    bed.viewer.mnuAbout->trigger();
    ASSERT_NE(bed.viewer.aboutBox(), nullptr);
    EXPECT_TRUE(bed.viewer.aboutBox()->isVisible());
    EXPECT_EQ(bed.viewer.aboutBox()->parent(), nullptr);
    EXPECT_EQ(bed.viewer.aboutBox()->windowTitle(), "About Korvane");

    bed.viewer.mnuClose->trigger();
    EXPECT_FALSE(bed.viewer.isVisible());
    EXPECT_EQ(bed.registry->REGGetSetting("FromOption", "?"), "True");
}

TEST(ViewerCommands, FirstSizeShowsEveryColumnOnASmallScreen)
{
    ViewerBed bed;
    bed.record({historyRecord("one", 1)});
    bed.viewer.fitToScreen(QSize(1280, 800));
    bed.viewer.show();
    EXPECT_LE(bed.viewer.width(), 1280);
    EXPECT_LE(bed.viewer.height(), 800);
    const QHeaderView *header = bed.viewer.lstStat->header();
    const int visible = bed.viewer.lstStat->viewport()->width();
    for (int column = 0; column < 8; ++column) {
        EXPECT_GE(header->sectionViewportPosition(column), 0) << column;
        EXPECT_LE(header->sectionViewportPosition(column) + header->sectionSize(column), visible)
            << column;
        EXPECT_GT(header->sectionSize(column), 20) << column;
    }
}

namespace {

struct WindowsBed : CoreTestbed
{
    WindowsBed() { windows.loadViewer(); }
    TrayMenu menu;
    TrayIcon trayIcon {menu};
    KorvaneWindows windows {*core, trayIcon, menu};
};

} // namespace

TEST(ViewerCommands, TrayClickBringsTheViewerForwardAsLargeAsItWas)
{
    WindowsBed bed;
    frmStat &viewer = bed.windows.viewer();
    viewer.showMaximized();
    viewer.showMinimized();
    emit bed.trayIcon.leftButtonPressed();
    EXPECT_TRUE(viewer.isVisible());
    EXPECT_TRUE(viewer.isMaximized());
    EXPECT_FALSE(viewer.isMinimized());
}

TEST(ViewerCommands, ViewerOpensTheAccountEditorAndTheSettingsOnATab)
{
    WindowsBed bed;
    frmStat &viewer = bed.windows.viewer();
    viewer.mnuAccountEditor->trigger();
    frmAccountEditor *editor = bed.windows.accountEditor();
    ASSERT_NE(editor, nullptr);
    EXPECT_TRUE(editor->isVisible());
    EXPECT_FALSE(editor->isModal());
    EXPECT_EQ(editor->parent(), &viewer);
    viewer.toolbarButton(4)->trigger(); // the same editor again
    EXPECT_EQ(bed.windows.accountEditor(), editor);

    viewer.mnuSecLevel->trigger();
    frmMain &settings = bed.windows.settingsWindow();
    EXPECT_TRUE(settings.isVisible());
    EXPECT_EQ(settings.SSTab1->currentIndex(), 2);

    // The settings window reaches the same editor.
    editor->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_EQ(bed.windows.accountEditor(), nullptr);
    settings.cmdAccounts->click();
    ASSERT_NE(bed.windows.accountEditor(), nullptr);
    EXPECT_TRUE(bed.windows.accountEditor()->isVisible());
}

TEST(ViewerCommands, ListEditorsOpenFromTheViewer)
{
    WindowsBed bed;
    frmStat &viewer = bed.windows.viewer();
    viewer.mnuSpamWords->trigger();
    viewer.mnuFriendList->trigger();
    viewer.mnuBlockedList->trigger();
    for (const char *name : {"frmSpamWords", "frmFriendList", "frmBlockedList"}) {
        QWidget *editor = nullptr;
        for (QWidget *child : viewer.findChildren<QWidget *>())
            if (child->inherits(name))
                editor = child;
        ASSERT_NE(editor, nullptr) << name;
        EXPECT_TRUE(editor->isVisible()) << name;
    }
}
