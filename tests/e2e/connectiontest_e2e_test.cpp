#include "e2ebed.h"
#include "engine/connectiontest.h"
#include "net/tcptransport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>

#include <optional>

#include <gtest/gtest.h>

// The account dialog's connection test against the real server: each outcome with its own
// words, and the mailbox untouched whatever happened.

TEST(ConnectionTestE2e, GoodPasswordWrongPasswordAndClosedPort)
{
    using Outcome = ConnectionTestResult::Outcome;
    E2eBed bed;
    ASSERT_TRUE(bed.server.isRunning());
    const QList<QByteArray> inbox {mail("alice@example.org", "Lunch", "See you at noon.\r\n"),
                                   mail("promo@spam.test", "Great offer", "Buy now.\r\n")};
    ASSERT_TRUE(bed.server.addUser("e2e-conntest", "pass word"));
    ASSERT_TRUE(bed.server.load("e2e-conntest", inbox));
    const quint16 closedPort = refusingPort();
    ASSERT_NE(closedPort, 0);
    const struct
    {
        QByteArray type, portName;
        SecurityMode mode;
        QByteArray password;
        Outcome outcome;
        QString text;
    } cases[] = {
        {"POP3", "POP3_PORT", SecurityMode::None, "pass word", Outcome::LoggedIn,
         "Connected to 127.0.0.1 and logged in: the server accepted the user name and the "
         "password. No message was fetched or changed."},
        {"IMAP", "IMAP_PORT", SecurityMode::None, "pass word", Outcome::LoggedIn,
         "Connected to 127.0.0.1 and logged in"},
        {"POP3", "POP3S_PORT", SecurityMode::SslTls, "pass word", Outcome::LoggedIn,
         "Connected to 127.0.0.1 and logged in"},
        {"IMAP", "IMAP_PORT", SecurityMode::StartTls, "pass word", Outcome::LoggedIn,
         "Connected to 127.0.0.1 and logged in"},
        {"POP3", "POP3_PORT", SecurityMode::None, "wrong", Outcome::LoginRefused,
         "Connected to 127.0.0.1, but the server refused the user name or the password: -ERR"},
        {"IMAP", "IMAPS_PORT", SecurityMode::SslTls, "wrong", Outcome::LoginRefused,
         "Connected to 127.0.0.1, but the server refused the user name or the password: a001 NO"},
        {"POP3", "", SecurityMode::None, "pass word", Outcome::ConnectFailed,
         QStringLiteral("Could not connect to 127.0.0.1 on port %1: the connection was refused.")
             .arg(closedPort)},
        {"IMAP", "", SecurityMode::None, "pass word", Outcome::ConnectFailed,
         "the connection was refused. Check the server name and the port."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE((c.type + " " + c.portName + " " + c.password).toStdString());
        const quint16 port = c.portName.isEmpty() ? closedPort : bed.server.port(c.portName);
        ASSERT_NE(port, 0);
        const MailAccount a = account(c.type, "", "e2e-conntest", c.password, port);
        ConnectionTest test(std::make_unique<TcpTransport>(), a, {c.mode, {}}, 30);
        std::optional<ConnectionTestResult> result;
        QObject::connect(&test, &ConnectionTest::finished,
                         [&result](const ConnectionTestResult &r) { result = r; });
        test.start();
        const QDeadlineTimer deadline(30000);
        while (!result && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->outcome, c.outcome);
        const QString text = connectionTestText(bed.core->services, a, *result, 30);
        EXPECT_TRUE(text.contains(c.text)) << text.toStdString();
        EXPECT_FALSE(text.contains("pass word"));
        EXPECT_TRUE(bed.notifier.popups.isEmpty());
    }
    EXPECT_EQ(bed.server.inbox("e2e-conntest"), inbox);
}
