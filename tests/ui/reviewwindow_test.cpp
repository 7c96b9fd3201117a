#include "store/history.h"
#include "support/fakereviewactions.h"
#include "support/servicesbed.h"
#include "ui/viewer/frmviewmessage.h"
#include "ui/viewer/offlinetextbrowser.h"
#include "ui/viewer/reviewwindow.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTextDocument>
#include <QTreeWidget>

#include <QTest>

#include <gtest/gtest.h>

namespace {

ReviewItem item(const QByteArray &serverId, Reason reason, const QByteArray &size = "2048",
                const QByteArray &date = "Mon, 9 Mar 2026 10:12:00 +0100")
{
    ReviewItem i;
    i.AccountName = "Home";
    i.serverId = serverId;
    i.MailNumber = serverId.toInt();
    i.Sender = "sender" + serverId + "@example.com";
    i.Subject = "Subject " + serverId;
    i.SendDate = date;
    i.Size = size;
    i.reason = reason;
    i.why = "why " + QString::fromLatin1(serverId);
    return i;
}

// The message windows open now; they belong to no other window.
QList<frmViewMessage *> messageWindows()
{
    QList<frmViewMessage *> windows;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *window = qobject_cast<frmViewMessage *>(w))
            windows << window;
    return windows;
}

QStringList ids(const QList<ReviewItem> &items)
{
    QStringList list;
    for (const ReviewItem &i : items)
        list << QString::fromLatin1(i.serverId);
    return list;
}

// The review window over fakes, holding two old messages, one with spam words and one from a
// blocked sender.
struct ReviewBed : ServicesBed
{
    ReviewBed()
    {
        window.setItems({item("1", Reason::TooOld), item("2", Reason::SpamWords),
                         item("3", Reason::TooOld), item("4", Reason::BlockedSender)});
    }

    QTreeWidgetItem *group(const QString &caption) const
    {
        for (int g = 0; g < window.lstReview->topLevelItemCount(); ++g)
            if (window.lstReview->topLevelItem(g)->text(0).startsWith(caption))
                return window.lstReview->topLevelItem(g);
        return nullptr;
    }
    // As a plain click (or a click with Ctrl for Deselect) on a group or one of its messages.
    void select(const QString &groupCaption, int message = -1,
                QItemSelectionModel::SelectionFlag how = QItemSelectionModel::ClearAndSelect) const
    {
        QTreeWidgetItem *g = group(groupCaption);
        window.lstReview->setCurrentItem(message < 0 ? g : g->child(message), 0,
                                         how | QItemSelectionModel::Rows);
    }

    History history {dir.path(), services, clock};
    FakeReviewActions actions;
    ReviewWindow window {services, history, actions};
};

} // namespace

TEST(ReviewWindow, GroupsTheMessagesByReasonWithTheirCountAndWhy)
{
    ReviewBed bed;
    QTreeWidget *list = bed.window.lstReview;
    EXPECT_EQ(bed.window.windowTitle(), "Korvane - Review");
    ASSERT_EQ(list->topLevelItemCount(), 3);
    EXPECT_EQ(list->topLevelItem(0)->text(0), "Blocked sender (1)");
    EXPECT_EQ(list->topLevelItem(1)->text(0), "Spam words (1)");
    EXPECT_EQ(list->topLevelItem(2)->text(0), "Older than the age limit (2)");
    const QTreeWidgetItem *old = list->topLevelItem(2);
    ASSERT_EQ(old->childCount(), 2);
    const QTreeWidgetItem *first = old->child(0);
    EXPECT_EQ(first->text(ReviewWindow::AccountColumn), "Home");
    EXPECT_EQ(first->text(ReviewWindow::SenderColumn), "sender1@example.com");
    EXPECT_EQ(first->text(ReviewWindow::SubjectColumn), "Subject 1");
    EXPECT_EQ(first->text(ReviewWindow::DateColumn), "Mon, 9 Mar 2026 10:12:00 +0100");
    EXPECT_EQ(first->text(ReviewWindow::SizeColumn), "2 KB");
    EXPECT_EQ(first->text(ReviewWindow::WhyColumn), "why 1");
    EXPECT_TRUE(bed.window.lblEmpty->isHidden());

    // A check changed the queue: the groups follow it.
    bed.window.setItems({item("5", Reason::TooOld)});
    ASSERT_EQ(list->topLevelItemCount(), 1);
    EXPECT_EQ(list->topLevelItem(0)->text(0), "Older than the age limit (1)");
}

TEST(ReviewWindow, CaptionsAndDirectionComeFromTheActivePack)
{
    ReviewBed bed;
    bed.dir.write("Lang/Test.ini", "[Korvane]\r\n10159=Zu alt\r\n280051=Entfernen\r\n");
    bed.lang.LanguageFile = "Test.ini";
    bed.window.applyCaptions();
    EXPECT_TRUE(bed.group("Zu alt (2)"));
    EXPECT_EQ(bed.window.cmdDelete->text(), "Entfernen");
    EXPECT_EQ(bed.window.layoutDirection(), Qt::LeftToRight);

    bed.dir.write("Lang/Arabic.ini", "[Korvane]\r\n");
    bed.lang.LanguageFile = "Arabic.ini";
    bed.window.applyCaptions();
    EXPECT_EQ(bed.window.layoutDirection(), Qt::RightToLeft);
}

TEST(ReviewWindow, SelectingAGroupChoosesEveryMessageOfIt)
{
    ReviewBed bed;
    bed.select("Older than the age limit");
    QTreeWidgetItem *old = bed.group("Older than the age limit");
    EXPECT_TRUE(old->child(0)->isSelected());
    EXPECT_TRUE(old->child(1)->isSelected());
    EXPECT_EQ(ids(bed.window.selectedItems()), QStringList({"1", "3"}));

    // Taking one message out leaves the group only partly chosen.
    bed.select("Older than the age limit", 0, QItemSelectionModel::Deselect);
    EXPECT_FALSE(old->isSelected());
    EXPECT_EQ(ids(bed.window.selectedItems()), QStringList({"3"}));

    // A plain click on one message of a chosen group keeps only that message.
    bed.select("Older than the age limit");
    bed.select("Older than the age limit", 1);
    EXPECT_EQ(ids(bed.window.selectedItems()), QStringList({"3"}));

    // Turning the group off alone turns its messages off.
    bed.select("Older than the age limit");
    bed.select("Older than the age limit", -1, QItemSelectionModel::Deselect);
    EXPECT_TRUE(bed.window.selectedItems().isEmpty());
}

TEST(ReviewWindow, ButtonsActOnTheChosenMessages)
{
    ReviewBed bed;
    bed.select("Older than the age limit");
    bed.window.cmdKeep->click();
    bed.window.cmdKeepAndAdd->click();
    ASSERT_EQ(bed.actions.keepCalls.size(), 2);
    EXPECT_EQ(ids(bed.actions.keepCalls[0].items), QStringList({"1", "3"}));
    EXPECT_FALSE(bed.actions.keepCalls[0].addSendersToFriends);
    EXPECT_EQ(ids(bed.actions.keepCalls[1].items), QStringList({"1", "3"}));
    EXPECT_TRUE(bed.actions.keepCalls[1].addSendersToFriends);
    EXPECT_TRUE(bed.actions.deleteCalls.isEmpty());
}

TEST(ReviewWindow, DeleteAsksFirstAndWaitsForTheServer)
{
    ReviewBed bed;
    bed.select("Older than the age limit");
    bed.prompter.answers = {false};
    bed.window.cmdDelete->click();
    EXPECT_EQ(bed.prompter.questions,
              QStringList {"Delete 2 messages on the server? This cannot be undone."});
    EXPECT_TRUE(bed.actions.deleteCalls.isEmpty());
    EXPECT_TRUE(bed.window.cmdDelete->isEnabled());

    bed.prompter.answers = {true};
    bed.window.cmdDelete->click();
    ASSERT_EQ(bed.actions.deleteCalls.size(), 1);
    EXPECT_EQ(ids(bed.actions.deleteCalls[0]), QStringList({"1", "3"}));
    EXPECT_FALSE(bed.window.cmdDelete->isEnabled());
    EXPECT_EQ(bed.window.lblStatus->text(), "Deleting 2 messages on the server...");
    // Checks refresh the queue meanwhile; Delete stays off until the deletion ends.
    bed.window.setItems({item("1", Reason::TooOld), item("3", Reason::TooOld)});
    EXPECT_FALSE(bed.window.cmdDelete->isEnabled());
    EXPECT_TRUE(bed.window.cmdKeep->isEnabled());

    emit bed.actions.deletionFinished(2, "2 messages deleted on Home.");
    EXPECT_TRUE(bed.window.cmdDelete->isEnabled());
    EXPECT_EQ(bed.window.lblStatus->text(), "2 messages deleted on Home.");
}

TEST(ReviewWindow, ChoiceSurvivesAQueueChangeAndEmptyQueueSaysSo)
{
    ReviewBed bed;
    const QList<QPushButton *> actionButtons {bed.window.cmdDelete, bed.window.cmdKeep,
                                              bed.window.cmdKeepAndAdd, bed.window.cmdView};
    for (QPushButton *b : actionButtons)
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();

    bed.select("Spam words");
    for (QPushButton *b : actionButtons)
        EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString();
    // A check added a message and dropped another while the user was choosing.
    bed.window.setItems({item("2", Reason::SpamWords), item("6", Reason::SpamWords),
                         item("4", Reason::BlockedSender)});
    EXPECT_EQ(ids(bed.window.selectedItems()), QStringList({"2"}));

    bed.window.setItems({});
    EXPECT_EQ(bed.window.lstReview->topLevelItemCount(), 0);
    EXPECT_FALSE(bed.window.lblEmpty->isHidden());
    EXPECT_EQ(bed.window.lblEmpty->text(), "No messages await your review.");
    for (QPushButton *b : actionButtons)
        EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
    EXPECT_TRUE(bed.window.cmdClose->isEnabled());
}

// A window the user sees changes only where it must when a check ends: the new messages wait
// behind a bar, gone ones leave, the rest keep their rows, selection and collapsed groups, and
// the keys act on the selected messages alone.
TEST(ReviewWindow, AVisibleWindowKeepsItsRowsWhenACheckEnds)
{
    ReviewBed bed;
    bed.window.show();
    bed.window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&bed.window));
    bed.group("Spam words")->setExpanded(false);
    bed.select("Older than the age limit", 1);
    ASSERT_EQ(ids(bed.window.selectedItems()), QStringList {"3"});
    const QTreeWidgetItem *chosenRow = bed.group("Older than the age limit")->child(1);

    ReviewItem changed = item("1", Reason::TooOld);
    changed.Subject = "Subject 1 again";
    bed.window.setItems({changed, item("2", Reason::SpamWords), item("3", Reason::TooOld),
                         item("5", Reason::TooOld)});
    EXPECT_EQ(bed.group("Blocked sender"), nullptr);
    ASSERT_EQ(bed.group("Older than the age limit")->childCount(), 2);
    EXPECT_EQ(bed.group("Older than the age limit")->child(1), chosenRow);
    EXPECT_EQ(bed.group("Older than the age limit")->child(0)->text(ReviewWindow::SubjectColumn),
              "Subject 1 again");
    EXPECT_FALSE(bed.group("Spam words")->isExpanded());
    EXPECT_EQ(ids(bed.window.selectedItems()), QStringList {"3"});
    EXPECT_FALSE(bed.window.cmdShowNew->isHidden());
    EXPECT_EQ(bed.window.cmdShowNew->text(), "1 new messages: Show");
    QTest::keyClick(bed.window.lstReview, Qt::Key_K);
    ASSERT_EQ(bed.actions.keepCalls.size(), 1);
    EXPECT_EQ(ids(bed.actions.keepCalls[0].items), QStringList {"3"});

    bed.window.cmdShowNew->click();
    EXPECT_TRUE(bed.window.cmdShowNew->isHidden());
    EXPECT_EQ(bed.group("Older than the age limit")->childCount(), 3);
    EXPECT_EQ(ids(bed.window.selectedItems()), QStringList {"3"});
    EXPECT_FALSE(bed.group("Spam words")->isExpanded());
    QTest::keyClick(bed.window.lstReview, Qt::Key_F);
    ASSERT_EQ(bed.actions.keepCalls.size(), 2);
    EXPECT_TRUE(bed.actions.keepCalls[1].addSendersToFriends);
    EXPECT_EQ(bed.window.cmdKeep->toolTip(), "Key: K");
}

TEST(ReviewWindow, SizeAndDateSortByValue)
{
    ServicesBed services;
    History history {services.dir.path(), services.services, services.clock};
    FakeReviewActions actions;
    ReviewWindow window(services.services, history, actions);
    window.setItems({item("1", Reason::TooOld, "2048", "Tue, 10 Mar 2026 08:00:00 +0000"),
                     item("2", Reason::TooOld, "900", "Mon, 9 Mar 2026 23:00:00 -0500"),
                     item("3", Reason::TooOld, "1048576", "no date"),
                     item("4", Reason::TooOld, "31000", "Tue, 10 Mar 2026 09:00:00 +0200")});
    const auto order = [&window](int column) {
        window.lstReview->sortByColumn(column, Qt::AscendingOrder);
        const QTreeWidgetItem *group = window.lstReview->topLevelItem(0);
        QStringList numbers;
        for (int m = 0; m < group->childCount(); ++m)
            numbers << group->child(m)->text(ReviewWindow::SubjectColumn).mid(8);
        return numbers.join(',');
    };
    EXPECT_EQ(order(ReviewWindow::SizeColumn), "2,1,4,3");
    // 9 Mar 23:00 -0500 is 10 Mar 04:00 UTC; 10 Mar 09:00 +0200 is 07:00 UTC.
    EXPECT_EQ(order(ReviewWindow::DateColumn), "3,2,4,1");
}

TEST(ReviewWindow, ViewMessageShowsTheSavedCopyOrWarns)
{
    ReviewBed bed;
    bed.dir.write("Mails/3.mal", "<html><p>Cheap <b>watches</b></p>");
    bed.select("Older than the age limit", 1);
    bed.window.cmdView->click();
    const QList<frmViewMessage *> views = messageWindows();
    ASSERT_EQ(views.size(), 1);
    EXPECT_EQ(views[0]->WebBrowser1->toPlainText(), "Cheap watches");
    EXPECT_TRUE(views[0]->WebBrowser1->isReadOnly());
    EXPECT_TRUE(bed.prompter.warnings.isEmpty());

    bed.select("Older than the age limit", 0);
    bed.window.cmdView->click();
    ASSERT_EQ(bed.prompter.warnings.size(), 1);
    EXPECT_TRUE(
        bed.prompter.warnings[0].startsWith("The saved copy of this message cannot be read"));
    EXPECT_TRUE(bed.prompter.warnings[0].endsWith("1.mal"));
    EXPECT_EQ(messageWindows().size(), 1);

    // Eleven windows at once only when the user says so.
    QList<ReviewItem> many;
    for (int i = 10; i <= 20; ++i) {
        many << item(QByteArray::number(i), Reason::SpamWords);
        bed.dir.write(QStringLiteral("Mails/%1.mal").arg(i), "<html>spam");
    }
    bed.window.setItems(many);
    bed.select("Spam words");
    bed.prompter.answers = {false, true};
    bed.window.cmdView->click();
    EXPECT_EQ(bed.prompter.questions,
              QStringList {"Open 11 saved messages, each in its own window?"});
    EXPECT_EQ(messageWindows().size(), 1);
    bed.window.cmdView->click();
    EXPECT_EQ(messageWindows().size(), 12);
}
