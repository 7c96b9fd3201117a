#include "engine/checkcycle.h"
#include "net/tcptransport.h"
#include "store/accountsecurity.h"
#include "support/coretestbed.h"
#include "support/fakemailboxfilter.h"
#include "support/logentries.h"
#include "support/scriptedpop3server.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>

#include <gtest/gtest.h>

// The POP3 session over real sockets, against a scripted server for what a real server
// will not do on demand.

namespace {

using Reply = ScriptedPop3Server::Reply;

QByteArray mail(const QByteArray &subject)
{
    return "From: <jo@example.org>\r\nSubject: " + subject + "\r\n\r\nHello\r\n";
}

// The server's usual way into a mailbox of count messages, replies split into pieces.
// Greeting, USER, PASS, STAT, and for more than one message CAPA, answered with capa.
QList<Reply> loginTo(int count, const QByteArray &capa = "+OK\r\nTOP\r\nUIDL\r\n.\r\n")
{
    QList<Reply> replies {{{"+OK PO", "P3 ready", "\r\n"}},
                          {{"+OK\r", "\n"}},
                          {{"+OK Logged in.\r\n"}},
                          {{"+OK ", QByteArray::number(count) + " 999\r\n"}}};
    if (count > 1)
        replies << Reply {{capa}};
    return replies;
}

struct SocketBed : CoreTestbed
{
    explicit SocketBed(QList<Reply> replies)
        : server(std::move(replies))
    {
        EXPECT_TRUE(server.listen());
        core->armTimers();
        // These scripts expect today's deletions.
        core->settings.AskBeforeDel = false;
        core->lists.Accounts = {account()};
        // The scripts are plain POP3.
        SaveAccountSecurity(*registry, account(), {SecurityMode::None, {}});
        core->lists.AccountsLoaded = true;
        cycle.setMailboxFilter(filter);
        cycle.setTransportFactory([this]() -> std::unique_ptr<Transport> {
            auto transport = std::make_unique<TcpTransport>();
            if (onTransport)
                onTransport(*transport);
            return transport;
        });
    }
    MailAccount account() const
    {
        MailAccount a;
        a.ServerType = "POP3";
        a.AccountName = "Home";
        a.MailServer = "127.0.0.1";
        a.UserName = "joe";
        a.Password = "pw";
        a.Port = qint16(server.port());
        return a;
    }
    // One check to its end, or false after the deadline.
    bool check()
    {
        cycle.CheckNow();
        QDeadlineTimer deadline(20000);
        while (core->IsChecking && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        // Let the server see what the client did last.
        QDeadlineTimer settle(300);
        while (!settle.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return !core->IsChecking;
    }
    QStringList log() const { return logEntries(core->log.path()); }

    ScriptedPop3Server server;
    CheckCycle &cycle = core->checkCycle;
    FakeMailboxFilter filter;
    std::function<void(Transport &)> onTransport;
};

} // namespace

using enum MessageStatus;

TEST(Pop3Socket, SplitRepliesAndARefusedDeleOverARealSocket)
{
    QList<Reply> replies = loginTo(2);
    replies << Reply {{"+OK 60 octets\r\nFrom: <jo@example.org>\r\nSub", "ject: hello\r\n\r\nHel",
                       "lo\r\n.", "\r", "\n"}}
            << Reply {{"+OK\r\n" + mail("spam") + ".\r\n"}}
            << Reply {{"-ERR Message is ", "locked\r\n"}} << Reply {{"+OK bye\r\n"}};
    SocketBed bed(replies);
    ASSERT_TRUE(bed.check());
    EXPECT_EQ(bed.server.commands,
              (QList<QByteArray> {"USER joe", "PASS pw", "STAT", "CAPA", "RETR 1", "RETR 2",
                                  "DELE 2", "QUIT"}));
    EXPECT_EQ(
        bed.filter.recorded,
        (QList<FakeMailboxFilter::Recorded> {{"Home", "hello", Kept}, {"Home", "spam", Kept}}));
    EXPECT_EQ(
        bed.log(),
        (QStringList {"Begin checking mail accounts", "Begin Checking  Home  Account",
                      "POP3 Error:-ERR Message is locked", "", "Finished Checking All Account's"}));
}

// With PIPELINING every RETR goes out before the first text is in; the refused one is told
// and its message neither judged nor deleted.
TEST(Pop3Socket, PipelinedRetrsAndOneRefusedOverARealSocket)
{
    QList<Reply> replies = loginTo(3, "+OK\r\nPIPELINING\r\n.\r\n");
    replies << Reply {{"+OK\r\n" + mail("hello") + ".\r\n"}}
            << Reply {{"-ERR Message is locked\r\n"}}
            << Reply {{"+OK\r\n" + mail("spam") + ".\r\n"}} << Reply {{"+OK\r\n"}}
            << Reply {{"+OK bye\r\n"}};
    SocketBed bed(replies);
    ASSERT_TRUE(bed.check());
    EXPECT_EQ(bed.server.commands,
              (QList<QByteArray> {"USER joe", "PASS pw", "STAT", "CAPA", "RETR 1", "RETR 2",
                                  "RETR 3", "DELE 3", "QUIT"}));
    EXPECT_EQ(
        bed.filter.recorded,
        (QList<FakeMailboxFilter::Recorded> {{"Home", "hello", Kept}, {"Home", "spam", Deleted}}));
    EXPECT_EQ(
        bed.log(),
        (QStringList {"Begin checking mail accounts", "Begin Checking  Home  Account",
                      "POP3 Error:-ERR Message is locked", "",
                      "Home: deleted the message from <jo@example.org>, \"spam\" (Blocked sender).",
                      "Finished Checking All Account's"}));
}

TEST(Pop3Socket, NegativeRetrOrHangUpEndsTheAccountWithoutDeleting)
{
    struct Case
    {
        const char *name;
        Reply retrReply;
        QStringList logTail; // after the begin lines
    };
    const Case cases[] = {
        {"negative RETR",
         {{"-ERR no such mess", "age\r\n"}},
         {"POP3 Error:-ERR no such message", "", "Finished Checking All Account's"}},
        {"hang-up inside the message",
         {{"+OK 300 octets\r\nFrom: <jo@example.org>\r\n", "Subject: cut"}, true},
         {"Home: the server closed the connection during Retrieving.",
          "Finished Checking All Account's"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        SocketBed bed(loginTo(2) << c.retrReply);
        // Within the deadline of check(), so ended by the session and not by the time-out.
        ASSERT_TRUE(bed.check());
        EXPECT_EQ(bed.server.commands,
                  (QList<QByteArray> {"USER joe", "PASS pw", "STAT", "CAPA", "RETR 1"}));
        EXPECT_TRUE(bed.server.hasClientClosed);
        EXPECT_EQ(bed.filter.checks, 0);
        EXPECT_EQ(bed.log(),
                  QStringList({"Begin checking mail accounts", "Begin Checking  Home  Account"})
                      + c.logTail);
    }
}

TEST(Pop3Socket, StopWhileTheSessionWaitsBeforeItsVerdicts)
{
    QList<Reply> replies = loginTo(2);
    replies << Reply {{"+OK\r\n" + mail("spam one") + ".\r\n"}}
            << Reply {{"+OK\r\n" + mail("spam two") + ".\r\n"}};
    SocketBed bed(replies);
    // The stop is queued as the last message arrives, so it runs before the session's next step.
    bed.onTransport = [&bed](Transport &transport) {
        QObject::connect(&transport, &Transport::received, &bed.cycle,
                         [&bed](const QByteArray &data) {
                             if (data.contains("spam two"))
                                 QMetaObject::invokeMethod(&bed.cycle, &CheckCycle::CheckNow,
                                                           Qt::QueuedConnection);
                         });
    };
    ASSERT_TRUE(bed.check());
    EXPECT_EQ(bed.server.commands,
              (QList<QByteArray> {"USER joe", "PASS pw", "STAT", "CAPA", "RETR 1", "RETR 2"}));
    EXPECT_TRUE(bed.server.hasClientClosed);
    EXPECT_EQ(bed.filter.checks, 0);
    EXPECT_TRUE(bed.filter.recorded.isEmpty());
    EXPECT_EQ(bed.log(),
              (QStringList {"Begin checking mail accounts", "Begin Checking  Home  Account",
                            "Checking has been stopped."}));
}

// An account that requires STARTTLS, against a server that does not offer it: the server
// hears CAPA and nothing of the account, whatever it would answer to USER or PASS.
TEST(Pop3Socket, ServerWithoutStartTlsGetsNoUserNameOrPassword)
{
    SocketBed bed({{{"+OK POP3 ready\r\n"}},
                   {{"+OK\r\nTOP\r\n", "USER\r\n.\r\n"}},
                   {{"+OK\r\n"}},
                   {{"+OK\r\n"}},
                   {{"+OK 0 0\r\n"}}});
    SaveAccountSecurity(*bed.registry, bed.account(), {SecurityMode::StartTls, {}});
    QList<SessionStatus> statuses;
    QObject::connect(&bed.cycle, &CheckCycle::sessionEnded,
                     [&statuses](const SessionResult &result) { statuses << result.status; });
    ASSERT_TRUE(bed.check());
    EXPECT_EQ(bed.server.commands, QList<QByteArray> {"CAPA"});
    EXPECT_EQ(statuses, QList<SessionStatus> {SessionStatus::TlsFailed});
    EXPECT_EQ(bed.log(),
              (QStringList {"Begin checking mail accounts", "Begin Checking  Home  Account",
                            "Home: the server does not offer STARTTLS, so neither the user name "
                            "nor the password was sent.",
                            "Finished Checking All Account's"}));
}
