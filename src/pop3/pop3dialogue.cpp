#include "pop3dialogue.h"

#include "linereader.h"
#include "pop3texts.h"

#include <QMetaEnum>

using Pop3Texts::isPositive;

Pop3Dialogue::Pop3Dialogue(DialogueClient &client, const QByteArray &userName,
                           const QByteArray &password)
    : m_client(client)
    , m_userName(userName)
    , m_password(password)
{
}

void Pop3Dialogue::restart(Encryption encryption)
{
    m_encryption = encryption;
    m_step = Step::Greeting;
    m_hasListStatus = false;
    m_knowsCapabilities = false;
    m_isPipelining = false;
}

QString Pop3Dialogue::stepName() const
{
    return QString::fromLatin1(QMetaEnum::fromType<Step>().valueToKey(int(m_step)));
}

// RFC 2449 §5: the capabilities follow CAPA's "+OK" as a multi-line text.
std::optional<QByteArray> Pop3Dialogue::take(LineReader &reader) const
{
    if (m_step == Step::CapaSent && m_hasListStatus)
        return reader.takeMultiline();
    return reader.takeLine();
}

// Greeting:   +OK -> USER, or CAPA when STARTTLS is wanted | -ERR -> GreetingRefused
// CapaSent:   +OK + list with STLS -> STLS | without, or -ERR -> ClearNotChosen when no
//             mode was chosen, else NoStartTls
// StlsSent:   +OK -> TLS handshake | -ERR -> StartTlsRefused
// Encrypting: the certificate passed -> USER (a refusal ends the session at the client)
// UserSent:   +OK -> PASS | -ERR -> LoginRefused
// PassSent:   +OK -> LoggedIn, the client's turn | -ERR -> LoginRefused
void Pop3Dialogue::onReply(const QByteArray &reply)
{
    switch (m_step) {
    case Step::Greeting:
        if (!isPositive(reply))
            return fail(DialogueFailure::GreetingRefused, reply);
        if (m_encryption == Encryption::StartTls
            || m_encryption == Encryption::StartTlsWhenOffered) {
            // RFC 2595 §4: the server names STLS among its capabilities.
            m_step = Step::CapaSent;
            m_client.send("CAPA");
            return;
        }
        return sendUser();
    case Step::CapaSent:
        if (m_hasListStatus)
            return onCapabilities(reply);
        if (!isPositive(reply)) {
            // A server without CAPA is not asked again later on this connection.
            m_knowsCapabilities = true;
            return withoutStartTls(reply);
        }
        m_hasListStatus = true;
        return;
    case Step::StlsSent:
        // A server that offered STLS and then refuses it is not taken at its word that it
        // has none: the login does not follow in clear.
        if (!isPositive(reply))
            return fail(DialogueFailure::StartTlsRefused, reply);
        m_step = Step::Encrypting;
        // Nor are the capabilities told in clear those of the encrypted session (RFC 2595 §4).
        m_knowsCapabilities = false;
        m_isPipelining = false;
        m_client.startEncryption();
        return;
    case Step::Encrypting:
        return;
    case Step::UserSent:
        if (!isPositive(reply))
            return fail(DialogueFailure::LoginRefused, reply);
        m_step = Step::PassSent;
        m_client.send("PASS " + m_password);
        return;
    case Step::PassSent:
        if (!isPositive(reply))
            return fail(DialogueFailure::LoginRefused, reply);
        m_step = Step::LoggedIn;
        m_client.dialogueDone();
        return;
    case Step::LoggedIn:
        return;
    }
}

void Pop3Dialogue::onCapabilities(const QByteArray &list)
{
    m_hasListStatus = false;
    m_knowsCapabilities = true;
    m_isPipelining = Pop3Texts::announcesPipelining(list);
    if (!Pop3Texts::announcesStls(list))
        return withoutStartTls({});
    m_step = Step::StlsSent;
    m_client.send("STLS");
}

void Pop3Dialogue::onEncrypted()
{
    if (m_step == Step::Encrypting)
        sendUser();
}

// Neither the user name nor the password leaves in clear unless the user chose "None", which
// never asks for STARTTLS. Whether it was required or only wanted tells the user what to do.
void Pop3Dialogue::withoutStartTls(const QByteArray &reply)
{
    fail(m_encryption == Encryption::StartTlsWhenOffered ? DialogueFailure::ClearNotChosen
                                                         : DialogueFailure::NoStartTls,
         reply);
}

void Pop3Dialogue::sendUser()
{
    if (!fitsOneLine(m_userName) || !fitsOneLine(m_password))
        return fail(DialogueFailure::CannotQuote);
    m_step = Step::UserSent;
    m_client.send("USER " + m_userName);
}

void Pop3Dialogue::fail(DialogueFailure failure, const QByteArray &reply)
{
    m_client.dialogueFailed(failure, reply);
}
