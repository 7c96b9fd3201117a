#include "pop3session.h"

#include "net/protocollog.h"
#include "net/transport.h"
#include "platform/notifier.h"
#include "platform/showntext.h"
#include "pop3texts.h"
#include "session/mailboxcache.h"
#include "session/mailboxfilter.h"
#include "store/actionlog.h"
#include "store/appsettings.h"
#include "store/separator.h"
#include "store/services.h"
#include "store/verdictkeys.h"

#include <algorithm>

using Pop3Texts::announcesPipelining;
using Pop3Texts::isPositive;

namespace {

// Several RETRs in flight hide the round trips of small messages; more than this many
// gain nothing more, and the byte bound keeps what a stop throws away, and what waits
// unread in the buffers, to about a megabyte. The sizes are STAT's average: it is the only
// size the dialogue asks for.
constexpr int maxRetrsInFlight = 16;
constexpr qint64 bytesInFlight = 1024 * 1024;

} // namespace

Pop3Session::Pop3Session(std::unique_ptr<Transport> transport, const MailAccount &account,
                         const AppSettings &settings, Services &services, MailboxFilter &filter,
                         QObject *parent)
    : Pop3MailSession(std::move(transport), account, services, filter, parent)
    , m_settings(settings)
{
}

QString Pop3Session::sessionStep() const
{
    return stateName(m_state);
}

void Pop3Session::restart()
{
    m_messages.Clear();
    m_numbers.clear();
    m_cache = nullptr;
    m_toFetch.clear();
    m_fromCache.clear();
    m_parsed.clear();
    m_deleteFlags.clear();
    m_serverIds.clear();
    m_sizes.clear();
    m_digests.clear();
    m_toVerify.clear();
    m_verifying = 0;
    m_mistaken = 0;
    m_hasServerIds = false;
    m_isHolding = false;
    m_held.clear();
    m_hasListStatus = false;
    m_knowsCapabilities = false;
    m_isPipelining = false;
    m_retrWindow = 1;
    m_mailboxOctets = -1;
    m_messageCount = 0;
    m_currentMessage = 0;
    m_requested = 0;
    m_answered = 0;
    m_state = State::LoggingIn;
}

bool Pop3Session::handleNext(LineReader &reader)
{
    if (m_state == State::PipeCapaSent && m_hasListStatus) {
        const std::optional<QByteArray> list = reader.takeMultiline();
        if (!list)
            return false;
        logReply(*list);
        onCapabilities(*list);
        return true;
    }
    if (m_state == State::UidlSent && m_hasListStatus) {
        const std::optional<QByteArray> list = reader.takeMultiline();
        if (!list)
            return false;
        qCDebug(lcProtocol) << "S:" << list->size() << "bytes of message ids";
        onUidl(*list);
        return true;
    }
    if (m_state == State::ListSent && m_hasListStatus) {
        const std::optional<QByteArray> list = reader.takeMultiline();
        if (!list)
            return false;
        qCDebug(lcProtocol) << "S:" << list->size() << "bytes of message sizes";
        onList(*list);
        return true;
    }
    if (m_state == State::TopSent && m_hasListStatus) {
        const std::optional<QByteArray> headers = reader.takeMultiline();
        if (!headers)
            return false;
        qCDebug(lcProtocol) << "S:" << headers->size() << "bytes of headers";
        m_hasListStatus = false;
        onTop(*headers);
        return true;
    }
    if (m_state == State::Retrieving && m_hasListStatus) {
        std::optional<QByteArray> text = reader.takeMultiline();
        if (!text)
            return false;
        qCDebug(lcProtocol) << "S:" << text->size() << "bytes of message text";
        onMessageText(*std::move(text));
        return true;
    }
    const std::optional<QByteArray> reply = reader.takeLine();
    if (!reply)
        return false;
    logReply(*reply);
    onReply(*reply);
    return true;
}

// LoggingIn:  the dialogue's; logged in -> STAT | its failures end the session, next account
// StatSent:   +OK n>1 -> CAPA, unless answered on this layer; then as n=1
//                                    | +OK n=1 -> RETR 1, UIDL first in ask mode or with a cache
//                                    | +OK 0 -> "no messages", QUIT, close
//                                    | n<0 -> QUIT | -ERR -> "POP3 Error:", next account
//                                    (ProtocolError)
// PipeCapaSent: +OK + list -> PIPELINING or not | -ERR -> not; then as STAT n=1
// UidlSent:   +OK + id list -> LIST
//                                    | -ERR -> in ask mode "no message ids" (nothing held);
//                                    the cache is emptied, RETR 1
// ListSent:   +OK + size list -> RETR of the first message the cache does not hold under
//                                    its id and size | -ERR -> no sizes: every message is
//                                    fetched, RETR 1
// Retrieving: +OK + text -> the next RETR (sent before the text is parsed), or after the last
//                                    parsed: the fetched and the cached messages in order,
//                                    verdicts -> TOP n 0 of each cached message to delete,
//                                    then DELE or history + QUIT; in ask
//                                    mode no DELE: history, review queue + QUIT
//                                    | -ERR -> "POP3 Error:", next account (nothing deleted)
//             With PIPELINING up to RetrWindow() RETRs are out; their replies come in
//                                    order, and -ERR tells "POP3 Error:" and leaves only
//                                    its message unjudged and undeleted
// TopSent:    +OK + headers -> the same digest: deleted as judged | another, or -ERR: not
//                                    deleted, its cache entry dropped; next TOP, or DELE
// Deleting:   +OK -> next DELE, or history + QUIT | -ERR -> "POP3 Error:", message kept
// Quitting:   no reply awaited
// QuitSent:   +OK -> close, next account (Ok) | -ERR -> "POP3 Error:", the deletions recorded
//                                    as kept again, next account
void Pop3Session::onReply(const QByteArray &reply)
{
    switch (m_state) {
    case State::LoggingIn:
        return;
    case State::StatSent:
        if (!isPositive(reply))
            return failWithReply(SessionStatus::ProtocolError, reply);
        onStat(reply);
        return;
    case State::PipeCapaSent:
        if (!isPositive(reply)) {
            m_knowsCapabilities = true;
            return startRetrieving();
        }
        m_hasListStatus = true;
        return;
    case State::UidlSent:
        if (!isPositive(reply)) {
            // Without ids no message can be found again once numbers shift: the check goes
            // on, and deletes nothing.
            if (m_settings.AskBeforeDel)
                tellNoServerIds(m_services.caption(
                    QStringLiteral("280031"),
                    QStringLiteral("This server gives no message ids (UIDL): its messages can "
                                   "only be deleted with \"Ask me before deleting\" off.")));
            return retrieve();
        }
        m_hasListStatus = true;
        return;
    case State::ListSent:
        if (!isPositive(reply))
            return retrieve();
        m_hasListStatus = true;
        return;
    case State::TopSent:
        if (!isPositive(reply))
            return onTop(std::nullopt);
        m_hasListStatus = true;
        return;
    case State::Retrieving:
        if (!isPositive(reply)) {
            if (m_isPipelining)
                return onRetrRefused(reply);
            return failWithReply(SessionStatus::ProtocolError, reply);
        }
        m_hasListStatus = true;
        return;
    case State::Deleting:
        if (!isPositive(reply)) {
            // The server keeps the message, and so does the history.
            tellServerError(reply);
            if (CMessage *message = m_messages.Item(QString::number(m_deleting)))
                message->Status = keyOf(MessageStatus::Kept);
        }
        deleteNext();
        return;
    case State::Quitting:
        return;
    case State::QuitSent:
        if (!isPositive(reply))
            return onQuitRefused(reply);
        transport().close();
        if (!guarded([this] { confirmDeletions(m_messages); }))
            return;
        end();
        return;
    }
}

void Pop3Session::onCapabilities(const QByteArray &list)
{
    m_hasListStatus = false;
    m_knowsCapabilities = true;
    m_isPipelining = announcesPipelining(list);
    startRetrieving();
}

// What the dialogue learnt of the server's capabilities holds for the whole session.
void Pop3Session::dialogueDone()
{
    m_knowsCapabilities = dialogue().knowsCapabilities();
    m_isPipelining = dialogue().isPipelining();
    send("STAT");
    m_state = State::StatSent;
}

void Pop3Session::onStat(const QByteArray &reply)
{
    bool isNumber = false;
    const QByteArray field = Get_After_Seperator(reply, 1, ' ').trimmed();
    const int count = field.toInt(&isNumber);
    if (!isNumber)
        return failUnexpected(QStringLiteral("The STAT reply holds no message count: %1")
                                  .arg(shownServerText(reply.trimmed())),
                              reply);
    m_messageCount = count;
    bool isSize = false;
    const qint64 octets = Get_After_Seperator(reply, 2, ' ').trimmed().toLongLong(&isSize);
    m_mailboxOctets = isSize && octets >= 0 ? octets : -1;
    if (count > 1 && !m_knowsCapabilities) {
        // RFC 2449 §5: CAPA is answered in the TRANSACTION state too. A single message has
        // nothing to overlap, so its dialogue stays as short as it was.
        m_state = State::PipeCapaSent;
        send("CAPA");
    } else if (count > 0) {
        startRetrieving();
    } else if (count == 0) {
        const QString none = m_services.caption(
            QStringLiteral("10049"), QStringLiteral("There are no messages in this account."));
        m_services.notifier.ShowTrayWindow(shownText(m_account.AccountName) + QStringLiteral(" ,")
                                           + none);
        m_services.log.Log(none);
        m_state = State::Quitting;
        send("QUIT");
        transport().close();
        end();
    } else {
        m_state = State::QuitSent;
        send("QUIT");
    }
}

void Pop3Session::startRetrieving()
{
    m_retrWindow = 1;
    if (m_isPipelining) {
        m_retrWindow = maxRetrsInFlight;
        if (m_mailboxOctets > 0) {
            const qint64 average = std::max<qint64>(1, m_mailboxOctets / m_messageCount);
            m_retrWindow = int(std::clamp<qint64>(bytesInFlight / average, 1, maxRetrsInFlight));
        }
    }
    // The ids tell the messages the cache holds, and in ask mode how to find a message again.
    m_cache = m_filter.openCache(m_account);
    if (m_settings.AskBeforeDel || m_cache) {
        m_state = State::UidlSent;
        send("UIDL");
        return;
    }
    retrieve();
}

// RETRs for the messages the cache does not hold: every message without one.
void Pop3Session::retrieve()
{
    QList<bool> toFetch(m_messageCount, true);
    if (m_cache) {
        QList<QByteArray> ids;
        QList<qint64> sizes;
        ids.reserve(m_messageCount);
        sizes.reserve(m_messageCount);
        for (int n = 1; n <= m_messageCount; ++n) {
            ids << m_serverIds.value(n);
            sizes << m_sizes.value(n, -1);
        }
        toFetch = m_cache->plan({CacheIdKind::Pop3Uidl, 0}, ids, sizes, m_hasServerIds);
    }
    for (int n = 1; n <= m_messageCount; ++n) {
        if (toFetch.value(n - 1, true))
            m_toFetch << n;
        else
            m_fromCache.insert(n);
    }
    m_state = State::Retrieving;
    continueLater([this] {
        fetchNext();
        afterMessage();
    });
}

// RFC 1939 §7: one "<number> <id>" line per message.
void Pop3Session::onUidl(const QByteArray &list)
{
    m_hasListStatus = false;
    for (const QByteArray &line : list.split('\n')) {
        const QList<QByteArray> words = line.simplified().split(' ');
        bool isNumber = false;
        const int number = words.at(0).toInt(&isNumber);
        if (isNumber && words.size() >= 2)
            m_serverIds.insert(number, words.at(1));
    }
    m_hasServerIds = true;
    m_state = State::ListSent;
    send("LIST");
}

// RFC 1939 §5: one "<number> <octets>" line per message.
void Pop3Session::onList(const QByteArray &list)
{
    m_hasListStatus = false;
    for (const QByteArray &line : list.split('\n')) {
        const QList<QByteArray> words = line.simplified().split(' ');
        bool isNumber = false;
        bool isSize = false;
        const int number = words.at(0).toInt(&isNumber);
        const qint64 size = words.value(1).toLongLong(&isSize);
        if (isNumber && isSize && size >= 0)
            m_sizes.insert(number, size);
    }
    retrieve();
}

void Pop3Session::onMessageText(QByteArray text)
{
    m_hasListStatus = false;
    const int number = m_currentMessage;
    ++m_answered;
    // The next RETRs go out before this message is parsed, so that the server sends them
    // meanwhile; without PIPELINING it is still the only command in flight.
    fetchNext();
    // The text's array may become the body: a large message is not held twice. Its size is
    // message.SIZE; text may keep only the header block.
    CMessage message;
    const bool isHeaderBlock = message.parseTakingBody(text);
    m_digests.insert(number, identityDigest(text));
    if (m_cache)
        m_cache->fetched(number - 1, text, message, isHeaderBlock);
    m_parsed.insert_or_assign(number, std::move(message));
    continueLater([this] { afterMessage(); });
}

// The server keeps the message it could not send, and this check neither judges nor
// deletes it; the messages around it go on as usual.
void Pop3Session::onRetrRefused(const QByteArray &reply)
{
    tellServerError(reply);
    ++m_answered;
    fetchNext();
    continueLater([this] { afterMessage(); });
}

// Tops the RETRs in flight up to the window; the replies come in the order sent.
void Pop3Session::fetchNext()
{
    m_currentMessage = int(m_toFetch.value(m_answered));
    while (m_requested < m_toFetch.size() && m_requested - m_answered < m_retrWindow)
        send("RETR " + QByteArray::number(m_toFetch.at(m_requested++)));
}

// Runs from the event loop, so that a stop or a time-out between two messages ends the
// session before it goes on; the verdicts wait until the last message is parsed.
void Pop3Session::afterMessage()
{
    if (m_answered == m_toFetch.size())
        classifyMailbox();
}

// The mailbox in the server's order, the fetched messages and those of the cache together;
// a message the server refused to send is left out.
void Pop3Session::assembleMailbox()
{
    QList<int> indexAt;
    for (int n = 1; n <= m_messageCount; ++n) {
        CMessage message;
        if (const auto parsed = m_parsed.find(n); parsed != m_parsed.end())
            message = std::move(parsed->second);
        else if (m_fromCache.contains(n))
            message = m_cache->takeCached(n - 1);
        else
            continue;
        const bool isAdded = m_messages.Add(std::move(message), QString::number(n));
        Q_ASSERT(isAdded);
        m_numbers << n;
        indexAt << n - 1;
    }
    m_parsed.clear();
    if (m_cache)
        m_cache->setMailbox(m_messages, indexAt);
}

void Pop3Session::classifyMailbox()
{
    assembleMailbox();
    QList<bool> verdicts;
    if (!guarded([this, &verdicts] { verdicts = m_filter.CheckAllMessages(m_messages); }))
        return;
    // The verdicts go by position; a message the server refused to send has none, and the
    // messages after it keep their own numbers.
    m_deleteFlags = QList<bool>(m_messageCount + 1, false);
    m_deleteFlags[0] = verdicts.value(0);
    for (int p = 1; p <= m_numbers.size(); ++p)
        m_deleteFlags[m_numbers.at(p - 1)] = verdicts.value(p);
    m_deleting = 0;
    // Read now, not at the start: the user may have switched it while the mail came in.
    m_isHolding = m_settings.AskBeforeDel;
    if (m_isHolding) {
        if (!guarded([this] { m_held = holdForReview(m_messages, m_deleteFlags, identities()); }))
            return;
        return recordAndQuit();
    }
    if (!m_deleteFlags.at(0))
        return recordAndQuit();
    for (int n = 1; n <= m_messageCount; ++n) {
        if (m_deleteFlags.at(n) && m_fromCache.contains(n))
            m_toVerify << n;
    }
    m_verifying = -1;
    verifyNext();
}

// Ask mode: what each message was when it was judged, by number.
QHash<int, MessageIdentity> Pop3Session::identities() const
{
    QHash<int, MessageIdentity> known;
    for (const int n : m_numbers) {
        QByteArray digest = m_digests.value(n);
        if (m_fromCache.contains(n))
            digest = m_cache->identity(n - 1).headerDigest;
        known.insert(n, {m_serverIds.value(n), m_sizes.value(n, -1), digest});
    }
    return known;
}

// A message the cache gave was judged from a text fetched at an earlier check: before it is
// deleted its headers are asked for, since the server may have given its id to another one.
void Pop3Session::verifyNext()
{
    if (++m_verifying < m_toVerify.size()) {
        m_state = State::TopSent;
        send("TOP " + QByteArray::number(m_toVerify.at(m_verifying)) + " 0");
        return;
    }
    if (m_mistaken > 0)
        tellNotTheJudgedMessage();
    m_deleting = 0;
    m_state = State::Deleting;
    deleteNext();
}

// A server without TOP (an optional command) proves nothing: the message stays.
void Pop3Session::onTop(const std::optional<QByteArray> &headers)
{
    const int n = m_toVerify.at(m_verifying);
    const bool isSame
        = headers && identityDigest(*headers) == m_cache->identity(n - 1).headerDigest;
    if (!isSame) {
        m_deleteFlags[n] = false;
        if (CMessage *message = m_messages.Item(QString::number(n)))
            message->Status = keyOf(MessageStatus::Kept);
        m_cache->mistaken(n - 1);
        ++m_mistaken;
    }
    verifyNext();
}

// Ascending order, one DELE outstanding at a time.
void Pop3Session::deleteNext()
{
    for (int n = m_deleting + 1; n <= m_messageCount; ++n) {
        if (m_deleteFlags.at(n)) {
            m_deleting = n;
            send("DELE " + QByteArray::number(n));
            return;
        }
    }
    recordAndQuit();
}

// The history is written after the server has answered every DELE, so that it records what
// the server agreed to, as "Deletion pending"; the deletions only take effect with QUIT, after
// the history, and its +OK turns them to "Deleted". When
// the history cannot be written the connection closes without QUIT, so that the server
// never enters its UPDATE state and deletes nothing (RFC 1939 §6).
void Pop3Session::recordAndQuit()
{
    if (!m_isHolding)
        markDeletionsPending(m_messages);
    bool isSaved = false;
    if (!guarded(
            [this, &isSaved] { isSaved = m_filter.Add2Hist(m_messages, m_account.AccountName); }))
        return;
    if (!isSaved)
        return giveUpUnrecorded();
    // Without ids the queue keeps what it holds of the account: nothing new is known. With
    // the option off this check has decided on every message, so the account's items go.
    if ((!m_isHolding || m_hasServerIds) && !guarded([this] {
            m_filter.awaitReview(m_account, m_isHolding ? m_held : QList<ReviewItem>());
        }))
        return;
    m_state = State::QuitSent;
    send("QUIT");
}

// Nothing of the account is deleted and nothing new is put up for review: what the queue
// held stays, and no record in memory claims a deletion for the next save to write.
void Pop3Session::giveUpUnrecorded()
{
    if (!guarded([this] { recordDeletionsKept(m_messages); }))
        return;
    tellHistoryNotSaved(m_isHolding);
    if (m_isHolding) {
        // Nothing was marked for deletion: QUIT ends the session as usual.
        m_state = State::QuitSent;
        send("QUIT");
        return;
    }
    transport().close();
    end({SessionStatus::ProtocolError, step(), {}});
}

// A server that refuses QUIT never enters its UPDATE state (RFC 1939 §6): what the history
// recorded as deleted is still there.
void Pop3Session::onQuitRefused(const QByteArray &reply)
{
    transport().close();
    tellServerError(reply);
    int kept = 0;
    if (!guarded([this, &kept] { kept = recordDeletionsKept(m_messages); }))
        return;
    if (kept > 0)
        tellAboutAccount(m_services.caption(
            QStringLiteral("280072"),
            QStringLiteral(
                "%1: the server refused QUIT, so nothing was deleted on this account.")));
    end({SessionStatus::ProtocolError, step(), shownServerText(reply.trimmed())});
}
