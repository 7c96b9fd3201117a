#include "store/records.h"
#include "store/reviewqueue.h"
#include "support/servicesbed.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

MailAccount account(const QByteArray &name, const QByteArray &server = "pop.home.test")
{
    MailAccount a;
    a.ServerType = "POP3";
    a.AccountName = name;
    a.MailServer = server;
    a.UserName = "joe";
    a.Password = "secret";
    a.Port = 110;
    return a;
}

const MailAccount home = account("Home");
const MailAccount work = account("Work", "pop.work.test");

ReviewItem item(const MailAccount &account, const QByteArray &serverId, int mailNumber = 1)
{
    ReviewItem i;
    i.AccountName = account.AccountName;
    i.accountIdentity = identityOf(account);
    i.serverId = serverId;
    i.serverSize = 2048;
    i.headerDigest = "d1g35t";
    i.MailNumber = mailNumber;
    i.Sender = "Bob <bob@spam.test>";
    i.Subject = "Cheap " + serverId;
    i.SendDate = "Tue, 3 Mar 2026 08:00:00 +0100";
    i.Size = "2048";
    i.reason = Reason::BlockedSender;
    i.why = QStringLiteral("The sender matches \u201c*@spam.test\u201d");
    return i;
}

QList<QByteArray> ids(const QList<ReviewItem> &items)
{
    QList<QByteArray> list;
    for (const ReviewItem &i : items)
        list << i.AccountName + '/' + i.serverId;
    return list;
}

struct QueueBed : ServicesBed
{
    QueueBed()
    {
        QObject::connect(&queue, &ReviewQueue::changed, [this] { ++changes; });
    }
    ReviewQueue queue {dir.path(), services};
    int changes = 0;
};

QByteArray lfOnly(QByteArray text)
{
    return text.replace("\r\n", "\n");
}

// The item block of message U1 of Home, in the file's current layout.
const QByteArray itemBlock = "item2\r\nHome\r\nPOP3,joe,pop.home.test,110\r\nU1\r\n512\r\nab12\r\n"
                             "7\r\nBob\r\nHi\r\nMon\r\n12\r\n10155\r\nwhy\r\n";

} // namespace

TEST(ReviewQueue, WritesEveryFieldAndReadsItBack)
{
    QueueBed bed;
    ReviewItem broken = item(home, "17:4", 12);
    broken.Subject = "two\r\nlines";
    broken.why = QStringLiteral("caf\u00e9\nbar");
    // Parts of the mailbox that would break the key or the line are encoded.
    MailAccount odd = account("Odd", "mail,odd.test\r\n");
    odd.UserName = "j%e";
    ReviewItem unknown = item(odd, "U9", 13);
    unknown.serverSize = -1;
    unknown.headerDigest.clear();
    ASSERT_TRUE(bed.queue.replaceAccount(home, {item(home, "U1", 3), broken}));
    ASSERT_TRUE(bed.queue.replaceAccount(odd, {unknown}));
    ASSERT_TRUE(bed.queue.keep({item(home, "U1")}));
    EXPECT_EQ(bed.dir.read("Review.ini"),
              "item2\r\nHome\r\nPOP3,joe,pop.home.test,110\r\n17:4\r\n2048\r\nd1g35t\r\n12\r\n"
              "Bob <bob@spam.test>\r\ntwo  lines\r\nTue, 3 Mar 2026 08:00:00 +0100\r\n2048\r\n"
              "10155\r\ncaf\xc3\xa9 bar\r\n"
              "item2\r\nOdd\r\nPOP3,j%25e,mail%2Codd.test%0D%0A,110\r\nU9\r\n-1\r\n\r\n13\r\n"
              "Bob <bob@spam.test>\r\nCheap U9\r\nTue, 3 Mar 2026 08:00:00 +0100\r\n2048\r\n"
              "10155\r\nThe sender matches \xe2\x80\x9c*@spam.test\xe2\x80\x9d\r\n"
              "kept2\r\nPOP3,joe,pop.home.test,110\r\nU1\r\n");

    QueueBed again;
    again.dir.write("Review.ini", bed.dir.read("Review.ini"));
    again.queue.load({home, odd});
    EXPECT_EQ(again.changes, 1);
    ASSERT_EQ(again.queue.count(), 2);
    const ReviewItem read = again.queue.items().at(0);
    EXPECT_EQ(read.AccountName, "Home");
    EXPECT_EQ(read.accountIdentity, identityOf(home));
    EXPECT_EQ(read.serverId, "17:4");
    EXPECT_EQ(read.serverSize, 2048);
    EXPECT_EQ(read.headerDigest, "d1g35t");
    EXPECT_EQ(read.MailNumber, 12);
    EXPECT_EQ(read.Sender, "Bob <bob@spam.test>");
    EXPECT_EQ(read.Subject, "two  lines");
    EXPECT_EQ(read.SendDate, "Tue, 3 Mar 2026 08:00:00 +0100");
    EXPECT_EQ(read.Size, "2048");
    EXPECT_EQ(read.reason, Reason::BlockedSender);
    EXPECT_EQ(read.why, QStringLiteral("caf\u00e9 bar"));
    const ReviewItem readOdd = again.queue.items().at(1);
    EXPECT_EQ(readOdd.accountIdentity, identityOf(odd));
    EXPECT_EQ(readOdd.serverSize, -1);
    EXPECT_TRUE(readOdd.headerDigest.isEmpty());
    EXPECT_TRUE(again.queue.isKept(identityOf(home), "U1"));
    EXPECT_FALSE(again.queue.isKept(identityOf(work), "U1"));
    EXPECT_TRUE(again.prompter.criticals.isEmpty());
    EXPECT_EQ(again.dir.read("Review.ini"), bed.dir.read("Review.ini"));
}

TEST(ReviewQueue, ReplacesOneAccountAndNeverProposesAKeptMessageAgain)
{
    QueueBed bed;
    ASSERT_TRUE(bed.queue.replaceAccount(home, {item(home, "A"), item(home, "B")}));
    ASSERT_TRUE(bed.queue.replaceAccount(work, {item(work, "A")}));
    ASSERT_TRUE(bed.queue.keep({item(home, "A")}));
    // B left the server; A was kept; C is new; the same id twice is one item. The account's
    // items stay where its items were.
    ASSERT_TRUE(
        bed.queue.replaceAccount(home, {item(home, "A"), item(home, "C"), item(home, "C")}));
    EXPECT_EQ(ids(bed.queue.items()), (QList<QByteArray> {"Home/C", "Work/A"}));
    ASSERT_TRUE(bed.queue.remove({item(work, "A")}));
    EXPECT_EQ(ids(bed.queue.items()), (QList<QByteArray> {"Home/C"}));
    EXPECT_EQ(bed.changes, 5);

    QueueBed reloaded;
    reloaded.dir.write("Review.ini", bed.dir.read("Review.ini"));
    reloaded.queue.load({home, work});
    EXPECT_EQ(ids(reloaded.queue.items()), (QList<QByteArray> {"Home/C"}));
    EXPECT_TRUE(reloaded.queue.isKept(identityOf(home), "A"));
}

// The user gave the name "Home" to another mailbox: its items and kept ids are not those
// of the mailbox the name had before, and a check of one never replaces the other's.
TEST(ReviewQueue, SameNameOnAnotherServerIsAnotherQueue)
{
    QueueBed bed;
    const MailAccount moved = account("Home", "imap.elsewhere.test");
    ASSERT_TRUE(bed.queue.replaceAccount(home, {item(home, "A"), item(home, "B")}));
    ASSERT_TRUE(bed.queue.keep({item(home, "B")}));
    EXPECT_FALSE(bed.queue.isKept(identityOf(moved), "B"));

    ASSERT_TRUE(bed.queue.replaceAccount(moved, {item(moved, "B"), item(moved, "C")}));
    ASSERT_EQ(bed.queue.count(), 3);
    EXPECT_EQ(bed.queue.items().at(0).accountIdentity, identityOf(home));
    EXPECT_EQ(bed.queue.items().at(0).serverId, "A");
    EXPECT_EQ(bed.queue.items().at(1).accountIdentity, identityOf(moved));
    EXPECT_EQ(bed.queue.items().at(1).serverId, "B");

    // The other mailbox's item of the same name and id is another message.
    ASSERT_TRUE(bed.queue.remove({item(home, "C")}));
    EXPECT_EQ(bed.queue.count(), 3);
    ASSERT_TRUE(bed.queue.remove({item(moved, "C")}));
    EXPECT_EQ(bed.queue.count(), 2);
    EXPECT_TRUE(bed.queue.items().at(0).isSameMessage(item(home, "A")));
    EXPECT_FALSE(bed.queue.items().at(0).isSameMessage(item(moved, "A")));
}

TEST(ReviewQueue, DamagedFileIsAnnouncedMovedAsideAndKeepsWhatCameBefore)
{
    const struct
    {
        const char *name;
        QByteArray tail;
    } cases[] = {
        {"ends inside an item", "item2\r\nHome\r\nPOP3,joe,pop.home.test,110\r\nU2\r\n"},
        {"ends inside a kept id", "kept2\r\nPOP3,joe,pop.home.test,110\r\n"},
        {"ends inside an old item", "item\r\nHome\r\nU2\r\n7\r\n"},
        {"ends inside an old kept id", "kept\r\nHome\r\n"},
        {"unknown kind", "gone\r\nHome\r\nU2\r\n"},
        {"mailbox no key", "kept2\r\nPOP3 joe pop.home.test 110\r\nU2\r\n"},
        {"port no number", "kept2\r\nPOP3,joe,pop.home.test,x\r\nU2\r\n"},
        {"server size no number",
         "item2\r\nHome\r\nPOP3,joe,pop.home.test,110\r\nU2\r\nbig\r\nab\r\n7\r\nBob\r\nHi\r\n"
         "Mon\r\n12\r\n10155\r\nw\r\n"},
        {"mail number no number",
         "item2\r\nHome\r\nPOP3,joe,pop.home.test,110\r\nU2\r\n5\r\nab\r\nx\r\nBob\r\nHi\r\n"
         "Mon\r\n12\r\n10155\r\nw\r\n"},
        {"old mail number no number",
         "item\r\nHome\r\nU2\r\nx\r\nBob\r\nHi\r\nMon\r\n12\r\n10155\r\nw\r\n"},
        {"unknown reason key",
         "item2\r\nHome\r\nPOP3,joe,pop.home.test,110\r\nU2\r\n5\r\nab\r\n7\r\nBob\r\nHi\r\n"
         "Mon\r\n12\r\n99\r\nw\r\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QueueBed bed;
        bed.dir.write("Review.ini", itemBlock + c.tail);
        bed.queue.load({home});
        EXPECT_EQ(bed.prompter.criticals,
                  QStringList {"Review.ini is corrupted, it will be reset.\n"
                               "The original file was kept as "
                               + bed.dir.file("Review.ini.bad") + "."});
        EXPECT_EQ(bed.dir.read("Review.ini.bad"), itemBlock + c.tail);
        EXPECT_EQ(bed.dir.read("Review.ini"), itemBlock);
        EXPECT_EQ(ids(bed.queue.items()), (QList<QByteArray> {"Home/U1"}));
    }
}

TEST(ReviewQueue, MissingFileIsAnEmptyQueueAndLfAloneIsRead)
{
    QueueBed bed;
    bed.queue.load({home});
    EXPECT_EQ(bed.queue.count(), 0);
    EXPECT_TRUE(bed.prompter.criticals.isEmpty());
    bed.dir.write("Review.ini", lfOnly(itemBlock));
    bed.queue.load({home});
    EXPECT_EQ(ids(bed.queue.items()), (QList<QByteArray> {"Home/U1"}));
    EXPECT_TRUE(bed.prompter.criticals.isEmpty());
    // Read as it is, the file is left as it is.
    EXPECT_EQ(bed.dir.read("Review.ini"), lfOnly(itemBlock));
}

// A file from before the mailbox was recorded: each name that leads to one configured
// mailbox gives its blocks that mailbox; a name with none, or with two, cannot say which
// mailbox its ids are of, and its blocks go.
TEST(ReviewQueue, OldLayoutIsReadUnderTheMailboxOfItsName)
{
    const auto oldItem = [](const QByteArray &name, const QByteArray &serverId) {
        return "item\r\n" + name + "\r\n" + serverId
            + "\r\n7\r\nBob\r\nHi\r\nMon\r\n12\r\n10155\r\nwhy\r\n";
    };
    QueueBed bed;
    bed.dir.write("Review.ini",
                  oldItem("Home", "U1") + oldItem("Gone", "U2") + oldItem("Twice", "U3")
                      + "kept\r\nHome\r\nU4\r\nkept\r\nGone\r\nU5\r\nkept\r\nTwice\r\nU6\r\n");
    const QList<MailAccount> accounts
        = {home, account("Twice", "a.test"), account("Twice", "b.test")};
    bed.queue.load(accounts);

    EXPECT_TRUE(bed.prompter.criticals.isEmpty());
    ASSERT_EQ(ids(bed.queue.items()), (QList<QByteArray> {"Home/U1"}));
    const ReviewItem read = bed.queue.items().at(0);
    EXPECT_EQ(read.accountIdentity, identityOf(home));
    EXPECT_EQ(read.MailNumber, 7);
    // Never judged with these, so never deleted until a check queues it anew.
    EXPECT_EQ(read.serverSize, -1);
    EXPECT_TRUE(read.headerDigest.isEmpty());
    EXPECT_TRUE(bed.queue.isKept(identityOf(home), "U4"));
    EXPECT_FALSE(bed.queue.isKept(identityOf(accounts.at(1)), "U6"));
    // Written once in the current layout.
    EXPECT_EQ(bed.dir.read("Review.ini"),
              "item2\r\nHome\r\nPOP3,joe,pop.home.test,110\r\nU1\r\n-1\r\n\r\n7\r\nBob\r\nHi\r\n"
              "Mon\r\n12\r\n10155\r\nwhy\r\nkept2\r\nPOP3,joe,pop.home.test,110\r\nU4\r\n");
}

TEST(ReviewQueue, MailboxesNoAccountReachesAreDroppedAtLoad)
{
    QueueBed bed;
    ASSERT_TRUE(bed.queue.replaceAccount(home, {item(home, "A")}));
    ASSERT_TRUE(bed.queue.replaceAccount(work, {item(work, "B")}));
    ASSERT_TRUE(bed.queue.keep({item(home, "K"), item(work, "K")}));
    const QByteArray both = bed.dir.read("Review.ini");

    // Work was deleted, and Home now names a mailbox on another port.
    MailAccount moved = home;
    moved.Port = 995;
    QueueBed later;
    later.dir.write("Review.ini", lfOnly(both));
    later.queue.load({home, moved});
    EXPECT_EQ(ids(later.queue.items()), (QList<QByteArray> {"Home/A"}));
    EXPECT_TRUE(later.queue.isKept(identityOf(home), "K"));
    EXPECT_FALSE(later.queue.isKept(identityOf(work), "K"));
    EXPECT_EQ(later.changes, 1);
    const QByteArray homeOnly = later.dir.read("Review.ini");
    EXPECT_FALSE(homeOnly.contains("pop.work.test"));
    EXPECT_TRUE(homeOnly.contains("\r\n")) << "rewritten";

    // A reload that drops nothing leaves the file alone.
    later.dir.write("Review.ini", lfOnly(homeOnly));
    later.queue.load({home});
    EXPECT_EQ(later.dir.read("Review.ini"), lfOnly(homeOnly));

    // Without accounts nothing is left.
    later.queue.load({});
    EXPECT_EQ(later.queue.count(), 0);
    EXPECT_FALSE(later.queue.isKept(identityOf(home), "K"));
    EXPECT_EQ(later.dir.read("Review.ini"), "");
}

// A check that finds what the queue holds already changes nothing, so nothing is written:
// the file read with LF alone keeps its line ends until the queue changes.
TEST(ReviewQueue, WritesOnlyWhenTheQueueChanges)
{
    QueueBed first;
    ASSERT_TRUE(first.queue.replaceAccount(home, {item(home, "A"), item(home, "B")}));
    ASSERT_TRUE(first.queue.replaceAccount(work, {item(work, "C")}));
    ASSERT_TRUE(first.queue.keep({item(work, "K")}));

    QueueBed bed;
    bed.dir.write("Review.ini", lfOnly(first.dir.read("Review.ini")));
    bed.queue.load({home, work});
    ASSERT_EQ(bed.queue.count(), 3);
    const int loaded = bed.changes;
    // The same items again, ahead of another account's; nothing to remove; a kept id again.
    ASSERT_TRUE(bed.queue.replaceAccount(home, {item(home, "A"), item(home, "B")}));
    ASSERT_TRUE(bed.queue.remove({item(home, "Z")}));
    ASSERT_TRUE(bed.queue.keep({item(work, "K")}));
    EXPECT_EQ(bed.dir.read("Review.ini"), lfOnly(first.dir.read("Review.ini")));
    EXPECT_EQ(bed.changes, loaded);

    ASSERT_TRUE(bed.queue.replaceAccount(home, {item(home, "A")}));
    EXPECT_EQ(bed.changes, loaded + 1);
    EXPECT_EQ(ids(bed.queue.items()), (QList<QByteArray> {"Home/A", "Work/C"}));
    EXPECT_TRUE(bed.dir.read("Review.ini").contains("\r\n"));
}

// The account editor saved the accounts: every item and kept id of a mailbox no account
// reaches any more goes, and the editor is told how many items went.
TEST(ReviewQueue, DropsTheMailboxesOfChangedAccountsAndCountsTheItems)
{
    const struct
    {
        const char *name;
        void (*change)(MailAccount &);
        int dropped;
    } cases[] = {
        {"server type", [](MailAccount &a) { a.ServerType = "IMAP"; }, 2},
        {"user name", [](MailAccount &a) { a.UserName = "ann"; }, 2},
        {"server", [](MailAccount &a) { a.MailServer = "pop.other.test"; }, 2},
        {"port", [](MailAccount &a) { a.Port = 995; }, 2},
        {"deleted", [](MailAccount &a) { a.AccountName.clear(); }, 2},
        {"renamed only", [](MailAccount &a) { a.AccountName = "Private"; }, 0},
        {"password only", [](MailAccount &a) { a.Password = "other"; }, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QueueBed bed;
        ASSERT_TRUE(bed.queue.replaceAccount(home, {item(home, "A"), item(home, "B")}));
        ASSERT_TRUE(bed.queue.replaceAccount(work, {item(work, "C")}));
        ASSERT_TRUE(bed.queue.keep({item(home, "K"), item(work, "K")}));
        const QByteArray before = bed.dir.read("Review.ini");
        const int changes = bed.changes;
        MailAccount edited = home;
        c.change(edited);

        EXPECT_EQ(bed.queue.dropGoneAccounts({edited, work}), c.dropped);
        const bool isGone = c.dropped > 0;
        EXPECT_EQ(bed.queue.count(), 3 - c.dropped);
        EXPECT_EQ(bed.queue.isKept(identityOf(home), "K"), !isGone);
        EXPECT_TRUE(bed.queue.isKept(identityOf(work), "K"));
        EXPECT_EQ(bed.changes, changes + (isGone ? 1 : 0));
        EXPECT_EQ(bed.dir.read("Review.ini") == before, !isGone);
        EXPECT_EQ(bed.dir.read("Review.ini").contains("pop.home.test"), !isGone);
    }
}

TEST(ReviewQueue, FailedWriteIsReportedAndTheQueueStaysInMemory)
{
    QueueBed bed;
    // A folder where the file should be makes every write fail.
    ASSERT_TRUE(QDir(bed.dir.path()).mkdir(QStringLiteral("Review.ini")));
    EXPECT_FALSE(bed.queue.replaceAccount(home, {item(home, "A")}));
    EXPECT_EQ(bed.queue.count(), 1);
    EXPECT_EQ(bed.changes, 1);
    ASSERT_EQ(bed.notifier.popups.size(), 1);
    EXPECT_TRUE(bed.notifier.popups.at(0).startsWith(QStringLiteral("Error: Cannot write")));
    // The file does not hold the queue: the same items are written again.
    EXPECT_FALSE(bed.queue.replaceAccount(home, {item(home, "A")}));
    EXPECT_EQ(bed.notifier.popups.size(), 2);
    EXPECT_EQ(bed.changes, 1);
}
