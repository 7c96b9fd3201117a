#include "connectiontest.h"

#include "message/textformat.h"
#include "net/protocollog.h"
#include "platform/showntext.h"
#include "session/tlstexts.h"
#include "sessionfactory.h"
#include "store/services.h"

#include <QAbstractSocket>

#include <algorithm>
#include <chrono>

namespace {

// The same tags as a check's IMAP session, so that a server's log reads alike for both.
const ImapDialogue::Tags dialogueTags {"a120", "a121", "a001", {}};
constexpr char logoutTag[] = "a399";

using Outcome = ConnectionTestResult::Outcome;

} // namespace

ConnectionTest::ConnectionTest(std::unique_ptr<Transport> transport, const MailAccount &account,
                               const AccountSecurity &security, int timeOutSeconds, QObject *parent)
    : QObject(parent)
    , m_transport(std::move(transport))
    , m_account(account)
    , m_encryption(encryptionFor(account, security))
    , m_pop3(*this, account.UserName, account.Password)
    , m_imap(*this, {}, dialogueTags, {}, account.UserName, account.Password)
{
    m_transport->trustCertificate(security.trustedSha256);
    m_idle.setSingleShot(true);
    m_idle.setInterval(std::chrono::seconds(std::max(1, timeOutSeconds)));
    connect(&m_idle, &QTimer::timeout, this, &ConnectionTest::timeOut);
    connect(m_transport.get(), &Transport::received, this, &ConnectionTest::onReceived);
    connect(m_transport.get(), &Transport::encrypted, this, &ConnectionTest::onEncrypted);
    connect(m_transport.get(), &Transport::closed, this, [this] {
        if (m_state == State::Ended)
            return;
        // Some servers hang up on QUIT or LOGOUT without a word: the login had passed.
        endWith(m_state == State::LogoutSent ? Outcome::LoggedIn : Outcome::Closed);
    });
    connect(m_transport.get(), &Transport::failed, this,
            [this](int code, const QString &description) {
                if (m_state == State::Ended)
                    return;
                ConnectionTestResult result;
                result.outcome = Outcome::ConnectFailed;
                result.socketError = code;
                result.description = description;
                end(result);
            });
    connect(m_transport.get(), &Transport::refused, this, [this](const TlsRefusal &refusal) {
        if (m_state == State::Ended)
            return;
        ConnectionTestResult result;
        result.outcome = Outcome::TlsRefused;
        result.refusal = refusal;
        end(result);
    });
}

ConnectionTest::~ConnectionTest()
{
    m_transport->disconnect(this);
    m_transport->close();
}

void ConnectionTest::start()
{
    m_state = State::LoggingIn;
    m_pop3.restart(m_encryption);
    m_imap.restart(m_encryption);
    m_idle.start();
    const QString host = NormalizeServerName(shownText(m_account.MailServer));
    const auto port = quint16(m_account.Port);
    if (m_encryption == MailSession::Encryption::Implicit)
        m_transport->connectToHostEncrypted(host, port);
    else
        m_transport->connectToHost(host, port);
}

void ConnectionTest::timeOut()
{
    if (m_state != State::Ended)
        endWith(Outcome::Timeout);
}

void ConnectionTest::onReceived(const QByteArray &data)
{
    if (m_state == State::Ended)
        return;
    m_idle.start();
    if (isImap()) {
        m_responses.append(data);
        while (m_state != State::Ended) {
            const std::optional<ImapResponse> response = m_responses.take();
            if (!response)
                break;
            qCDebug(lcProtocol).noquote() << "S:" << response->text.trimmed();
            onImapResponse(*response);
        }
        if (m_responses.hasFailed() && m_state != State::Ended)
            endWith(Outcome::Unexpected);
        return;
    }
    m_lines.append(data);
    while (m_state != State::Ended) {
        const std::optional<QByteArray> reply
            = m_state == State::LoggingIn ? m_pop3.take(m_lines) : m_lines.takeLine();
        if (!reply)
            break;
        qCDebug(lcProtocol).noquote() << "S:" << reply->trimmed();
        onPop3Reply(*reply);
    }
    if (m_lines.hasFailed() && m_state != State::Ended)
        endWith(Outcome::Unexpected);
}

// LoggingIn:  the dialogue's; logged in -> QUIT / LOGOUT | its failures end the test
// LogoutSent: POP3: any reply, or the server hangs up -> LoggedIn
//             IMAP: a399, or the server hangs up -> LoggedIn
void ConnectionTest::onPop3Reply(const QByteArray &reply)
{
    if (m_state == State::LoggingIn)
        return m_pop3.onReply(reply);
    if (m_state == State::LogoutSent)
        endWith(Outcome::LoggedIn);
}

void ConnectionTest::onImapResponse(const ImapResponse &response)
{
    if (m_state == State::LoggingIn)
        return m_imap.onResponse(response);
    if (m_state == State::LogoutSent && response.tag() == logoutTag)
        endWith(Outcome::LoggedIn);
}

void ConnectionTest::onEncrypted()
{
    if (m_state != State::LoggingIn)
        return;
    if (isImap())
        m_imap.onEncrypted();
    else
        m_pop3.onEncrypted();
}

void ConnectionTest::startEncryption()
{
    // What the server sent before the handshake is not part of the encrypted session.
    m_lines.clear();
    m_responses.clear();
    m_transport->startEncryption();
}

void ConnectionTest::dialogueFailed(DialogueFailure failure, const QByteArray &reply)
{
    switch (failure) {
    case DialogueFailure::GreetingRefused:
        return endWith(Outcome::GreetingRefused, reply);
    case DialogueFailure::NoStartTls:
        return endWith(Outcome::NoStartTls);
    case DialogueFailure::StartTlsRefused:
        return endWith(Outcome::StartTlsRefused, reply);
    case DialogueFailure::PreauthInClear:
        return endWith(Outcome::PreauthInClear);
    case DialogueFailure::ClearNotChosen:
        return endWith(Outcome::ClearNotChosen);
    case DialogueFailure::CannotQuote:
        return endWith(Outcome::CannotQuote);
    case DialogueFailure::LoginRefused:
        return endWith(Outcome::LoginRefused, reply);
    case DialogueFailure::SelectRefused:
        return endWith(Outcome::Unexpected, reply);
    }
}

void ConnectionTest::dialogueDone()
{
    logout();
}

// RFC 1939 §6: QUIT before any DELE removes nothing; RFC 3501 §6.1.3: LOGOUT removes nothing.
void ConnectionTest::logout()
{
    m_state = State::LogoutSent;
    send(isImap() ? QByteArray(logoutTag) + " LOGOUT" : QByteArray("QUIT"));
}

void ConnectionTest::send(const QByteArray &command)
{
    qCDebug(lcProtocol).noquote() << "C:" << maskedCommand(command);
    m_transport->write(command + "\r\n");
}

void ConnectionTest::end(ConnectionTestResult result)
{
    m_state = State::Ended;
    m_idle.stop();
    m_transport->close();
    emit finished(result);
}

void ConnectionTest::endWith(Outcome outcome, const QByteArray &serverText)
{
    ConnectionTestResult result;
    result.outcome = outcome;
    result.serverText = shownServerText(serverText.trimmed());
    end(result);
}

QString connectionTestText(const Services &services, const MailAccount &account,
                           const ConnectionTestResult &result, int timeOutSeconds)
{
    const QString server = NormalizeServerName(shownText(account.MailServer));
    const QString port = QString::number(quint16(account.Port));
    // The TLS texts name the account; one being added may have no name yet.
    const QString name = account.AccountName.isEmpty() ? server : shownText(account.AccountName);
    switch (result.outcome) {
    case Outcome::LoggedIn:
        return services
            .caption(QStringLiteral("280260"),
                     QStringLiteral("Connected to %1 and logged in: the server accepted the user "
                                    "name and the password. No message was fetched or changed."))
            .arg(server);
    case Outcome::LoginRefused:
        return services
            .caption(QStringLiteral("280261"),
                     QStringLiteral("Connected to %1, but the server refused the user name or "
                                    "the password: %2"))
            .arg(server, result.serverText);
    case Outcome::GreetingRefused:
        return services
            .caption(QStringLiteral("280262"),
                     QStringLiteral("%1 refused the session before the login: %2"))
            .arg(server, result.serverText);
    case Outcome::ConnectFailed:
        if (result.socketError == QAbstractSocket::ConnectionRefusedError)
            return services
                .caption(QStringLiteral("280263"),
                         QStringLiteral("Could not connect to %1 on port %2: the connection was "
                                        "refused. Check the server name and the port."))
                .arg(server, port);
        if (result.socketError == QAbstractSocket::HostNotFoundError)
            return services
                .caption(QStringLiteral("280264"),
                         QStringLiteral("Could not connect: the host %1 was not found. Check the "
                                        "server name."))
                .arg(server);
        return services
            .caption(QStringLiteral("280265"),
                     QStringLiteral("Could not connect to %1 on port %2: %3"))
            .arg(server, port, result.description);
    case Outcome::Timeout:
        return services
            .caption(QStringLiteral("280266"),
                     QStringLiteral("Could not connect to %1 on port %2: no answer within %3 "
                                    "seconds."))
            .arg(server, port, QString::number(timeOutSeconds));
    case Outcome::TlsRefused:
        return TlsTexts::refusalText(services, name, server, result.refusal);
    case Outcome::NoStartTls:
        return services
            .caption(QStringLiteral("280130"),
                     QStringLiteral("%1: the server does not offer STARTTLS, so neither the user "
                                    "name nor the password was sent."))
            .arg(name);
    case Outcome::StartTlsRefused:
        return services
            .caption(QStringLiteral("280135"),
                     QStringLiteral("%1: the server offered STARTTLS but then refused it, so "
                                    "neither the user name nor the password was sent."))
            .arg(name);
    case Outcome::PreauthInClear:
        return services
            .caption(QStringLiteral("280131"),
                     QStringLiteral("%1: the server skipped the login (PREAUTH) before the "
                                    "connection was encrypted, so the session was ended and "
                                    "nothing was read over it."))
            .arg(name);
    case Outcome::ClearNotChosen:
        return MailSession::clearNotChosenText(services, name);
    case Outcome::Closed:
        return services
            .caption(QStringLiteral("280267"),
                     QStringLiteral("%1 closed the connection before the login was answered."))
            .arg(server);
    case Outcome::Unexpected:
        return services
            .caption(QStringLiteral("280268"),
                     QStringLiteral("%1 gave a reply that the test cannot go on from: %2"))
            .arg(server, result.serverText);
    case Outcome::CannotQuote:
        return services.caption(QStringLiteral("280269"),
                                QStringLiteral("The user name or the password holds a line "
                                               "break, so neither was sent."));
    }
    return {};
}
