#pragma once

#include "imap/imapdialogue.h"
#include "imap/imapreader.h"
#include "net/transport.h"
#include "pop3/linereader.h"
#include "pop3/pop3dialogue.h"
#include "session/mailsession.h"
#include "store/accountsecurity.h"
#include "store/records.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

struct Services;

// What a connection test found.
struct ConnectionTestResult
{
    enum class Outcome {
        LoggedIn, // the server took the user name and the password
        LoginRefused, // it refused them; serverText holds its reply
        GreetingRefused, // it refused the session before the login; serverText holds why
        ConnectFailed, // no connection: socketError and description say why
        TlsRefused, // the certificate or the handshake failed; refusal says why
        NoStartTls, // STARTTLS was required and the server does not offer it
        StartTlsRefused, // the server offered STARTTLS and then refused it
        PreauthInClear, // IMAP: a PREAUTH greeting where STARTTLS was to come
        ClearNotChosen, // no mode chosen, and the server offers no STARTTLS
        Closed, // the server hung up before the login was answered
        Unexpected, // a reply the test cannot go on from; serverText holds it
        CannotQuote, // the user name or the password holds a line break
        Timeout, // no data for the time-out
    };

    Outcome outcome = Outcome::LoggedIn;
    QString serverText; // the server's line, made safe to show
    int socketError = -1; // QAbstractSocket::SocketError of ConnectFailed
    QString description; // the connection's own words for ConnectFailed
    TlsRefusal refusal;
};

Q_DECLARE_METATYPE(ConnectionTestResult)

// Logs into one account's server with its typed values and straight out again: the login
// dialogue of its protocol (POP3 greeting, [CAPA, STLS], USER, PASS; IMAP greeting,
// [CAPABILITY, STARTTLS], LOGIN), then QUIT or LOGOUT.
// Nothing is fetched, deleted or flagged, and nothing is told in the popup or the log: the
// result goes to whoever asked. Runs on the connection's events and emits finished() exactly
// once; owners release it with deleteLater().
class ConnectionTest : public QObject, private DialogueClient
{
    Q_OBJECT

public:
    enum class State {
        LoggingIn, // the dialogue runs, from the connection to the login's answer
        LogoutSent, // QUIT / LOGOUT: logged in, waiting for the goodbye
        Ended,
    };
    Q_ENUM(State)

    // The account's ServerType must be "POP3" or "IMAP"; the connection is encrypted as the
    // security says and trusts its one certificate. The time-out counts seconds without data.
    ConnectionTest(std::unique_ptr<Transport> transport, const MailAccount &account,
                   const AccountSecurity &security, int timeOutSeconds, QObject *parent = nullptr);
    ~ConnectionTest() override;

    void start();
    // No data came for the time-out: the test ends as Timeout. The timer calls it; tests may.
    void timeOut();
    State state() const { return m_state; }

signals:
    void finished(const ConnectionTestResult &result);

private:
    bool isImap() const { return m_account.ServerType == "IMAP"; }
    void onReceived(const QByteArray &data);
    void onPop3Reply(const QByteArray &reply);
    void onImapResponse(const ImapResponse &response);
    void onEncrypted();
    void logout();
    void send(const QByteArray &command) override;
    void startEncryption() override;
    void dialogueFailed(DialogueFailure failure, const QByteArray &reply) override;
    void dialogueDone() override;
    void end(ConnectionTestResult result);
    void endWith(ConnectionTestResult::Outcome outcome, const QByteArray &serverText = {});

    std::unique_ptr<Transport> m_transport;
    const MailAccount m_account;
    const MailSession::Encryption m_encryption;
    QTimer m_idle;
    LineReader m_lines;
    ImapReader m_responses;
    Pop3Dialogue m_pop3;
    ImapDialogue m_imap;
    State m_state = State::LoggingIn;
};

// The result in plain words for the person who asked: connected and logged in, the user name
// or password refused with the server's line, no connection and why, or the certificate's
// refusal. Texts that name the account use its name, or its server while it has none.
QString connectionTestText(const Services &services, const MailAccount &account,
                           const ConnectionTestResult &result, int timeOutSeconds);
