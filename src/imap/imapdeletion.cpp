#include "imapdeletion.h"

#include "imaptexts.h"
#include "net/transport.h"
#include "store/services.h"

#include <algorithm>

namespace {

// The deletion's own tags, apart from those of the check.
const ImapDialogue::Tags dialogueTags {"d010", "d011", "d001", "d002"};
constexpr char capabilityTag[] = "d003";
constexpr char searchTag[] = "d004"; // the fetch of the wanted UIDs' identities
constexpr char storeTag[] = "d005";
constexpr char uidExpungeTag[] = "d006";
constexpr char deletedSearchTag[] = "d007";
constexpr char expungeTag[] = "d008";
constexpr char logoutTag[] = "d009";

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

} // namespace

ImapDeletion::ImapDeletion(std::unique_ptr<Transport> transport, const MailAccount &account,
                           const QList<MessageIdentity> &wanted, int timeOutSeconds,
                           Services &services, QObject *parent)
    : ImapMailSession(dialogueTags, std::move(transport), account, wanted, timeOutSeconds, services,
                      parent)
{
}

QString ImapDeletion::sessionStep() const
{
    return stateName(m_state);
}

// The capabilities asked for before the login have always had a step name of their own here,
// apart from the CAPABILITY after the SELECT.
QString ImapDeletion::dialogueStep() const
{
    if (dialogue().step() == ImapDialogue::Step::CapabilitySent)
        return QStringLiteral("LoginCapabilitySent");
    return dialogue().stepName();
}

void ImapDeletion::restart()
{
    m_state = State::LoggingIn;
    m_validity.clear();
    m_hasUidPlus = false;
    m_uids.clear();
    m_found.clear();
    m_present.clear();
    m_flagged.clear();
    m_idOf.clear();
}

// Untagged data is collected until the tagged reply of the command in flight decides:
// LoggingIn:         the dialogue's, up to "d002 SELECT INBOX" | its failures end the
//                    session; the SELECT's UIDVALIDITY v is the dialogue's
// selected:          no UIDVALIDITY -> every id NoUidValidity; ids of another validity are
//                    UidValidityChanged; CAPABILITY, or LOGOUT
//                    when none is left
// CapabilitySent:    * CAPABILITY ... -> UIDPLUS?; d003 -> UID FETCH <wanted> (UID
//                    RFC822.SIZE BODY.PEEK[HEADER.FIELDS (...)])
// FetchSent:         * n FETCH (UID u ...) -> u is there, proved the same or NotTheSame; the
//                    wanted UIDs not told are Gone; d004 OK -> UID STORE of the proved, or
//                    LOGOUT when none was | NO, BAD -> end (ProtocolError)
// StoreSent:         d005 OK -> UID EXPUNGE (UIDPLUS) or UID SEARCH DELETED
//                    | NO, BAD -> found ones Refused, LOGOUT
// UidExpungeSent:    d006 OK -> found ones Deleted, LOGOUT | NO, BAD -> ExpungeRefused
// DeletedSearchSent: * SEARCH ... -> flagged; d007 OK and flagged are exactly ours -> EXPUNGE
//                    | else -> FlaggedNotExpunged, LOGOUT
// ExpungeSent:       d008 OK -> found ones Deleted, LOGOUT | NO, BAD -> ExpungeRefused
// Any untagged CAPABILITY, the dialogue's included, tells whether the server has UIDPLUS.
// LOGOUT is sent without awaiting its reply: nothing is left to learn from it.
void ImapDeletion::onResponse(const ImapResponse &response)
{
    const QByteArray tag = response.tag();
    const bool isUntagged = tag == "*";
    if (isUntagged)
        onUntagged(response);
    switch (m_state) {
    case State::LoggingIn:
    case State::SelectSent:
        return;
    case State::CapabilitySent:
        if (tag != capabilityTag)
            return;
        // Without an answer the server is taken to lack UIDPLUS: the careful way.
        m_state = State::FetchSent;
        send(QByteArray(searchTag) + " UID FETCH " + ImapTexts::uidSet(m_uids)
             + " (UID RFC822.SIZE BODY.PEEK[HEADER.FIELDS (" + identityHeaderNames.toByteArray()
             + ")])");
        return;
    case State::FetchSent:
        if (isUntagged)
            return onIdentity(response);
        if (tag == searchTag)
            afterIdentities(response);
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
            send(QByteArray(uidExpungeTag) + " UID EXPUNGE " + ImapTexts::uidSet(m_found));
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
            setFoundOutcome(DeletionOutcome::ExpungeRefused);
        }
        return logout();
    case State::DeletedSearchSent:
        if (isUntagged) {
            if (response.status() == "SEARCH")
                m_flagged << ImapTexts::searchNumbers(response);
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

void ImapDeletion::onUntagged(const ImapResponse &response)
{
    if (response.status() == "CAPABILITY")
        m_hasUidPlus = response.announces("UIDPLUS");
}

// RFC 3501 §2.3.1.1: UIDs are only meaningful together with the mailbox's UIDVALIDITY; a
// different one means the UIDs may name other messages now.
void ImapDeletion::dialogueDone()
{
    bool isNumber = false;
    const quint32 validity = dialogue().uidValidity().toUInt(&isNumber);
    if (isNumber && validity > 0)
        m_validity = QByteArray::number(validity);
    m_state = State::SelectSent;
    afterSelect();
}

void ImapDeletion::afterSelect()
{
    if (m_validity.isEmpty()) {
        for (const QByteArray &id : wanted())
            setOutcome(id, DeletionOutcome::NoUidValidity);
        return logout();
    }
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

// RFC 3501 §6.4.8: a UID FETCH leaves out the UIDs that are not there. Only what we asked
// for counts: a server that answers more is not followed there. A server may answer an
// empty header selection with "" rather than a literal.
void ImapDeletion::onIdentity(const ImapResponse &response)
{
    if (response.word(2).toUpper() != "FETCH")
        return;
    bool isUid = false;
    const quint32 uid = response.numberAfter("UID").toUInt(&isUid);
    if (!isUid || !m_uids.contains(uid) || m_present.contains(uid))
        return;
    m_present << uid;
    bool isSize = false;
    const qint64 size = response.numberAfter("RFC822.SIZE").toLongLong(&isSize);
    const QByteArray headers
        = response.literals.isEmpty() ? QByteArray() : response.literals.constFirst().bytes;
    const QByteArray id = m_idOf.value(uid);
    const bool hasHeaders = response.text.toUpper().contains("HEADER.FIELDS");
    const MessageIdentity now {id, isSize ? size : -1,
                               hasHeaders ? identityDigest(headers) : QByteArray()};
    if (identityOf(id).matches(now))
        m_found << uid;
    else
        setOutcome(id, DeletionOutcome::NotTheSame);
}

void ImapDeletion::afterIdentities(const ImapResponse &reply)
{
    if (!isOk(reply))
        return failWithReply(SessionStatus::ProtocolError, reply.text);
    for (quint32 uid : std::as_const(m_uids)) {
        if (!m_present.contains(uid))
            setOutcome(m_idOf.value(uid), DeletionOutcome::Gone);
    }
    std::sort(m_found.begin(), m_found.end());
    if (m_found.isEmpty())
        return logout();
    m_state = State::StoreSent;
    send(QByteArray(storeTag) + " UID STORE " + ImapTexts::uidSet(m_found)
         + " +FLAGS.SILENT (\\Deleted)");
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
