#include "e2ebed.h"
#include "net/tcptransport.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>

#include <gtest/gtest.h>

// Checks over encrypted connections: the same deletions as in clear, and certificates that
// are refused before anything of the account is sent.

namespace {

// A POP3 server on 127.0.0.1 in this process that speaks TLS from the first byte with the
// given certificate of the fixture, and answers an empty mailbox. It keeps every line that
// reached it through the encryption.
class TlsPop3Server
{
public:
    TlsPop3Server(const MailServer &fixture, const QString &file)
    {
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        QFile key(fixture.tlsFile(QString(file).replace(".pem", ".key")));
        EXPECT_TRUE(key.open(QIODevice::ReadOnly));
        configuration.setPrivateKey(QSslKey(&key, QSsl::Ec));
        const QList<QSslCertificate> chain = QSslCertificate::fromPath(fixture.tlsFile(file));
        EXPECT_EQ(chain.size(), 1);
        certificate = chain.value(0);
        configuration.setLocalCertificate(certificate);
        configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
        m_server.setSslConfiguration(configuration);
        QObject::connect(&m_server, &QTcpServer::pendingConnectionAvailable,
                         [this] { onEncrypted(); });
        EXPECT_TRUE(m_server.listen(QHostAddress::LocalHost));
    }
    quint16 port() const { return m_server.serverPort(); }

    QSslCertificate certificate;
    QList<QByteArray> lines; // as received, without CR LF

private:
    void onEncrypted()
    {
        auto *socket = static_cast<QSslSocket *>(m_server.nextPendingConnection());
        if (!socket)
            return;
        QObject::connect(socket, &QSslSocket::readyRead, [this, socket] {
            m_pending += socket->readAll();
            qsizetype end;
            while ((end = m_pending.indexOf("\r\n")) >= 0) {
                const QByteArray line = m_pending.left(end);
                m_pending.remove(0, end + 2);
                lines << line;
                socket->write(line == "STAT" ? "+OK 0 0\r\n" : "+OK\r\n");
                if (line == "QUIT")
                    socket->disconnectFromHost();
            }
        });
        socket->write("+OK ready\r\n");
    }

    QSslServer m_server;
    QByteArray m_pending;
};

QString sha256(const QSslCertificate &certificate)
{
    return certificateSha256(certificate);
}

// What every mode must do: the two spam messages go, the two others stay, all four recorded.
struct Mailbox
{
    QList<QByteArray> ham {mail("alice@example.org", "Lunch", "See you at noon.\r\n"),
                           mail("bob@example.org", "Minutes", "a654 OK Fetch completed.\r\n")};
    QList<QByteArray> all {ham[0], mail("promo@spam.test", "Great offer", "Buy now.\r\n"), ham[1],
                           mail("carol@example.net", "Your luck", "Visit our casino tonight.\r\n")};
    QStringList history(const QString &account) const
    {
        return {"Lunch 70044 10152 " + account, "Great offer 70043 10155 " + account,
                "Minutes 70044 10152 " + account, "Your luck 70043 10154 " + account};
    }
};

} // namespace

// In SSL/TLS and STARTTLS mode a check deletes exactly what a plain check deletes.
TEST(TlsE2e, EncryptedChecksDeleteExactlyWhatPlainChecksDelete)
{
    const struct
    {
        QByteArray type, portName;
        std::optional<SecurityMode> mode;
    } cases[] = {
        {"POP3", "POP3S_PORT", SecurityMode::SslTls},
        {"IMAP", "IMAPS_PORT", SecurityMode::SslTls},
        {"POP3", "POP3_PORT", SecurityMode::StartTls},
        {"IMAP", "IMAP_PORT", SecurityMode::StartTls},
        // Nothing stored on a plain port: the server offers STARTTLS, so it is taken, the log
        // has no line about a plain connection, and the account keeps STARTTLS from now on.
        {"POP3", "POP3_PORT", std::nullopt},
        {"IMAP", "IMAP_PORT", std::nullopt},
    };
    int n = 0;
    for (const auto &c : cases) {
        const QString user = QStringLiteral("e2e-tls-%1").arg(++n);
        SCOPED_TRACE(user.toStdString() + " " + c.type.toStdString());
        E2eBed bed;
        ASSERT_TRUE(bed.server.isRunning());
        const quint16 port = bed.server.port(c.portName);
        ASSERT_NE(port, 0);
        const Mailbox mailbox;
        ASSERT_TRUE(bed.server.addUser(user, "pass word"));
        ASSERT_TRUE(bed.server.load(user, mailbox.all));
        const MailAccount a = account(c.type, "Home", user.toUtf8(), "pass word", port);
        bed.setAccounts({a});
        bed.setSecurity(a, {c.mode, {}});

        ASSERT_TRUE(bed.check());

        EXPECT_EQ(bed.statuses, QList<SessionStatus> {SessionStatus::Ok});
        EXPECT_EQ(bed.server.inbox(user), mailbox.ham);
        EXPECT_EQ(bed.history(), mailbox.history("Home"));
        QStringList log {
            "Begin checking mail accounts",
            "Begin Checking  Home  Account",
            "Home: 4 fetched, 0 from the cache.",
            "Home: deleted the message from <promo@spam.test>, \"Great offer\" (Blocked sender).",
            "Home: deleted the message from <carol@example.net>, \"Your luck\" (Spam words).",
            "Finished Checking All Account's"};
        if (!c.mode)
            log.insert(2,
                       "Home: the server encrypted the connection with STARTTLS, so this "
                       "account is checked only that way from now on.");
        EXPECT_EQ(bed.log(), log);
        if (c.mode != SecurityMode::SslTls) {
            EXPECT_EQ(LoadAccountSecurity(*bed.registry, a).mode, SecurityMode::StartTls);
        }
    }
}

// Each refusal ends the account during the handshake: nothing of the account reached the
// server, and the user learns why and which certificate it was.
TEST(TlsE2e, RefusedCertificatesGetNoCredentials)
{
    const struct
    {
        QString certificate, why;
    } cases[] = {
        {"wronghost.pem", "the certificate is made out for another host name"},
        {"expired.pem", "the certificate has expired"},
        {"selfsigned.pem", "the certificate is self-signed"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.certificate.toStdString());
        E2eBed bed;
        ASSERT_TRUE(bed.server.isRunning());
        TlsPop3Server server(bed.server, c.certificate);
        const MailAccount a = account("POP3", "Home", "joe", "s3cret", server.port());
        bed.setAccounts({a});
        bed.setSecurity(a, {SecurityMode::SslTls, {}});

        ASSERT_TRUE(bed.check());

        EXPECT_EQ(bed.statuses, QList<SessionStatus> {SessionStatus::TlsFailed});
        EXPECT_EQ(server.lines, QList<QByteArray> {});
        const QString told = bed.log().join('\n') + '\n' + bed.notifier.popups.join('\n');
        EXPECT_TRUE(told.contains(c.why)) << told.toStdString();
        EXPECT_TRUE(told.contains(sha256(server.certificate))) << told.toStdString();
        EXPECT_FALSE(told.contains("s3cret"));
    }
}

// A self-signed certificate passes once the account trusts its fingerprint, and only that
// certificate: another one in its place is refused again.
TEST(TlsE2e, ATrustedCertificatePassesUntilItChanges)
{
    E2eBed bed;
    ASSERT_TRUE(bed.server.isRunning());
    {
        TlsPop3Server server(bed.server, "selfsigned.pem");
        const MailAccount a = account("POP3", "Home", "joe", "s3cret", server.port());
        bed.setAccounts({a});
        bed.setSecurity(a, {SecurityMode::SslTls, sha256(server.certificate)});
        ASSERT_TRUE(bed.check());
        EXPECT_EQ(bed.statuses, QList<SessionStatus> {SessionStatus::Ok});
        EXPECT_EQ(server.lines, (QList<QByteArray> {"USER joe", "PASS s3cret", "STAT", "QUIT"}));
    }
    const QString trusted
        = sha256(QSslCertificate::fromPath(bed.server.tlsFile("selfsigned.pem")).value(0));
    TlsPop3Server changed(bed.server, "selfsigned2.pem");
    const MailAccount a = account("POP3", "Home", "joe", "s3cret", changed.port());
    bed.setAccounts({a});
    bed.setSecurity(a, {SecurityMode::SslTls, trusted});
    bed.statuses.clear();
    ASSERT_TRUE(bed.check());
    EXPECT_EQ(bed.statuses, QList<SessionStatus> {SessionStatus::TlsFailed});
    EXPECT_EQ(changed.lines, QList<QByteArray> {});
    const QString told = bed.log().join('\n');
    EXPECT_TRUE(told.contains("it is not the certificate this account trusts"))
        << told.toStdString();
    EXPECT_TRUE(told.contains(sha256(changed.certificate))) << told.toStdString();
}

// SSL/TLS against a port that speaks in clear, as when the port was left at 110: the
// handshake fails, and the user is told so instead of waiting for the time-out.
TEST(TlsE2e, TlsToAPlainPortFailsAtOnceAndSendsNothing)
{
    E2eBed bed;
    ASSERT_TRUE(bed.server.isRunning());
    ASSERT_TRUE(bed.server.addUser("e2e-tls-plainport", "pw"));
    const MailAccount a = account("POP3", "Home", "e2e-tls-plainport", "pw", bed.server.pop3Port());
    bed.setAccounts({a});
    bed.setSecurity(a, {SecurityMode::SslTls, {}});

    ASSERT_TRUE(bed.check());

    EXPECT_EQ(bed.statuses, QList<SessionStatus> {SessionStatus::TlsFailed});
    const QStringList log = bed.log();
    ASSERT_EQ(log.size(), 4);
    EXPECT_TRUE(log.at(2).startsWith("Home: the secure connection to 127.0.0.1 was refused and "
                                     "nothing was sent over it: the encryption could not be "
                                     "agreed on ("))
        << log.at(2).toStdString();
}
