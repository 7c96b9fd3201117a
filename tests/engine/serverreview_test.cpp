#include "engine/serverreview.h"
#include "message/messageidentity.h"
#include "store/history.h"
#include "store/listfiles.h"
#include "support/faketransport.h"
#include "support/historysample.h"
#include "support/logentries.h"
#include "support/servicesbed.h"

#include <gtest/gtest.h>

namespace {

MailAccount account(const QByteArray &type, const QByteArray &name)
{
    MailAccount a;
    a.ServerType = type;
    a.AccountName = name;
    a.MailServer = name.toLower() + ".example.com";
    a.UserName = "joe";
    a.Password = "secret";
    a.Port = type == "POP3" ? 110 : 143;
    return a;
}

// The header block of the message of a record, as it was judged.
QByteArray headersOf(int mailNumber)
{
    return "Subject: offer " + QByteArray::number(mailNumber) + "\r\n\r\n";
}

const MailAccount home = account("POP3", "Home");
const MailAccount work = account("IMAP", "Work");

ReviewItem item(const MailAccount &account, const QByteArray &serverId, int mailNumber,
                const QByteArray &sender = "Ann <ann@example.com>")
{
    ReviewItem i;
    i.AccountName = account.AccountName;
    i.accountIdentity = identityOf(account);
    i.serverId = serverId;
    i.MailNumber = mailNumber;
    i.Sender = sender;
    i.Subject = "offer " + QByteArray::number(mailNumber);
    i.serverSize = 100;
    i.headerDigest = identityDigest(headersOf(mailNumber));
    return i;
}

// What the server answers a TOP, and its size by LIST, for the message of a record.
QByteArray topOf(int mailNumber)
{
    return "+OK\r\n" + headersOf(mailNumber) + ".\r\n";
}

// ServerReview over fake connections, a history of awaiting records 1 .. 4 and a queue
// that records what it is told.
struct ReviewBed
{
    ReviewBed()
    {
        QObject::connect(&review, &ReviewActions::deletionFinished,
                         [this](int count, const QString &report) {
                             finished << std::pair {count, report};
                         });
        lists.Accounts = {home, work};
        for (int n = 1; n <= 4; ++n)
            history.append(historyRecord("offer", n, MessageStatus::AwaitingReview));
        EXPECT_TRUE(history.SaveHist());
    }
    FakeTransport &connection(int index) { return *connections.at(index); }
    QByteArray statusOf(int mailNumber)
    {
        History saved(services.dir.path(), services.services, services.clock);
        saved.LoadHistory();
        for (int i = 1; i <= saved.count(); ++i) {
            if (saved.at(i).MailNumber == mailNumber)
                return saved.at(i).Status;
        }
        return {};
    }

    ServicesBed services;
    MailLists lists;
    History history {services.dir.path(), services.services, services.clock};
    ListFiles listFiles {services.dir.path(), lists, services.services};
    QList<ReviewItem> removed;
    QList<ReviewItem> kept;
    QList<FakeTransport *> connections; // owned by the sessions
    QList<std::pair<int, QString>> finished; // deletionFinished() in order
    ServerReview review {lists,
                         history,
                         {[this](const QList<ReviewItem> &items) {
                              removed << items;
                              return true;
                          },
                          [this](const QList<ReviewItem> &items) {
                              kept << items;
                              return true;
                          }},
                         listFiles,
                         services.services,
                         [this] {
                             auto net = std::make_unique<FakeTransport>();
                             connections << net.get();
                             return net;
                         },
                         [] {
                             return 60;
                         }};
};

QList<int> mailNumbers(const QList<ReviewItem> &items)
{
    QList<int> numbers;
    for (const ReviewItem &i : items)
        numbers << i.MailNumber;
    return numbers;
}

} // namespace

TEST(ServerReview, RecordsTurnDeletedOnlyForWhatTheServersAccepted)
{
    ReviewBed bed;
    bed.review.deleteOnServer({item(home, "uid-1", 1), item(work, "9:5", 2), item(home, "uid-3", 3),
                               item(work, "9:6", 4), item(account("POP3", "Gone"), "uid-x", 5)});
    EXPECT_TRUE(bed.connections.isEmpty()) << "the work runs on the event loop";
    FakeTransport::runPending();

    ASSERT_EQ(bed.connections.size(), 1) << "one account at a time";
    FakeTransport &pop = bed.connection(0);
    EXPECT_EQ(pop.host, "home.example.com");
    pop.serverSends("+OK\r\n+OK\r\n+OK\r\n");
    EXPECT_EQ(pop.takeWritten(), "USER joe\r\nPASS secret\r\nUIDL\r\n");
    pop.serverSends("+OK\r\n1 uid-3\r\n2 uid-1\r\n.\r\n");
    EXPECT_EQ(pop.takeWritten(), "LIST\r\n");
    pop.serverSends("+OK\r\n1 100\r\n2 100\r\n.\r\n" + topOf(3) + topOf(1));
    EXPECT_EQ(pop.takeWritten(), "TOP 1 0\r\nTOP 2 0\r\nDELE 1\r\n");
    pop.serverSends("-ERR no\r\n");
    EXPECT_EQ(pop.takeWritten(), "DELE 2\r\n");
    pop.serverSends("+OK\r\n");
    EXPECT_EQ(pop.takeWritten(), "QUIT\r\n");
    pop.serverSends("+OK\r\n");
    FakeTransport::runPending();

    ASSERT_EQ(bed.connections.size(), 2);
    FakeTransport &imap = bed.connection(1);
    EXPECT_EQ(imap.host, "work.example.com");
    EXPECT_EQ(imap.port, 143);
    imap.serverSends("* OK ready\r\nd001 OK\r\n* OK [UIDVALIDITY 9]\r\nd002 OK\r\n"
                     "* CAPABILITY IMAP4rev1 UIDPLUS\r\nd003 OK\r\n"
                     "* 2 FETCH (UID 6 RFC822.SIZE 100 BODY[HEADER.FIELDS (SUBJECT)] {20}\r\n"
                     + headersOf(4)
                     + ")\r\nd004 OK\r\n"
                       "d005 OK\r\nd006 OK\r\n");
    EXPECT_TRUE(imap.takeWritten().contains("d006 UID EXPUNGE 6\r\nd009 LOGOUT\r\n"));
    FakeTransport::runPending();

    ASSERT_EQ(bed.finished.size(), 1);
    EXPECT_EQ(bed.finished.at(0).first, 2);
    const QString report = bed.finished.at(0).second;
    EXPECT_TRUE(report.startsWith("2/5 messages deleted on the server.")) << report.toStdString();
    EXPECT_TRUE(report.contains("\"offer 3\" (Ann <ann@example.com>) was not deleted: the "
                                "server refused."));
    EXPECT_TRUE(report.contains("\"offer 2\" (Ann <ann@example.com>) is no longer on the server"));
    EXPECT_TRUE(report.contains("Gone: \"offer 5\" (Ann <ann@example.com>) not deleted: its "
                                "account was deleted or now reaches another mailbox, so it "
                                "leaves the review list."));
    EXPECT_EQ(bed.services.notifier.popups.last(), report);
    EXPECT_EQ(mailNumbers(bed.removed), (QList<int> {1, 4, 5}));
    EXPECT_EQ(bed.statusOf(1), "70043");
    EXPECT_EQ(bed.statusOf(2), "280007");
    EXPECT_EQ(bed.statusOf(3), "280007");
    EXPECT_EQ(bed.statusOf(4), "70043");
}

// "Home" now names a mailbox on another server: an id of the old one could name any message
// there, so nothing is asked of either server and the items leave the queue.
TEST(ServerReview, ItemsOfAMailboxNoAccountReachesAreNeverDeletedAndLeaveTheQueue)
{
    ReviewBed bed;
    bed.lists.Accounts[0].MailServer = "pop.elsewhere.test";
    bed.review.deleteOnServer({item(home, "uid-1", 1), item(home, "uid-2", 2)});
    FakeTransport::runPending();
    EXPECT_TRUE(bed.connections.isEmpty());
    ASSERT_EQ(bed.finished.size(), 1);
    EXPECT_EQ(bed.finished.at(0).first, 0);
    EXPECT_EQ(bed.finished.at(0).second,
              "0/2 messages deleted on the server.\n"
              "Home: \"offer 1\" (Ann <ann@example.com>) not deleted: its account was deleted or "
              "now reaches another mailbox, so it leaves the review list.\n"
              "Home: \"offer 2\" (Ann <ann@example.com>) not deleted: its account was deleted or "
              "now reaches another mailbox, so it leaves the review list.");
    EXPECT_EQ(mailNumbers(bed.removed), (QList<int> {1, 2}));
    EXPECT_EQ(bed.statusOf(1), "280007");
}

TEST(ServerReview, SessionThatEndsEarlyDeletesNothingAndSaysWhere)
{
    ReviewBed bed;
    bed.review.deleteOnServer({item(home, "uid-1", 1)});
    FakeTransport::runPending();
    FakeTransport &pop = bed.connection(0);
    pop.serverSends("+OK\r\n+OK\r\n+OK\r\n+OK\r\n1 uid-1\r\n.\r\n+OK\r\n1 100\r\n.\r\n" + topOf(1)
                    + "+OK\r\n");
    EXPECT_EQ(pop.takeWritten(),
              "USER joe\r\nPASS secret\r\nUIDL\r\nLIST\r\nTOP 1 0\r\nDELE 1\r\nQUIT\r\n");
    pop.drop();
    FakeTransport::runPending();
    ASSERT_EQ(bed.finished.size(), 1);
    EXPECT_EQ(bed.finished.at(0).first, 0);
    EXPECT_TRUE(bed.finished.at(0).second.contains(
        "was not deleted: the session ended before the server confirmed it. (QuitSent)"));
    EXPECT_TRUE(bed.removed.isEmpty());
    EXPECT_EQ(bed.statusOf(1), "280007");
}

TEST(ServerReview, SecondCallWaitsUntilTheFirstHasEnded)
{
    ReviewBed bed;
    bed.review.deleteOnServer({item(home, "uid-1", 1)});
    bed.review.deleteOnServer({item(home, "uid-2", 2)});
    FakeTransport::runPending();
    ASSERT_EQ(bed.connections.size(), 1) << "never two sessions to one server at once";
    EXPECT_TRUE(bed.review.isDeleting());
    bed.connection(0).serverSends("+OK\r\n+OK\r\n+OK\r\n+OK\r\n1 uid-1\r\n2 uid-2\r\n.\r\n"
                                  "+OK\r\n1 100\r\n2 100\r\n.\r\n"
                                  + topOf(1));
    EXPECT_EQ(bed.connection(0).takeWritten(),
              "USER joe\r\nPASS secret\r\nUIDL\r\nLIST\r\nTOP 1 0\r\nDELE 1\r\n");
    bed.connection(0).serverSends("+OK\r\n+OK\r\n");
    FakeTransport::runPending();
    ASSERT_EQ(bed.connections.size(), 2);
    ASSERT_EQ(bed.finished.size(), 1);
    EXPECT_EQ(bed.finished.at(0).first, 1);
    bed.connection(1).serverSends("+OK\r\n+OK\r\n+OK\r\n+OK\r\n1 uid-2\r\n.\r\n"
                                  "+OK\r\n1 100\r\n.\r\n"
                                  + topOf(2) + "+OK\r\n+OK\r\n");
    EXPECT_EQ(bed.connection(1).takeWritten(),
              "USER joe\r\nPASS secret\r\nUIDL\r\nLIST\r\nTOP 1 0\r\nDELE 1\r\nQUIT\r\n");
    FakeTransport::runPending();
    ASSERT_EQ(bed.finished.size(), 2);
    EXPECT_EQ(bed.finished.at(1).first, 1);
    EXPECT_FALSE(bed.review.isDeleting());
    EXPECT_EQ(mailNumbers(bed.removed), (QList<int> {1, 2}));
}

TEST(ServerReview, KeepRecordsKeptAndAddsNewSendersToTheFriendList)
{
    ReviewBed bed;
    bed.lists.FriendList = {"ann@example.com"};
    const QList<ReviewItem> items = {item(home, "uid-1", 1, "ANN@example.com"),
                                     item(home, "uid-2", 2, "\"Bob\" <bob@example.org>"),
                                     item(home, "uid-3", 3, "bob@example.org")};
    bed.review.keep(items, false);
    EXPECT_EQ(mailNumbers(bed.kept), (QList<int> {1, 2, 3}));
    EXPECT_EQ(bed.statusOf(2), "70044");
    EXPECT_EQ(bed.lists.FriendList, (QList<AddressPattern> {"ann@example.com"}));

    bed.review.keep(items, true);
    EXPECT_EQ(bed.lists.FriendList, (QList<AddressPattern> {"ann@example.com", "bob@example.org"}));
    EXPECT_EQ(bed.services.dir.read("FriendList.ini"), "ann@example.com\r\nbob@example.org\r\n");
    EXPECT_TRUE(bed.services.notifier.popups.isEmpty());

    // The address the rules judged by, where the evidence holds it, rather than the From text.
    Verdict judged;
    judged.address = "bounce@lists.example";
    ASSERT_TRUE(bed.history.saveEvidence(3, judged));
    bed.review.keep({item(home, "uid-3", 3, "News <news@example.net>")}, true);
    EXPECT_EQ(bed.lists.FriendList.last(), "bounce@lists.example");
    // Each kept message and each entry added is logged.
    const QStringList log = logEntries(bed.services.log.path());
    EXPECT_TRUE(log.contains("Home: kept the message from News <news@example.net>, \"offer 3\"."));
    EXPECT_TRUE(log.contains("bob@example.org was added to the friend list."));
    EXPECT_TRUE(log.contains("bounce@lists.example was added to the friend list."));

    bed.review.keep({item(home, "uid-9", 9)}, false);
    EXPECT_TRUE(
        bed.services.notifier.popups.last().contains("its history record could not be updated."));
}

// The deletions reach each account as its check does: encrypted as its stored security
// says, trusting the certificate it trusts.
TEST(ServerReview, ConnectsAsTheAccountsSecuritySays)
{
    ReviewBed bed;
    QList<QByteArray> asked;
    bed.review.setSecurityLookup([&asked](const MailAccount &a) {
        asked << a.AccountName;
        return a.ServerType == "POP3" ? AccountSecurity {SecurityMode::SslTls, "AB:CD"}
                                      : AccountSecurity {SecurityMode::StartTls, {}};
    });
    bed.review.deleteOnServer({item(home, "uid-1", 1), item(work, "9:5", 2)});
    FakeTransport::runPending();
    ASSERT_EQ(bed.connections.size(), 1);
    EXPECT_EQ(bed.connection(0).encryptedConnects, 1);
    EXPECT_EQ(bed.connection(0).trustedCertificate(), "AB:CD");
    bed.connection(0).drop();
    FakeTransport::runPending();
    ASSERT_EQ(bed.connections.size(), 2);
    FakeTransport &imap = bed.connection(1);
    EXPECT_EQ(imap.encryptedConnects, 0);
    imap.serverSends("* OK ready\r\n");
    EXPECT_EQ(imap.takeWritten(), "d010 CAPABILITY\r\n");
    EXPECT_EQ(asked, (QList<QByteArray> {"Home", "Work"}));
}
