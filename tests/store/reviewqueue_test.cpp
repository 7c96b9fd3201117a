#include "store/reviewqueue.h"
#include "support/servicesbed.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

ReviewItem item(const QByteArray &account, const QByteArray &serverId, int mailNumber = 1)
{
    ReviewItem i;
    i.AccountName = account;
    i.serverId = serverId;
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

const QByteArray itemBlock
    = "item\r\nHome\r\nU1\r\n7\r\nBob\r\nHi\r\nMon\r\n12\r\n10155\r\nwhy\r\n";

} // namespace

TEST(ReviewQueue, WritesEveryFieldAndReadsItBack)
{
    QueueBed bed;
    ReviewItem broken = item("Home", "17:4", 12);
    broken.Subject = "two\r\nlines";
    broken.why = QStringLiteral("caf\u00e9\nbar");
    ASSERT_TRUE(bed.queue.replaceAccount("Home", {item("Home", "U1", 3), broken}));
    ASSERT_TRUE(bed.queue.keep({item("Home", "U1")}));
    EXPECT_EQ(bed.dir.read("Review.ini"),
              "item\r\nHome\r\n17:4\r\n12\r\nBob <bob@spam.test>\r\ntwo  lines\r\n"
              "Tue, 3 Mar 2026 08:00:00 +0100\r\n2048\r\n10155\r\ncaf\xc3\xa9 bar\r\n"
              "kept\r\nHome\r\nU1\r\n");

    QueueBed again;
    again.dir.write("Review.ini", bed.dir.read("Review.ini"));
    again.queue.load();
    EXPECT_EQ(again.changes, 1);
    ASSERT_EQ(again.queue.count(), 1);
    const ReviewItem read = again.queue.items().at(0);
    EXPECT_EQ(read.AccountName, "Home");
    EXPECT_EQ(read.serverId, "17:4");
    EXPECT_EQ(read.MailNumber, 12);
    EXPECT_EQ(read.Sender, "Bob <bob@spam.test>");
    EXPECT_EQ(read.Subject, "two  lines");
    EXPECT_EQ(read.SendDate, "Tue, 3 Mar 2026 08:00:00 +0100");
    EXPECT_EQ(read.Size, "2048");
    EXPECT_EQ(read.reason, Reason::BlockedSender);
    EXPECT_EQ(read.why, QStringLiteral("caf\u00e9 bar"));
    EXPECT_TRUE(again.queue.isKept("Home", "U1"));
    EXPECT_FALSE(again.queue.isKept("Work", "U1"));
    EXPECT_TRUE(again.prompter.criticals.isEmpty());
}

TEST(ReviewQueue, ReplacesOneAccountAndNeverProposesAKeptMessageAgain)
{
    QueueBed bed;
    ASSERT_TRUE(bed.queue.replaceAccount("Home", {item("Home", "A"), item("Home", "B")}));
    ASSERT_TRUE(bed.queue.replaceAccount("Work", {item("Work", "A")}));
    ASSERT_TRUE(bed.queue.keep({item("Home", "A")}));
    // B left the server; A was kept; C is new; the same id twice is one item.
    ASSERT_TRUE(bed.queue.replaceAccount(
        "Home", {item("Home", "A"), item("Home", "C"), item("Home", "C")}));
    EXPECT_EQ(ids(bed.queue.items()), (QList<QByteArray> {"Work/A", "Home/C"}));
    ASSERT_TRUE(bed.queue.remove({item("Work", "A")}));
    EXPECT_EQ(ids(bed.queue.items()), (QList<QByteArray> {"Home/C"}));
    EXPECT_EQ(bed.changes, 5);

    QueueBed reloaded;
    reloaded.dir.write("Review.ini", bed.dir.read("Review.ini"));
    reloaded.queue.load();
    EXPECT_EQ(ids(reloaded.queue.items()), (QList<QByteArray> {"Home/C"}));
    EXPECT_TRUE(reloaded.queue.isKept("Home", "A"));
}

TEST(ReviewQueue, DamagedFileIsAnnouncedMovedAsideAndKeepsWhatCameBefore)
{
    const struct
    {
        const char *name;
        QByteArray tail;
    } cases[] = {
        {"ends inside an item", "item\r\nHome\r\nU2\r\n7\r\n"},
        {"ends inside a kept id", "kept\r\nHome\r\n"},
        {"unknown kind", "gone\r\nHome\r\nU2\r\n"},
        {"mail number no number",
         "item\r\nHome\r\nU2\r\nx\r\nBob\r\nHi\r\nMon\r\n12\r\n10155\r\nw\r\n"},
        {"unknown reason key", "item\r\nHome\r\nU2\r\n7\r\nBob\r\nHi\r\nMon\r\n12\r\n99\r\nw\r\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        QueueBed bed;
        bed.dir.write("Review.ini", itemBlock + c.tail);
        bed.queue.load();
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
    bed.queue.load();
    EXPECT_EQ(bed.queue.count(), 0);
    EXPECT_TRUE(bed.prompter.criticals.isEmpty());
    QByteArray lfOnly = itemBlock;
    bed.dir.write("Review.ini", lfOnly.replace("\r\n", "\n"));
    bed.queue.load();
    EXPECT_EQ(ids(bed.queue.items()), (QList<QByteArray> {"Home/U1"}));
    EXPECT_TRUE(bed.prompter.criticals.isEmpty());
}

TEST(ReviewQueue, FailedWriteIsReportedAndTheQueueStaysInMemory)
{
    QueueBed bed;
    // A folder where the file should be makes every write fail.
    ASSERT_TRUE(QDir(bed.dir.path()).mkdir(QStringLiteral("Review.ini")));
    EXPECT_FALSE(bed.queue.replaceAccount("Home", {item("Home", "A")}));
    EXPECT_EQ(bed.queue.count(), 1);
    EXPECT_EQ(bed.changes, 1);
    ASSERT_EQ(bed.notifier.popups.size(), 1);
    EXPECT_TRUE(bed.notifier.popups.at(0).startsWith(QStringLiteral("Error: Cannot write")));
}
