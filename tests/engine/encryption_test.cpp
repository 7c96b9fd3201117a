#include "engine/sessionfactory.h"
#include "imap/imapdeletion.h"
#include "imap/imapsession.h"
#include "net/transport.h"
#include "pop3/pop3deletion.h"
#include "pop3/pop3session.h"
#include "store/accountsecurity.h"
#include "support/recordingdialogueclient.h"
#include "support/sessionbed.h"

#include <gtest/gtest.h>

#include <memory>

// How the sessions encrypt their connection and what they do when the encryption fails.

namespace {

using Encryption = MailSession::Encryption;
using Why = TlsRefusal::Reason;

MailAccount account(const QByteArray &type)
{
    MailAccount a;
    a.ServerType = type;
    a.AccountName = "Home";
    a.UserName = "joe";
    a.Password = "s3cret";
    a.Port = type == "POP3" ? 995 : 993;
    return a;
}

// A session of either protocol over a fake connection.
struct TlsBed : SessionBed
{
    explicit TlsBed(const QByteArray &type)
    {
        if (type == "POP3")
            session = std::make_unique<Pop3Session>(std::move(ownNet), account(type),
                                                    services.settings, services.services, filter);
        else
            session = std::make_unique<ImapSession>(std::move(ownNet), account(type),
                                                    services.settings, services.services, filter);
        watch(*session);
    }
    // Everything the user was told, popups and log lines together.
    QString told() const { return services.notifier.popups.join('\n') + '\n' + log().join('\n'); }

    std::unique_ptr<MailSession> session;
};

} // namespace

TEST(Encryption, ImplicitTlsConnectsEncryptedAndLogsInOverIt)
{
    const struct
    {
        QByteArray type, greeting, login;
    } cases[] = {
        {"POP3", "+OK ready\r\n", "USER joe\r\n"},
        {"IMAP", "* OK ready\r\n", "a001 LOGIN \"joe\" \"s3cret\"\r\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.type.constData());
        TlsBed bed(c.type);
        bed.session->setEncryption(Encryption::Implicit);
        bed.session->start(QStringLiteral("mail.example.com"), 995);
        EXPECT_EQ(bed.net.encryptedConnects, 1);
        EXPECT_EQ(bed.net.host, "mail.example.com");
        bed.send(c.greeting);
        EXPECT_EQ(bed.net.takeWritten(), c.login);
        EXPECT_EQ(bed.net.encryptionRequests, 0);
    }
}

// A refused certificate ends the account before a byte of ours was sent, says why with the
// fingerprint the user can compare, and never shows the password.
TEST(Encryption, RefusedCertificateEndsTheAccountAndSaysWhy)
{
    const struct
    {
        const char *name;
        QList<Why> reasons;
        QString sha256;
        QStringList expected;
    } cases[] = {
        {"expired", {Why::Expired}, "AB:CD:EF", {"has expired", "AB:CD:EF"}},
        {"not yet valid", {Why::NotYetValid}, "01:02", {"not valid yet", "01:02"}},
        {"self-signed, wrong host",
         {Why::SelfSigned, Why::WrongHost},
         "FF:00",
         {"self-signed", "another host name", "FF:00"}},
        {"unknown issuer", {Why::UnknownIssuer}, "12:34", {"not signed by an authority"}},
        {"changed", {Why::SelfSigned, Why::NotTheTrustedOne}, "56:78", {"has changed"}},
        {"no handshake", {Why::Handshake}, "", {"could not be agreed on (wrong version)"}},
    };
    for (const QByteArray type : {"POP3", "IMAP"}) {
        for (const auto &c : cases) {
            SCOPED_TRACE((type + ": " + c.name).toStdString());
            TlsBed bed(type);
            bed.session->setEncryption(Encryption::Implicit);
            bed.session->start(QStringLiteral("mail.example.com"), 995);
            TlsRefusal refusal;
            refusal.reasons = c.reasons;
            refusal.detail = QStringLiteral("wrong version");
            refusal.sha256 = c.sha256;
            bed.net.refuse(refusal);
            EXPECT_EQ(bed.finishedCount, 1);
            EXPECT_EQ(bed.result.status, SessionStatus::TlsFailed);
            EXPECT_EQ(bed.net.takeWritten(), "");
            EXPECT_EQ(bed.net.lostWrites, "");
            ASSERT_EQ(bed.services.notifier.popups.size(), 1);
            const QString popup = bed.services.notifier.popups.at(0);
            EXPECT_TRUE(popup.startsWith("Home: the secure connection to mail.example.com was "
                                         "refused and nothing was sent over it"))
                << popup.toStdString();
            for (const QString &part : c.expected)
                EXPECT_TRUE(popup.contains(part)) << popup.toStdString();
            EXPECT_EQ(bed.log().size(), 1);
            EXPECT_FALSE(bed.told().contains("s3cret"));
        }
    }
}

// A stored mode decides; with none, the implicit-TLS ports mean TLS and every other port
// STARTTLS when the server offers it. The session's transport trusts the stored certificate.
TEST(Encryption, TheFactoryEncryptsAsTheAccountSays)
{
    const struct
    {
        qint16 port;
        std::optional<SecurityMode> mode;
        Encryption expected;
    } cases[] = {
        {995, std::nullopt, Encryption::Implicit},
        {993, std::nullopt, Encryption::Implicit},
        {110, std::nullopt, Encryption::StartTlsWhenOffered},
        {143, std::nullopt, Encryption::StartTlsWhenOffered},
        {995, SecurityMode::None, Encryption::None},
        {110, SecurityMode::SslTls, Encryption::Implicit},
        {993, SecurityMode::StartTls, Encryption::StartTls},
    };
    for (const QByteArray type : {"POP3", "IMAP"}) {
        for (const auto &c : cases) {
            SCOPED_TRACE(type.toStdString() + " " + std::to_string(c.port));
            SessionBed bed;
            MailAccount a = account(type);
            a.Port = c.port;
            const std::unique_ptr<MailSession> session
                = makeMailSession(a, std::move(bed.ownNet), bed.services.settings,
                                  bed.services.services, bed.filter, {c.mode, "AB:CD"});
            ASSERT_TRUE(session);
            EXPECT_EQ(session->encryption(), c.expected);
            EXPECT_EQ(bed.net.trustedCertificate(), "AB:CD");
        }
    }
}

namespace {

// One protocol's STARTTLS dialogue: the greeting, the capability question and a reply that
// offers STARTTLS, the request and the server's go-ahead, and the login that follows.
struct StartTlsScript
{
    QByteArray type, greeting, askCapabilities, offers, request, goAhead, login;
};

const StartTlsScript startTlsScripts[] = {
    {"POP3", "+OK ready\r\n", "CAPA\r\n", "+OK\r\nTOP\r\nSTLS\r\nUSER\r\n.\r\n", "STLS\r\n",
     "+OK Begin TLS\r\n", "USER joe\r\n"},
    {"IMAP", "* OK ready\r\n", "a120 CAPABILITY\r\n",
     "* CAPABILITY IMAP4rev1 STARTTLS AUTH=PLAIN\r\na120 OK done\r\n", "a121 STARTTLS\r\n",
     "a121 OK Begin TLS\r\n", "a001 LOGIN \"joe\" \"s3cret\"\r\n"},
};

} // namespace

// RFC 2595 and RFC 3501: the capabilities first, then the upgrade, and the login only over
// the encrypted connection; what the server sent with its go-ahead is dropped.
TEST(Encryption, StartTlsEncryptsBeforeTheLogin)
{
    for (const StartTlsScript &s : startTlsScripts) {
        for (Encryption encryption : {Encryption::StartTls, Encryption::StartTlsWhenOffered}) {
            for (bool isBytewise : {false, true}) {
                SCOPED_TRACE(s.type.toStdString() + (isBytewise ? " bytewise" : ""));
                TlsBed bed(s.type);
                bed.isBytewise = isBytewise;
                bed.session->setEncryption(encryption);
                bed.session->start(QStringLiteral("mail.example.com"), 110);
                EXPECT_EQ(bed.net.encryptedConnects, 0);
                bed.send(s.greeting);
                EXPECT_EQ(bed.net.takeWritten(), s.askCapabilities);
                bed.send(s.offers);
                EXPECT_EQ(bed.net.takeWritten(), s.request);
                // A line slipped in behind the go-ahead, in clear, must not answer the login.
                bed.send(s.goAhead + "+OK a001 OK injected\r\n");
                EXPECT_EQ(bed.net.encryptionRequests, 1);
                EXPECT_EQ(bed.net.takeWritten(), "");
                bed.net.serverEncrypts();
                EXPECT_EQ(bed.net.takeWritten(), s.login);
                EXPECT_EQ(bed.finishedCount, 0);
                EXPECT_TRUE(bed.log().isEmpty());
            }
        }
    }
}

// A server that does not offer STARTTLS, refuses it, or fails the handshake gets neither
// the user name nor the password, whether STARTTLS is required or no mode was chosen. Only
// the account without a mode, on a server that offers none, asks the user to choose.
TEST(Encryption, StartTlsSendsNoCredentialsWithoutIt)
{
    const struct
    {
        const char *name;
        QByteArray type;
        QList<QByteArray> replies; // after the greeting
        bool isRefusedHandshake;
        bool isOffered = false; // offered, then refused
    } cases[] = {
        {"POP3 not offered", "POP3", {"+OK\r\nTOP\r\nUSER\r\n.\r\n"}, false},
        {"POP3 no CAPA", "POP3", {"-ERR unknown command\r\n"}, false},
        {"POP3 STLS refused", "POP3", {"+OK\r\nSTLS\r\n.\r\n", "-ERR not now\r\n"}, false, true},
        {"POP3 handshake fails", "POP3", {"+OK\r\nSTLS\r\n.\r\n", "+OK\r\n"}, true},
        {"IMAP not offered", "IMAP", {"* CAPABILITY IMAP4rev1 AUTH=PLAIN\r\na120 OK\r\n"}, false},
        {"IMAP CAPABILITY refused", "IMAP", {"a120 BAD no\r\n"}, false},
        {"IMAP STARTTLS refused",
         "IMAP",
         {"* CAPABILITY IMAP4rev1 STARTTLS\r\na120 OK\r\n", "a121 NO not now\r\n"},
         false,
         true},
        {"IMAP handshake fails",
         "IMAP",
         {"* CAPABILITY IMAP4rev1 STARTTLS\r\na120 OK\r\n", "a121 OK\r\n"},
         true},
    };
    for (Encryption mode : {Encryption::StartTls, Encryption::StartTlsWhenOffered}) {
        for (const auto &c : cases) {
            SCOPED_TRACE(std::string(c.name) + ", " + modeName(mode));
            TlsBed bed(c.type);
            int choicesAsked = 0;
            QObject::connect(bed.session.get(), &MailSession::encryptionChoiceNeeded,
                             [&choicesAsked] { ++choicesAsked; });
            bed.session->setEncryption(mode);
            bed.session->start(QStringLiteral("mail.example.com"), 110);
            bed.send(c.type == "POP3" ? "+OK ready\r\n" : "* OK ready\r\n");
            for (const QByteArray &reply : c.replies)
                bed.send(reply);
            if (c.isRefusedHandshake) {
                TlsRefusal refusal;
                refusal.reasons = {Why::UnknownIssuer};
                refusal.sha256 = "AA:BB";
                bed.net.refuse(refusal);
            }
            EXPECT_EQ(bed.finishedCount, 1);
            EXPECT_EQ(bed.result.status, SessionStatus::TlsFailed);
            const QByteArray written = bed.net.takeWritten() + bed.net.lostWrites;
            for (const char *command : {"USER", "PASS", "LOGIN", "joe", "s3cret"})
                EXPECT_FALSE(written.contains(command)) << written.toStdString();
            ASSERT_EQ(bed.services.notifier.popups.size(), 1);
            const bool isNotOffered = !c.isRefusedHandshake && !c.isOffered;
            const bool asksToChoose = isNotOffered && mode == Encryption::StartTlsWhenOffered;
            const QString notOffered = "Home: the server does not offer STARTTLS, so neither "
                                       "the user name nor the password was sent.";
            if (c.isOffered) {
                EXPECT_EQ(bed.services.notifier.popups.at(0),
                          "Home: the server offered STARTTLS but then refused it, so neither "
                          "the user name nor the password was sent.");
            } else if (isNotOffered) {
                EXPECT_EQ(bed.services.notifier.popups.at(0),
                          asksToChoose ? notOffered
                                  + " To check this account unencrypted, set its Security to "
                                    "\"None\"."
                                       : notOffered);
            }
            EXPECT_EQ(choicesAsked, asksToChoose ? 1 : 0);
            EXPECT_FALSE(bed.told().contains("s3cret"));
        }
    }
}

// The deletions of the review window log in as the check does: over TLS from the first
// byte, or after STARTTLS, and never in clear where STARTTLS is required but missing.
TEST(Encryption, ReviewDeletionsEncryptAsTheCheckDoes)
{
    const struct
    {
        QByteArray type, greeting, askCapabilities, offers, lacks, request, goAhead, login;
    } scripts[] = {
        {"POP3", "+OK ready\r\n", "CAPA\r\n", "+OK\r\nSTLS\r\n.\r\n", "+OK\r\nUSER\r\n.\r\n",
         "STLS\r\n", "+OK\r\n", "USER joe\r\n"},
        {"IMAP", "* OK ready\r\n", "d010 CAPABILITY\r\n",
         "* CAPABILITY IMAP4rev1 STARTTLS\r\nd010 OK\r\n", "* CAPABILITY IMAP4rev1\r\nd010 OK\r\n",
         "d011 STARTTLS\r\n", "d011 OK\r\n", "d001 LOGIN \"joe\" \"s3cret\"\r\n"},
    };
    for (const auto &s : scripts) {
        for (bool isOffered : {true, false}) {
            SCOPED_TRACE(s.type.toStdString() + (isOffered ? " offered" : " not offered"));
            SessionBed bed;
            std::unique_ptr<DeletionSession> session;
            if (s.type == "POP3")
                session = std::make_unique<Pop3Deletion>(std::move(bed.ownNet), account(s.type),
                                                         QList<MessageIdentity> {{"id", 1, "d"}},
                                                         60, bed.services.services);
            else
                session = std::make_unique<ImapDeletion>(std::move(bed.ownNet), account(s.type),
                                                         QList<MessageIdentity> {{"1:2", 1, "d"}},
                                                         60, bed.services.services);
            bed.watch(*session);
            session->setEncryption(Encryption::StartTls);
            session->run(QStringLiteral("mail.example.com"), 110);
            bed.send(s.greeting);
            EXPECT_EQ(bed.net.takeWritten(), s.askCapabilities);
            bed.send(isOffered ? s.offers : s.lacks);
            if (!isOffered) {
                EXPECT_EQ(bed.result.status, SessionStatus::TlsFailed);
                EXPECT_EQ(bed.net.takeWritten() + bed.net.lostWrites, "");
                continue;
            }
            EXPECT_EQ(bed.net.takeWritten(), s.request);
            bed.send(s.goAhead);
            EXPECT_EQ(bed.net.encryptionRequests, 1);
            EXPECT_EQ(bed.net.takeWritten(), "");
            bed.net.serverEncrypts();
            EXPECT_EQ(bed.net.takeWritten(), s.login);
        }
    }
}

// A PREAUTH greeting leaves no room for STARTTLS (RFC 3501 §6.2.1): where the connection is
// to be encrypted, the check and the review's deletion end there, send nothing, and say why.
TEST(Encryption, PreauthWhereStartTlsIsWantedEndsTheSession)
{
    for (Encryption mode : {Encryption::StartTls, Encryption::StartTlsWhenOffered}) {
        for (bool isDeletion : {false, true}) {
            SCOPED_TRACE(std::string(mode == Encryption::StartTls ? "required" : "offered")
                         + (isDeletion ? ", deletion" : ", check"));
            SessionBed bed;
            std::unique_ptr<MailSession> session;
            if (isDeletion)
                session = std::make_unique<ImapDeletion>(std::move(bed.ownNet), account("IMAP"),
                                                         QList<MessageIdentity> {{"1:2", 1, "d"}},
                                                         60, bed.services.services);
            else
                session = std::make_unique<ImapSession>(std::move(bed.ownNet), account("IMAP"),
                                                        bed.services.settings,
                                                        bed.services.services, bed.filter);
            bed.watch(*session);
            session->setEncryption(mode);
            session->start(QStringLiteral("mail.example.com"), 143);
            bed.send("* PREAUTH IMAP4rev1 logged in as joe\r\n* 1 EXISTS\r\n");
            EXPECT_EQ(bed.finishedCount, 1);
            EXPECT_EQ(bed.result.status, SessionStatus::TlsFailed);
            EXPECT_EQ(bed.net.takeWritten() + bed.net.lostWrites, "");
            EXPECT_EQ(bed.services.notifier.popups,
                      QStringList {"Home: the server skipped the login (PREAUTH) before the "
                                   "connection was encrypted, so the session was ended and "
                                   "nothing was read over it."});
        }
    }
}
