#include "e2ebed.h"
#include "engine/serverreview.h"
#include "message/messageidentity.h"
#include "net/tcptransport.h"
#include "store/history.h"
#include "store/listfiles.h"

#include <QFile>

#include <gtest/gtest.h>

#include <functional>

namespace {

quint16 imapPort(const MailServer &server)
{
    QFile env(server.folder() + QStringLiteral("/env"));
    if (!env.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : env.readAll().split('\n')) {
        if (line.startsWith("IMAP_PORT="))
            return quint16(line.mid(10).toUInt());
    }
    return 0;
}

// Another mail client over a plain socket: one command at a time, each reply read until
// `isWhole` says it is complete.
class PlainClient
{
public:
    using Whole = std::function<bool(const QByteArray &)>;

    bool connect(quint16 port)
    {
        m_socket.connectToHost(QHostAddress::LocalHost, port);
        return m_socket.waitForConnected(5000) && read(isLine).size() > 0;
    }
    QByteArray exchange(const QByteArray &command, const Whole &isWhole = isLine)
    {
        m_socket.write(command + "\r\n");
        return read(isWhole);
    }
    static bool isLine(const QByteArray &reply) { return reply.endsWith("\r\n"); }
    static Whole isTagged(const QByteArray &tag)
    {
        return [tag](const QByteArray &reply) {
            return reply.endsWith("\r\n")
                && (reply.startsWith(tag + ' ') || reply.contains("\r\n" + tag + ' '));
        };
    }

private:
    QByteArray read(const Whole &isWhole)
    {
        QByteArray reply;
        while (!isWhole(reply) && m_socket.waitForReadyRead(5000))
            reply += m_socket.readAll();
        return reply;
    }

    QTcpSocket m_socket;
};

// The UIDLs of the user's inbox in message order.
QList<QByteArray> pop3Uidls(quint16 port, const QByteArray &user, const QByteArray &password)
{
    PlainClient client;
    if (!client.connect(port))
        return {};
    client.exchange("USER " + user);
    client.exchange("PASS " + password);
    const QByteArray listing = client.exchange(
        "UIDL", [](const QByteArray &reply) { return reply.endsWith("\r\n.\r\n"); });
    client.exchange("QUIT");
    QList<QByteArray> uidls;
    for (const QByteArray &line : listing.split('\n')) {
        const QList<QByteArray> words = line.trimmed().split(' ');
        if (words.size() == 2 && words.at(0) != "+OK")
            uidls << words.at(1);
    }
    return uidls;
}

// The ids "<UIDVALIDITY>:<UID>" of the user's inbox in message order.
QList<QByteArray> imapIds(quint16 port, const QByteArray &user, const QByteArray &password)
{
    PlainClient client;
    if (!client.connect(port))
        return {};
    client.exchange("t1 LOGIN " + user + ' ' + password, PlainClient::isTagged("t1"));
    const QByteArray select = client.exchange("t2 SELECT INBOX", PlainClient::isTagged("t2"));
    const qsizetype at = select.indexOf("[UIDVALIDITY ") + 13;
    const QByteArray validity = select.mid(at, select.indexOf(']', at) - at);
    const QByteArray fetched
        = client.exchange("t3 UID FETCH 1:* (UID)", PlainClient::isTagged("t3"));
    client.exchange("t4 LOGOUT", PlainClient::isTagged("t4"));
    QList<QByteArray> ids;
    for (const QByteArray &line : fetched.split('\n')) {
        const qsizetype uid = line.indexOf("UID ");
        if (line.startsWith("* ") && uid > 0)
            ids << validity + ':' + line.mid(uid + 4).split(')').at(0).trimmed();
    }
    return ids;
}

// ServerReview over real connections, with a history of awaiting records 1 .. N.
struct DeletionBed
{
    DeletionBed(const MailAccount &account, int records)
    {
        lists.Accounts = {account};
        for (int n = 1; n <= records; ++n) {
            HistoryRecord r;
            r.Subject = "message " + QByteArray::number(n);
            r.Status = keyOf(MessageStatus::AwaitingReview);
            r.AccountName = account.AccountName;
            r.MailNumber = n;
            history.append(r);
        }
        EXPECT_TRUE(history.SaveHist());
        QObject::connect(&review, &ReviewActions::deletionFinished,
                         [this](int count, const QString &text) {
                             deleted = count;
                             report = text;
                         });
    }
    // The item of a message as the check judged it from its text.
    ReviewItem item(const QByteArray &serverId, int mailNumber, const QByteArray &text) const
    {
        ReviewItem i;
        i.AccountName = lists.Accounts.at(0).AccountName;
        i.accountIdentity = identityOf(lists.Accounts.at(0));
        i.serverId = serverId;
        i.serverSize = text.size();
        i.headerDigest = identityDigest(text);
        i.MailNumber = mailNumber;
        i.Subject = "message " + QByteArray::number(mailNumber);
        return i;
    }
    // Deletes these and waits for the report; false when it did not come in time.
    bool deleteOnServer(const QList<ReviewItem> &items)
    {
        deleted = -1;
        review.deleteOnServer(items);
        QDeadlineTimer deadline(30000);
        while (deleted < 0 && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        return deleted >= 0;
    }
    QByteArray statusOf(int mailNumber) const
    {
        for (int i = 1; i <= history.count(); ++i) {
            if (history.at(i).MailNumber == mailNumber)
                return history.at(i).Status;
        }
        return {};
    }

    MailServer &server = MailServer::shared();
    ServicesBed services;
    MailLists lists;
    History history {services.dir.path(), services.services, services.clock};
    ListFiles listFiles {services.dir.path(), lists, services.services};
    QList<ReviewItem> removed;
    ServerReview review {lists,
                         history,
                         {[this](const QList<ReviewItem> &items) {
                              removed << items;
                              return true;
                          },
                          [](const QList<ReviewItem> &) {
                              return true;
                          }},
                         listFiles,
                         services.services,
                         [] { return std::make_unique<TcpTransport>(); },
                         [] {
                             return 30;
                         }};
    int deleted = -1;
    QString report;
};

QList<QByteArray> messages(int count, const QByteArray &user)
{
    QList<QByteArray> list;
    for (int n = 1; n <= count; ++n)
        list << mail("sender@example.org", user + " message " + QByteArray::number(n),
                     "Text " + QByteArray::number(n) + ".\r\n");
    return list;
}

} // namespace

TEST(ReviewDeletionE2e, Pop3DeletesExactlyTheConfirmedMessagesAndReportsOneGoneMeanwhile)
{
    MailServer &server = MailServer::shared();
    ASSERT_TRUE(server.isRunning());
    const QList<QByteArray> mailbox = messages(5, "pop3");
    ASSERT_TRUE(server.addUser("e2e-review-pop3", "secret"));
    ASSERT_TRUE(server.load("e2e-review-pop3", mailbox));
    const QList<QByteArray> uidls = pop3Uidls(server.pop3Port(), "e2e-review-pop3", "secret");
    ASSERT_EQ(uidls.size(), 5);
    // Another client removes the first message: every later number shifts by one, and the
    // fifth message, also confirmed, is gone before the deletion starts.
    {
        PlainClient other;
        ASSERT_TRUE(other.connect(server.pop3Port()));
        other.exchange("USER e2e-review-pop3");
        other.exchange("PASS secret");
        other.exchange("DELE 1");
        other.exchange("DELE 5");
        EXPECT_TRUE(other.exchange("QUIT").startsWith("+OK"));
    }

    DeletionBed bed(account("POP3", "Home", "e2e-review-pop3", "secret", server.pop3Port()), 5);
    ASSERT_TRUE(bed.deleteOnServer({bed.item(uidls.at(1), 2, mailbox.at(1)),
                                    bed.item(uidls.at(3), 4, mailbox.at(3)),
                                    bed.item(uidls.at(4), 5, mailbox.at(4))}));

    EXPECT_EQ(server.inbox("e2e-review-pop3"), (QList<QByteArray> {mailbox.at(2)}));
    EXPECT_EQ(bed.deleted, 2);
    EXPECT_TRUE(bed.report.contains("\"message 5\" is no longer on the server"))
        << bed.report.toStdString();
    EXPECT_EQ(bed.statusOf(2), "70043");
    EXPECT_EQ(bed.statusOf(4), "70043");
    EXPECT_EQ(bed.statusOf(5), "280007");
    EXPECT_EQ(bed.removed.size(), 2);
}

TEST(ReviewDeletionE2e, ImapDeletesTheConfirmedUidsAndNothingUnderAnotherUidValidity)
{
    MailServer &server = MailServer::shared();
    ASSERT_TRUE(server.isRunning());
    const quint16 port = imapPort(server);
    ASSERT_NE(port, 0);
    const QList<QByteArray> mailbox = messages(4, "imap");
    ASSERT_TRUE(server.addUser("e2e-review-imap", "secret"));
    ASSERT_TRUE(server.load("e2e-review-imap", mailbox));
    const QList<QByteArray> ids = imapIds(port, "e2e-review-imap", "secret");
    ASSERT_EQ(ids.size(), 4);
    // Another client removes the second message before the deletion starts.
    {
        PlainClient other;
        ASSERT_TRUE(other.connect(port));
        other.exchange("o1 LOGIN e2e-review-imap secret", PlainClient::isTagged("o1"));
        other.exchange("o2 SELECT INBOX", PlainClient::isTagged("o2"));
        other.exchange("o3 STORE 2 +FLAGS (\\Deleted)", PlainClient::isTagged("o3"));
        EXPECT_TRUE(other.exchange("o4 EXPUNGE", PlainClient::isTagged("o4")).contains("o4 OK"));
        other.exchange("o5 LOGOUT", PlainClient::isTagged("o5"));
    }
    DeletionBed bed(account("IMAP", "Work", "e2e-review-imap", "secret", port), 4);

    // A wrong UIDVALIDITY: the UID would name the first message, which stays.
    const QByteArray validity = ids.at(0).split(':').at(0);
    const QByteArray otherValidity = QByteArray::number(validity.toUInt() + 1);
    ASSERT_TRUE(bed.deleteOnServer(
        {bed.item(otherValidity + ':' + ids.at(0).split(':').at(1), 1, mailbox.at(0))}));
    EXPECT_EQ(bed.deleted, 0);
    EXPECT_TRUE(bed.report.contains("UIDVALIDITY changed")) << bed.report.toStdString();
    EXPECT_EQ(server.inbox("e2e-review-imap").size(), 3);
    EXPECT_EQ(bed.statusOf(1), "280007");

    ASSERT_TRUE(bed.deleteOnServer(
        {bed.item(ids.at(1), 2, mailbox.at(1)), bed.item(ids.at(2), 3, mailbox.at(2))}));
    EXPECT_EQ(server.inbox("e2e-review-imap"), (QList<QByteArray> {mailbox.at(0), mailbox.at(3)}));
    EXPECT_EQ(bed.deleted, 1);
    EXPECT_TRUE(bed.report.contains("\"message 2\" is no longer on the server"))
        << bed.report.toStdString();
    EXPECT_EQ(bed.statusOf(2), "280007");
    EXPECT_EQ(bed.statusOf(3), "70043");
}
