#include "imapdialogue.h"

#include "imapreader.h"
#include "imaptexts.h"

#include <QMetaEnum>

#include <utility>

namespace {

bool isOk(const ImapResponse &response)
{
    return response.status() == "OK";
}

} // namespace

ImapDialogue::ImapDialogue(DialogueClient &client, UntaggedHandler untagged, const Tags &tags,
                           const QByteArray &mailboxCommand, const QByteArray &userName,
                           const QByteArray &password)
    : m_client(client)
    , m_untagged(std::move(untagged))
    , m_tags(tags)
    , m_mailboxCommand(mailboxCommand)
    , m_userName(userName)
    , m_password(password)
{
}

void ImapDialogue::restart(Encryption encryption)
{
    m_encryption = encryption;
    m_step = Step::Greeting;
    m_offersStartTls = false;
    m_uidValidity.clear();
    m_selectReply.clear();
}

QString ImapDialogue::stepName() const
{
    return QString::fromLatin1(QMetaEnum::fromType<Step>().valueToKey(int(m_step)));
}

// Untagged data is collected until the tagged reply of the command in flight decides:
// Greeting:       * OK -> LOGIN, or CAPABILITY when STARTTLS is wanted | * PREAUTH -> logged
//                 in, or PreauthInClear when STARTTLS is wanted | anything else ->
//                 GreetingRefused
// CapabilitySent: * CAPABILITY ... STARTTLS -> offered; OK -> STARTTLS when offered; not
//                 offered, or NO, BAD -> ClearNotChosen when no mode was chosen, else
//                 NoStartTls
// StartTlsSent:   OK -> TLS handshake | NO, BAD -> StartTlsRefused
// Encrypting:     the certificate passed -> LOGIN (a refusal ends the session at the client)
// LoginSent:      OK -> logged in | NO, BAD -> LoginRefused
// logged in:      SELECT / EXAMINE of the mailbox, or Ready when none is asked for
// SelectSent:     * OK [UIDVALIDITY v] -> v; OK -> Ready | NO, BAD -> SelectRefused
// Every untagged response after the greeting is handed on to the client as well.
void ImapDialogue::onResponse(const ImapResponse &response)
{
    if (m_step == Step::Greeting)
        return onGreeting(response);
    const QByteArray tag = response.tag();
    if (tag == "*") {
        if (m_step == Step::CapabilitySent)
            m_offersStartTls = m_offersStartTls || response.announces("STARTTLS");
        else if (m_step == Step::SelectSent)
            onSelectData(response);
        if (m_untagged)
            m_untagged(response);
        return;
    }
    switch (m_step) {
    case Step::Greeting:
    case Step::Encrypting:
    case Step::Ready:
        return;
    case Step::CapabilitySent:
        if (tag != m_tags.capability)
            return;
        if (isOk(response) && m_offersStartTls) {
            m_step = Step::StartTlsSent;
            m_client.send(m_tags.startTls + " STARTTLS");
            return;
        }
        return withoutStartTls(isOk(response) ? QByteArray() : response.text);
    case Step::StartTlsSent:
        if (tag != m_tags.startTls)
            return;
        // A server that offered STARTTLS and then refuses it is not taken at its word that it
        // has none: the login does not follow in clear.
        if (!isOk(response))
            return fail(DialogueFailure::StartTlsRefused, response.text);
        m_step = Step::Encrypting;
        m_client.startEncryption();
        return;
    case Step::LoginSent:
        if (tag != m_tags.login)
            return;
        if (!isOk(response))
            return fail(DialogueFailure::LoginRefused, response.text);
        return loggedIn();
    case Step::SelectSent:
        if (tag != m_tags.select)
            return;
        if (!isOk(response))
            return fail(DialogueFailure::SelectRefused, response.text);
        m_selectReply = response.text;
        m_step = Step::Ready;
        m_client.dialogueDone();
        return;
    }
}

void ImapDialogue::onGreeting(const ImapResponse &response)
{
    const bool isUntagged = response.tag() == "*";
    if (isUntagged && response.status() == "PREAUTH") {
        // RFC 3501 §6.2.1 allows no STARTTLS after PREAUTH: the session would run in clear
        // without a word, and whoever stands between could answer for the server.
        if (m_encryption == Encryption::StartTls || m_encryption == Encryption::StartTlsWhenOffered)
            return fail(DialogueFailure::PreauthInClear, response.text);
        return loggedIn();
    }
    if (!isUntagged || !isOk(response))
        return fail(DialogueFailure::GreetingRefused, response.text);
    if (m_encryption == Encryption::StartTls || m_encryption == Encryption::StartTlsWhenOffered) {
        // RFC 3501 §6.2.1: STARTTLS only where the server names it among its capabilities.
        m_step = Step::CapabilitySent;
        m_client.send(m_tags.capability + " CAPABILITY");
        return;
    }
    sendLogin();
}

// RFC 3501 §7.1: the UIDs of this mailbox hold only while its UIDVALIDITY does.
void ImapDialogue::onSelectData(const ImapResponse &response)
{
    if (!isOk(response))
        return;
    const QByteArray validity = response.numberAfter("UIDVALIDITY");
    if (!validity.isEmpty())
        m_uidValidity = validity;
}

void ImapDialogue::onEncrypted()
{
    if (m_step == Step::Encrypting)
        sendLogin();
}

// Neither the user name nor the password leaves in clear unless the user chose "None", which
// never asks for STARTTLS. Whether it was required or only wanted tells the user what to do.
void ImapDialogue::withoutStartTls(const QByteArray &reply)
{
    fail(m_encryption == Encryption::StartTlsWhenOffered ? DialogueFailure::ClearNotChosen
                                                         : DialogueFailure::NoStartTls,
         reply);
}

// RFC 3501 §6.2.3 with both strings quoted (§4.3).
void ImapDialogue::sendLogin()
{
    if (!fitsOneLine(m_userName) || !fitsOneLine(m_password))
        return fail(DialogueFailure::CannotQuote);
    m_step = Step::LoginSent;
    m_client.send(m_tags.login + " LOGIN " + ImapTexts::quoted(m_userName) + ' '
                  + ImapTexts::quoted(m_password));
}

void ImapDialogue::loggedIn()
{
    if (m_mailboxCommand.isEmpty()) {
        m_step = Step::Ready;
        m_client.dialogueDone();
        return;
    }
    m_step = Step::SelectSent;
    m_client.send(m_tags.select + ' ' + m_mailboxCommand);
}

void ImapDialogue::fail(DialogueFailure failure, const QByteArray &reply)
{
    m_client.dialogueFailed(failure, reply);
}
