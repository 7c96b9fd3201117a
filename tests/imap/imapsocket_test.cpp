#include "imap/imapsession.h"
#include "net/tcptransport.h"
#include "support/fakemailboxfilter.h"
#include "support/logentries.h"
#include "support/scriptedpop3server.h"
#include "support/servicesbed.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>

#include <gtest/gtest.h>

// The IMAP session over a real socket, against a scripted server that splits its replies
// where a real server will not on demand. The script is one reply per command line.

namespace {

using Reply = ScriptedPop3Server::Reply;
using Recorded = FakeMailboxFilter::Recorded;
using enum MessageStatus;

QByteArray mail(const QByteArray &subject, const QByteArray &body = "Hello\r\n")
{
    return "From: <jo@example.org>\r\nSubject: " + subject + "\r\n\r\n" + body;
}

QByteArray fetchData(int n, const QByteArray &message)
{
    return "* " + QByteArray::number(n) + " FETCH (FLAGS () BODY[] {"
        + QByteArray::number(message.size()) + "}\r\n" + message + ")\r\n";
}

constexpr char fetchOk[] = "a654 OK Fetch completed (0.001 + 0.000 secs).\r\n";

// Greeting, LOGIN and SELECT of a mailbox of count messages, replies whole or in pieces.
QList<Reply> loginTo(int count, bool isSplit)
{
    const QByteArray greeting = "* OK [CAPABILITY IMAP4rev1] Dovecot ready.\r\n";
    const QByteArray loggedIn = "a001 OK Logged in\r\n";
    const QByteArray selected = "* FLAGS (\\Seen \\Deleted)\r\n* " + QByteArray::number(count)
        + " EXISTS\r\na142 OK [READ-WRITE] Select completed.\r\n";
    if (!isSplit)
        return {{{greeting}}, {{loggedIn}}, {{selected}}};
    return {{{greeting.first(20), greeting.sliced(20)}},
            {{loggedIn.chopped(1), loggedIn.last(1)}},
            {{selected.first(30), selected.sliced(30, 10), selected.sliced(40)}}};
}

// The reply to the UID fetch of count messages: UID 100 + n for message n.
QList<Reply> uidsOf(int count)
{
    QByteArray data;
    for (int n = 1; n <= count; ++n)
        data += "* " + QByteArray::number(n) + " FETCH (UID " + QByteArray::number(100 + n)
            + ")\r\n";
    return {{{data, "a610 OK Fetch completed.\r\n"}}};
}

MailAccount homeAccount()
{
    MailAccount account;
    account.ServerType = "IMAP";
    account.AccountName = "Home";
    account.UserName = "joe";
    account.Password = "pw";
    return account;
}

// One IMAP session over TCP to the scripted server, with recording services and verdicts.
struct SocketBed
{
    explicit SocketBed(QList<Reply> replies)
        : server(std::move(replies))
    {
        EXPECT_TRUE(server.listen());
        services.settings.NotifyNew = false;
        // These scripts expect today's deletions.
        services.settings.AskBeforeDel = false;
        QObject::connect(&session, &MailSession::finished, [this] { ++finishedCount; });
    }
    // The session to its end, and the server to the client's hang-up; false after the deadline.
    bool run()
    {
        session.start(QStringLiteral("127.0.0.1"), server.port());
        QDeadlineTimer deadline(10000);
        while ((finishedCount == 0 || !server.hasClientClosed) && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        return finishedCount == 1 && server.hasClientClosed;
    }
    QStringList log() const { return logEntries(services.log.path()); }

    ScriptedPop3Server server;
    ServicesBed services;
    FakeMailboxFilter filter;
    ImapSession session {std::make_unique<TcpTransport>(), homeAccount(), services.settings,
                         services.services, filter};
    int finishedCount = 0;
};

} // namespace

TEST(ImapSocket, LiteralSplitAnywhereArrivesWhole)
{
    const QByteArray text = mail("hi", "ok completed\r\n");
    const QByteArray wire = fetchData(1, text) + fetchOk;
    for (qsizetype cut = 1; cut < wire.size(); ++cut) {
        SCOPED_TRACE("split after byte " + std::to_string(cut));
        QList<Reply> script = loginTo(1, false) + uidsOf(1);
        script.append({{wire.first(cut), wire.sliced(cut)}});
        SocketBed bed(script);
        ASSERT_TRUE(bed.run());
        EXPECT_EQ(bed.server.commands,
                  (QList<QByteArray> {"a001 LOGIN \"joe\" \"pw\"", "a142 SELECT INBOX",
                                      "a610 FETCH 1:1 (UID RFC822.SIZE)",
                                      "a654 FETCH 1 (FLAGS BODY.PEEK[])", "a399 LOGOUT"}));
        const CMessage *message = bed.session.ImapMessages().Item(1);
        ASSERT_NE(message, nullptr);
        EXPECT_EQ(message->SIZE, text.size());
        EXPECT_EQ(bed.filter.recorded, (QList<Recorded> {{"Home", "hi", Kept}}));
        EXPECT_TRUE(bed.services.notifier.popups.isEmpty());
    }
}

TEST(ImapSocket, ServerRepliesThatEndOrChangeTheSession)
{
    struct Case
    {
        const char *name;
        QList<Reply> after; // the replies after SELECT of two messages and the UID fetch
        QList<QByteArray> commands; // after the UID fetch
        QList<Recorded> recorded;
        QStringList log;
    };
    const Case cases[] = {
        {"NO to the second FETCH: only the first message is judged",
         {{{fetchData(1, mail("spam a")), fetchOk}},
          {{"a654 NO Message is not ", "available\r\n"}},
          {{"* 1 FETCH (FLAGS (\\Deleted))\r\n", "a005 OK Store completed.\r\n"}},
          {{"* CAPABILITY IMAP4rev1 UIDPLUS\r\n", "a203 OK\r\n"}},
          {{"* 1 EXPUNGE\r\n", "a204 OK Expunge completed.\r\n"}}},
         {"a654 FETCH 1 (FLAGS BODY.PEEK[])", "a654 FETCH 2 (FLAGS BODY.PEEK[])",
          "a005 UID STORE 101 +Flags \\Deleted", "a203 CAPABILITY", "a204 UID EXPUNGE 101",
          "a399 LOGOUT"},
         {{"Home", "spam a", Deleted}},
         {"IMAP Error: a654 NO Message is not available", "",
          "Home: deleted the message from <jo@example.org>, \"spam a\" (Blocked sender)."}},
        {"untagged responses between the FETCH response and its OK",
         {{{fetchData(1, mail("hello")), "* 3 EXISTS\r\n",
            "* 1 FETCH (FLAGS (\\Flagged))\r\n* 2 RECENT\r\n", fetchOk}},
          {{fetchData(2, mail("spam b")), "* OK Still here\r\n", fetchOk}},
          {{"* 2 FETCH (FLAGS (\\Deleted))\r\n", "a005 OK Store completed.\r\n"}},
          {{"* CAPABILITY IMAP4rev1\r\n", "a203 OK\r\n"}},
          {{"* SEARCH 102\r\n", "a205 OK\r\n"}},
          {{"* 2 EXPUNGE\r\n", "a202 OK Expunge completed.\r\n"}}},
         {"a654 FETCH 1 (FLAGS BODY.PEEK[])", "a654 FETCH 2 (FLAGS BODY.PEEK[])",
          "a005 UID STORE 102 +Flags \\Deleted", "a203 CAPABILITY", "a205 UID SEARCH DELETED",
          "a202 EXPUNGE", "a399 LOGOUT"},
         {{"Home", "hello", Kept}, {"Home", "spam b", Deleted}},
         {"Home: deleted the message from <jo@example.org>, \"spam b\" (Blocked sender)."}},
        {"a refused STORE: the message is kept and nothing expunged",
         {{{fetchData(1, mail("hello")), fetchOk}},
          {{fetchData(2, mail("spam b")), fetchOk}},
          {{"a005 NO [CANNOT] Mailbox is ", "read-only\r\n"}}},
         {"a654 FETCH 1 (FLAGS BODY.PEEK[])", "a654 FETCH 2 (FLAGS BODY.PEEK[])",
          "a005 UID STORE 102 +Flags \\Deleted", "a399 LOGOUT"},
         {{"Home", "hello", Kept}, {"Home", "spam b", Kept}},
         {"IMAP Error: a005 NO [CANNOT] Mailbox is read-only", ""}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SocketBed bed(loginTo(2, true) + uidsOf(2) + c.after);
        ASSERT_TRUE(bed.run());
        EXPECT_EQ(bed.server.commands,
                  QList<QByteArray>({"a001 LOGIN \"joe\" \"pw\"", "a142 SELECT INBOX",
                                     "a610 FETCH 1:2 (UID RFC822.SIZE)"})
                      + c.commands);
        EXPECT_EQ(bed.filter.recorded, c.recorded);
        EXPECT_EQ(bed.log(), c.log);
    }
}
