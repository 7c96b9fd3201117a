#include "imapdeletion.h"

#include "protocoltexts.h"
#include "store/services.h"
#include "transport.h"

#include <algorithm>

namespace {

// The deletion's own tags, apart from those of the check.
constexpr char loginTag[] = "d001";
constexpr char selectTag[] = "d002";
constexpr char capabilityTag[] = "d003";
constexpr char searchTag[] = "d004";
constexpr char storeTag[] = "d005";
constexpr char uidExpungeTag[] = "d006";
constexpr char deletedSearchTag[] = "d007";
constexpr char expungeTag[] = "d008";
constexpr char logoutTag[] = "d009";
constexpr char loginCapabilityTag[] = "d010";
constexpr char startTlsTag[] = "d011";

using ImapTexts::canBeQuoted;
using ImapTexts::quoted;

bool isOk(const ImapResponse &response)
{
    return response.status() == "OK";
}

// "<validity>:<uid>"; nullopt when either part is not a positive number.
std::optional<std::pair<QByteArray, quint32>> splitServerId(const QByteArray &serverId)
{
    const qsizetype colon = serverId.indexOf(':');
    if (colon < 1)
        return std::nullopt;
    bool isValidity = false;
    bool isUid = false;
    const quint32 validity = serverId.left(colon).toUInt(&isValidity);
    const quint32 uid = serverId.mid(colon + 1).toUInt(&isUid);
    if (!isValidity || !isUid || validity == 0 || uid == 0)
        return std::nullopt;
    return std::pair {QByteArray::number(validity), uid};
}

// RFC 3501 §9 sequence-set of ascending UIDs, runs written as "first:last" to keep the
// command line short.
QByteArray uidSet(const QList<quint32> &uids)
{
    QByteArrayList parts;
    for (qsizetype i = 0; i < uids.size();) {
        qsizetype last = i;
        while (last + 1 < uids.size() && uids.at(last + 1) == uids.at(last) + 1)
            ++last;
        parts << QByteArray::number(uids.at(i))
                + (last > i ? ':' + QByteArray::number(uids.at(last)) : QByteArray());
        i = last + 1;
    }
    return parts.join(',');
}

// The numbers of a "* SEARCH n n n" response.
QList<quint32> searchNumbers(const ImapResponse &response)
{
    QList<quint32> numbers;
    const QList<QByteArray> words = response.text.simplified().split(' ');
    for (qsizetype i = 2; i < words.size(); ++i) {
        bool isNumber = false;
        const quint32 n = words.at(i).toUInt(&isNumber);
        if (isNumber)
            numbers << n;
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

} // namespace

ImapDeletion::ImapDeletion(std::unique_ptr<Transport> transport, const MailAccount &account,
                           const QList<QByteArray> &serverIds, int timeOutSeconds,
                           Services &services, QObject *parent)
    : DeletionSession(std::move(transport), account, serverIds, timeOutSeconds, services, parent)
{
}

QString ImapDeletion::step() const
{
    return stateName(m_state);
}

void ImapDeletion::reset()
{
    m_reader.clear();
    m_state = State::Greeting;
    m_validity.clear();
    m_hasUidPlus = false;
    m_offersStartTls = false;
    m_uids.clear();
    m_found.clear();
    m_flagged.clear();
    m_idOf.clear();
}

void ImapDeletion::buffer(const QByteArray &data)
{
    m_reader.append(data);
}

QString ImapDeletion::serverErrorCaption() const
{
    return ImapTexts::serverErrorCaption(m_services);
}

std::pair<QString, QString> ImapDeletion::connectionErrorCaptions() const
{
    return ImapTexts::connectionErrorCaptions(m_services);
}

void ImapDeletion::processBuffered()
{
    while (!hasEnded() && !isWaiting()) {
        const std::optional<ImapResponse> response = m_reader.take();
        if (!response) {
            if (m_reader.hasFailed())
                failFraming(m_reader.failure(), m_reader.limits());
            return;
        }
        logReply(response->text);
        onResponse(*response);
    }
}

// Untagged data is collected until the tagged reply of the command in flight decides:
// Greeting:          * OK -> LOGIN, or d010 CAPABILITY when STARTTLS is wanted | * PREAUTH
//                    -> SELECT | else -> end (ConnectFailed)
// LoginCapabilitySent: * CAPABILITY ... STARTTLS -> offered; d010 OK -> STARTTLS when
//                    offered; not offered, or NO, BAD -> LOGIN in clear when only offered
//                    STARTTLS is wanted, else end (TlsFailed)
// StartTlsSent:      d011 OK -> TLS handshake | NO, BAD -> as not offered
// Encrypting:        the certificate passed -> LOGIN | refused -> end (TlsFailed)
// LoginSent:         d001 OK -> SELECT | NO, BAD -> end (AuthRejected)
// SelectSent:        * OK [UIDVALIDITY v] -> v; d002 OK -> ids of another validity are
//                    UidValidityChanged; CAPABILITY, or LOGOUT when none is left
//                    | NO, BAD -> end (ProtocolError)
// CapabilitySent:    * CAPABILITY ... -> UIDPLUS?; d003 -> UID SEARCH UID <wanted>
// SearchSent:        * SEARCH ... -> found, the others Gone; d004 OK -> UID STORE, or LOGOUT
//                    when none was found | NO, BAD -> end (ProtocolError)
// StoreSent:         d005 OK -> UID EXPUNGE (UIDPLUS) or UID SEARCH DELETED
//                    | NO, BAD -> found ones Refused, LOGOUT
// UidExpungeSent:    d006 OK -> found ones Deleted, LOGOUT | NO, BAD -> FlaggedNotExpunged
// DeletedSearchSent: * SEARCH ... -> flagged; d007 OK and flagged are exactly ours -> EXPUNGE
//                    | else -> FlaggedNotExpunged, LOGOUT
// ExpungeSent:       d008 OK -> found ones Deleted, LOGOUT | NO, BAD -> FlaggedNotExpunged
// LOGOUT is sent without awaiting its reply: nothing is left to learn from it.
void ImapDeletion::onResponse(const ImapResponse &response)
{
    const QByteArray tag = response.tag();
    const bool isUntagged = tag == "*";
    if (isUntagged && response.status() == "CAPABILITY")
        m_hasUidPlus = response.announces("UIDPLUS");
    switch (m_state) {
    case State::Greeting:
        if (!isUntagged)
            return failWithReply(SessionStatus::ConnectFailed, response.text);
        if (response.status() == "PREAUTH") {
            m_state = State::SelectSent;
            send(QByteArray(selectTag) + " SELECT INBOX");
            return;
        }
        if (!isOk(response))
            return failWithReply(SessionStatus::ConnectFailed, response.text);
        if (wantsStartTls()) {
            // RFC 3501 §6.2.1: STARTTLS only where the server names it among its capabilities.
            m_state = State::LoginCapabilitySent;
            send(QByteArray(loginCapabilityTag) + " CAPABILITY");
            return;
        }
        return sendLogin();
    case State::LoginCapabilitySent:
        if (isUntagged) {
            m_offersStartTls = m_offersStartTls || response.announces("STARTTLS");
            return;
        }
        if (tag != loginCapabilityTag)
            return;
        if (isOk(response) && m_offersStartTls) {
            m_state = State::StartTlsSent;
            send(QByteArray(startTlsTag) + " STARTTLS");
            return;
        }
        if (goesOnWithoutStartTls(isOk(response) ? QByteArray() : response.text))
            sendLogin();
        return;
    case State::StartTlsSent:
        if (tag != startTlsTag)
            return;
        if (!isOk(response)) {
            if (goesOnWithoutStartTls(response.text))
                sendLogin();
            return;
        }
        m_state = State::Encrypting;
        // What the server sent before the handshake is not part of the encrypted session.
        m_reader.clear();
        transport().startEncryption();
        return;
    case State::Encrypting:
        return;
    case State::LoginSent:
        if (tag != loginTag)
            return;
        if (!isOk(response))
            return failWithReply(SessionStatus::AuthRejected, response.text);
        m_state = State::SelectSent;
        send(QByteArray(selectTag) + " SELECT INBOX");
        return;
    case State::SelectSent:
        if (isUntagged) {
            bool isNumber = false;
            const quint32 validity = response.numberAfter("UIDVALIDITY").toUInt(&isNumber);
            if (isNumber && validity > 0)
                m_validity = QByteArray::number(validity);
            return;
        }
        if (tag != selectTag)
            return;
        if (!isOk(response))
            return failWithReply(SessionStatus::ProtocolError, response.text);
        afterSelect();
        return;
    case State::CapabilitySent:
        if (tag != capabilityTag)
            return;
        // Without an answer the server is taken to lack UIDPLUS: the careful way.
        m_state = State::SearchSent;
        send(QByteArray(searchTag) + " UID SEARCH UID " + uidSet(m_uids));
        return;
    case State::SearchSent:
        if (isUntagged) {
            // Only what we asked for: a server that answers more is not followed there.
            if (response.status() == "SEARCH") {
                for (quint32 uid : searchNumbers(response)) {
                    if (m_uids.contains(uid) && !m_found.contains(uid))
                        m_found << uid;
                }
                std::sort(m_found.begin(), m_found.end());
            }
            return;
        }
        if (tag != searchTag)
            return;
        if (!isOk(response))
            return failWithReply(SessionStatus::ProtocolError, response.text);
        for (quint32 uid : std::as_const(m_uids)) {
            if (!m_found.contains(uid))
                setOutcome(m_idOf.value(uid), DeletionOutcome::Gone);
        }
        if (m_found.isEmpty())
            return logout();
        m_state = State::StoreSent;
        send(QByteArray(storeTag) + " UID STORE " + uidSet(m_found) + " +FLAGS.SILENT (\\Deleted)");
        return;
    case State::StoreSent:
        if (tag != storeTag)
            return;
        if (!isOk(response)) {
            tellServerError(response.text);
            setFoundOutcome(DeletionOutcome::Refused);
            return logout();
        }
        if (m_hasUidPlus) {
            m_state = State::UidExpungeSent;
            send(QByteArray(uidExpungeTag) + " UID EXPUNGE " + uidSet(m_found));
        } else {
            m_state = State::DeletedSearchSent;
            send(QByteArray(deletedSearchTag) + " UID SEARCH DELETED");
        }
        return;
    case State::UidExpungeSent:
    case State::ExpungeSent:
        if (tag != (m_state == State::ExpungeSent ? expungeTag : uidExpungeTag))
            return;
        if (isOk(response)) {
            setFoundOutcome(DeletionOutcome::Deleted);
        } else {
            tellServerError(response.text);
            setFoundOutcome(DeletionOutcome::FlaggedNotExpunged);
        }
        return logout();
    case State::DeletedSearchSent:
        if (isUntagged) {
            if (response.status() == "SEARCH")
                m_flagged << searchNumbers(response);
            return;
        }
        if (tag != deletedSearchTag)
            return;
        std::sort(m_flagged.begin(), m_flagged.end());
        // A plain EXPUNGE removes every flagged message: only when they are all ours.
        if (!isOk(response) || m_flagged != m_found) {
            setFoundOutcome(DeletionOutcome::FlaggedNotExpunged);
            return logout();
        }
        m_state = State::ExpungeSent;
        send(QByteArray(expungeTag) + " EXPUNGE");
        return;
    }
}

// RFC 3501 §2.3.1.1: UIDs are only meaningful together with the mailbox's UIDVALIDITY; a
// different one means the UIDs may name other messages now.
void ImapDeletion::onEncrypted()
{
    if (m_state == State::Encrypting)
        sendLogin();
}

void ImapDeletion::sendLogin()
{
    // A line break in a quoted string would end the command and start another one.
    if (!canBeQuoted(m_account.UserName) || !canBeQuoted(m_account.Password))
        return failUnexpected(QStringLiteral("The user name or the password holds a line break"));
    m_state = State::LoginSent;
    send(QByteArray(loginTag) + " LOGIN " + quoted(m_account.UserName) + ' '
         + quoted(m_account.Password));
}

void ImapDeletion::afterSelect()
{
    for (const QByteArray &id : wanted()) {
        const auto parts = splitServerId(id);
        if (parts && !m_validity.isEmpty() && parts->first == m_validity) {
            if (!m_uids.contains(parts->second))
                m_uids << parts->second;
            m_idOf.insert(parts->second, id);
        } else {
            setOutcome(id, DeletionOutcome::UidValidityChanged);
        }
    }
    std::sort(m_uids.begin(), m_uids.end());
    if (m_uids.isEmpty())
        return logout();
    m_state = State::CapabilitySent;
    send(QByteArray(capabilityTag) + " CAPABILITY");
}

void ImapDeletion::setFoundOutcome(DeletionOutcome outcome)
{
    for (quint32 uid : std::as_const(m_found))
        setOutcome(m_idOf.value(uid), outcome);
}

void ImapDeletion::logout()
{
    send(QByteArray(logoutTag) + " LOGOUT");
    transport().close();
    end();
}
