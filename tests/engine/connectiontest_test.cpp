#include "engine/connectiontest.h"
#include "support/faketransport.h"
#include "support/servicesbed.h"

#include <QAbstractSocket>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>

// The account dialog's connection test: logs in and straight out with the typed values, and
// tells what happened in plain words.

namespace {

using Outcome = ConnectionTestResult::Outcome;

MailAccount account(const QByteArray &type, const QByteArray &password = "s3cret")
{
    MailAccount a;
    a.ServerType = type;
    a.MailServer = "mail.example.com";
    a.UserName = "joe";
    a.Password = password;
    a.Port = type == "POP3" ? 110 : 143;
    return a;
}

// A test over a fake connection, with what it emitted.
struct TestBed
{
    TestBed(const MailAccount &typed, const AccountSecurity &security)
        : account(typed)
    {
        test = std::make_unique<ConnectionTest>(std::move(ownNet), account, security, 30);
        QObject::connect(test.get(), &ConnectionTest::finished,
                         [this](const ConnectionTestResult &r) {
                             ++finishedCount;
                             result = r;
                         });
        test->start();
    }
    QString text() const
    {
        return result ? connectionTestText(services.services, account, *result, 30) : QString();
    }

    ServicesBed services;
    MailAccount account;
    std::unique_ptr<FakeTransport> ownNet = std::make_unique<FakeTransport>();
    FakeTransport &net = *ownNet;
    std::unique_ptr<ConnectionTest> test;
    int finishedCount = 0;
    std::optional<ConnectionTestResult> result;
};

// One exchange: what the server sends ("<tls>": the handshake passes) and what the test
// must write in answer.
struct Step
{
    QByteArray server;
    QByteArray client;
};

} // namespace

// Every command the test sends, for each protocol and security mode, and nothing that reads
// or changes a message.
TEST(ConnectionTest, LogsInAndOutAndSaysWhatHappened)
{
    const struct
    {
        const char *name;
        MailAccount account;
        std::optional<SecurityMode> mode;
        QList<Step> steps;
        Outcome outcome;
        QString text;
    } cases[] = {
        {"POP3 good password",
         account("POP3"),
         SecurityMode::None,
         {{"+OK ready\r\n", "USER joe\r\n"},
          {"+OK\r\n", "PASS s3cret\r\n"},
          {"+OK Logged in.\r\n", "QUIT\r\n"},
          {"+OK Logging out.\r\n", ""}},
         Outcome::LoggedIn,
         "Connected to mail.example.com and logged in: the server accepted the user name and "
         "the password. No message was fetched or changed."},
        {"POP3 wrong password, told safely",
         account("POP3"),
         SecurityMode::None,
         {{"+OK ready\r\n", "USER joe\r\n"},
          {"+OK\r\n", "PASS s3cret\r\n"},
          {"-ERR [AUTH] Authentication\x1b[2J failed.\r\n", ""}},
         Outcome::LoginRefused,
         "Connected to mail.example.com, but the server refused the user name or the password: "
         "-ERR [AUTH] Authentication\\x1B[2J failed."},
        {"POP3 STARTTLS",
         account("POP3"),
         SecurityMode::StartTls,
         {{"+OK ready\r\n", "CAPA\r\n"},
          {"+OK\r\nUSER\r\nSTLS\r\n.\r\n", "STLS\r\n"},
          {"+OK Begin TLS negotiation now.\r\n", ""},
          {"<tls>", "USER joe\r\n"},
          {"+OK\r\n", "PASS s3cret\r\n"},
          {"+OK\r\n", "QUIT\r\n"},
          {"+OK\r\n", ""}},
         Outcome::LoggedIn,
         "Connected to mail.example.com and logged in"},
        {"POP3 STARTTLS required but not offered",
         account("POP3"),
         SecurityMode::StartTls,
         {{"+OK ready\r\n", "CAPA\r\n"}, {"+OK\r\nUSER\r\n.\r\n", ""}},
         Outcome::NoStartTls,
         "mail.example.com: the server does not offer STARTTLS, so neither the user name nor "
         "the password was sent."},
        {"IMAP no mode, STARTTLS not offered",
         account("IMAP"),
         std::nullopt,
         {{"* OK ready\r\n", "a120 CAPABILITY\r\n"},
          {"* CAPABILITY IMAP4rev1 AUTH=PLAIN\r\na120 OK\r\n", ""}},
         Outcome::ClearNotChosen,
         "mail.example.com: the server does not offer STARTTLS, so neither the user name nor "
         "the password was sent. To check this account unencrypted, set its Security to "
         "\"None\"."},
        {"POP3 greeting refused",
         account("POP3"),
         SecurityMode::None,
         {{"-ERR too many connections\r\n", ""}},
         Outcome::GreetingRefused,
         "mail.example.com refused the session before the login: -ERR too many connections"},
        {"IMAP good password, quoted",
         account("IMAP", "s3\"c\\ret"),
         SecurityMode::None,
         {{"* OK [CAPABILITY IMAP4rev1] ready\r\n", "a001 LOGIN \"joe\" \"s3\\\"c\\\\ret\"\r\n"},
          {"* CAPABILITY IMAP4rev1 IDLE\r\na001 OK Logged in\r\n", "a399 LOGOUT\r\n"},
          {"* BYE Logging out\r\n", ""},
          {"a399 OK Logout completed.\r\n", ""}},
         Outcome::LoggedIn,
         "Connected to mail.example.com and logged in"},
        {"IMAP wrong password",
         account("IMAP"),
         SecurityMode::None,
         {{"* OK ready\r\n", "a001 LOGIN \"joe\" \"s3cret\"\r\n"},
          {"a001 NO [AUTHENTICATIONFAILED] Authentication failed.\r\n", ""}},
         Outcome::LoginRefused,
         "Connected to mail.example.com, but the server refused the user name or the password: "
         "a001 NO [AUTHENTICATIONFAILED] Authentication failed."},
        {"IMAP STARTTLS",
         account("IMAP"),
         SecurityMode::StartTls,
         {{"* OK ready\r\n", "a120 CAPABILITY\r\n"},
          {"* CAPABILITY IMAP4rev1 STARTTLS\r\na120 OK\r\n", "a121 STARTTLS\r\n"},
          {"a121 OK Begin TLS negotiation now.\r\n", ""},
          {"<tls>", "a001 LOGIN \"joe\" \"s3cret\"\r\n"},
          {"a001 OK\r\n", "a399 LOGOUT\r\n"},
          {"a399 OK\r\n", ""}},
         Outcome::LoggedIn,
         "Connected to mail.example.com and logged in"},
        {"IMAP STARTTLS refused",
         account("IMAP"),
         SecurityMode::StartTls,
         {{"* OK ready\r\n", "a120 CAPABILITY\r\n"},
          {"* CAPABILITY IMAP4rev1 STARTTLS\r\na120 OK\r\n", "a121 STARTTLS\r\n"},
          {"a121 BAD not now\r\n", ""}},
         Outcome::StartTlsRefused,
         "offered STARTTLS but then refused it, so neither the user name nor the password was "
         "sent."},
        {"IMAP greeting BYE",
         account("IMAP"),
         SecurityMode::None,
         {{"* BYE shutting down\r\n", ""}},
         Outcome::GreetingRefused,
         "mail.example.com refused the session before the login: * BYE shutting down"},
        {"IMAP preauthenticated",
         account("IMAP"),
         SecurityMode::None,
         {{"* PREAUTH welcome\r\n", "a399 LOGOUT\r\n"}, {"a399 OK\r\n", ""}},
         Outcome::LoggedIn,
         "and logged in"},
        {"IMAP preauthenticated where STARTTLS was to come",
         account("IMAP"),
         SecurityMode::StartTls,
         {{"* PREAUTH welcome\r\n", ""}},
         Outcome::PreauthInClear,
         "skipped the login (PREAUTH) before the connection was encrypted"},
    };
    for (const auto &c : cases) {
        for (const bool isBytewise : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (isBytewise ? " (byte by byte)" : ""));
            TestBed bed(c.account, {c.mode, {}});
            EXPECT_EQ(bed.net.host, "mail.example.com");
            EXPECT_EQ(bed.net.port, c.account.Port);
            for (const Step &step : c.steps) {
                if (step.server == "<tls>") {
                    EXPECT_TRUE(bed.net.isEncrypting);
                    bed.net.serverEncrypts();
                } else if (isBytewise) {
                    for (char byte : step.server)
                        bed.net.serverSends(QByteArray(1, byte));
                } else {
                    bed.net.serverSends(step.server);
                }
                EXPECT_EQ(bed.net.takeWritten(), step.client) << step.server.toStdString();
            }
            EXPECT_EQ(bed.finishedCount, 1);
            ASSERT_TRUE(bed.result);
            EXPECT_EQ(bed.result->outcome, c.outcome);
            EXPECT_TRUE(bed.text().contains(c.text)) << bed.text().toStdString();
            EXPECT_FALSE(bed.net.isOpen);
            EXPECT_EQ(bed.net.lostWrites, "");
            EXPECT_TRUE(bed.services.notifier.popups.isEmpty());
        }
    }
}

// The connection itself fails, times out or is refused for its certificate: each is told
// as what it is, once, and nothing of the account is sent.
TEST(ConnectionTest, TellsWhyThereWasNoConnection)
{
    TlsRefusal selfSigned;
    selfSigned.reasons = {TlsRefusal::Reason::SelfSigned};
    selfSigned.sha256 = QStringLiteral("AB:CD");
    const struct
    {
        const char *name;
        std::function<void(ConnectionTest &, FakeTransport &)> happens;
        QString text;
    } cases[] = {
        {"connection refused",
         [](ConnectionTest &, FakeTransport &net) {
             net.fail(QAbstractSocket::ConnectionRefusedError, "Connection refused");
         },
         "Could not connect to mail.example.com on port 995: the connection was refused. Check "
         "the server name and the port."},
        {"host not found",
         [](ConnectionTest &, FakeTransport &net) {
             net.fail(QAbstractSocket::HostNotFoundError, "Host not found");
         },
         "Could not connect: the host mail.example.com was not found. Check the server name."},
        {"another error",
         [](ConnectionTest &, FakeTransport &net) {
             net.fail(QAbstractSocket::NetworkError, "Network unreachable");
         },
         "Could not connect to mail.example.com on port 995: Network unreachable"},
        {"time-out", [](ConnectionTest &test, FakeTransport &) { test.timeOut(); },
         "Could not connect to mail.example.com on port 995: no answer within 30 seconds."},
        {"certificate refused",
         [&selfSigned](ConnectionTest &, FakeTransport &net) { net.refuse(selfSigned); },
         "Home: the secure connection to mail.example.com was refused and nothing was sent over "
         "it: the certificate is self-signed. The certificate's SHA-256 fingerprint is AB:CD."},
        {"hung up before the login",
         [](ConnectionTest &, FakeTransport &net) {
             net.serverSends("+OK ready\r\n");
             net.takeWritten();
             net.drop();
         },
         "mail.example.com closed the connection before the login was answered."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        MailAccount typed = account("POP3");
        typed.AccountName = "Home";
        typed.Port = 995;
        TestBed bed(typed, {SecurityMode::SslTls, "12:34"});
        EXPECT_EQ(bed.net.encryptedConnects, 1);
        EXPECT_EQ(bed.net.trustedCertificate(), "12:34");
        c.happens(*bed.test, bed.net);
        bed.test->timeOut(); // a late time-out changes nothing
        EXPECT_EQ(bed.finishedCount, 1);
        EXPECT_EQ(bed.text(), c.text);
        EXPECT_EQ(bed.net.takeWritten(), "");
    }
}

// A server that hangs up on QUIT instead of answering it had accepted the login all the same.
TEST(ConnectionTest, HangUpAfterTheLoginIsALogin)
{
    TestBed bed(account("POP3"), {SecurityMode::None, {}});
    bed.net.serverSends("+OK\r\n");
    bed.net.serverSends("+OK\r\n");
    bed.net.serverSends("+OK\r\n");
    EXPECT_EQ(bed.net.takeWritten(), "USER joe\r\nPASS s3cret\r\nQUIT\r\n");
    bed.net.drop();
    ASSERT_TRUE(bed.result);
    EXPECT_EQ(bed.result->outcome, Outcome::LoggedIn);
}
