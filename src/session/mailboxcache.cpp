#include "mailboxcache.h"

#include "message/cmessages.h"
#include "platform/showntext.h"
#include "store/actionlog.h"
#include "store/history.h"
#include "store/services.h"

#include <QDir>

namespace {

CacheAccount cacheAccountOf(const MailAccount &account)
{
    return {account.ServerType, account.MailServer, account.Port, account.UserName};
}

// The summary's fields, in their fixed order.
constexpr QByteArray CMessage::*summaryFields[] = {
    &CMessage::Sender,  &CMessage::from,     &CMessage::ReturnPath,
    &CMessage::Subject, &CMessage::SendDate,
};

} // namespace

QByteArray messageSummary(const CMessage &message)
{
    QByteArray summary = QByteArray::number(message.SIZE);
    for (QByteArray CMessage::*field : summaryFields)
        summary += ' ' + (message.*field).toPercentEncoding();
    return summary;
}

std::optional<CMessage> messageFromSummary(const QByteArray &summary)
{
    const QList<QByteArray> parts = summary.split(' ');
    if (parts.size() != qsizetype(std::size(summaryFields)) + 1)
        return std::nullopt;
    CMessage message;
    bool isNumber = false;
    message.SIZE = parts.first().toInt(&isNumber);
    if (!isNumber || message.SIZE < 0)
        return std::nullopt;
    qsizetype i = 1;
    for (QByteArray CMessage::*field : summaryFields)
        message.*field = QByteArray::fromPercentEncoding(parts.at(i++));
    return message;
}

MailboxCache::MailboxCache(const QString &dataDir, Services &services, const MailAccount &account,
                           std::function<QByteArray()> fingerprint, CacheDisk *disk)
    : m_services(services)
    , m_accountName(account.AccountName)
    , m_ownStore(std::make_unique<MessageCache>(dataDir, services, cacheAccountOf(account), disk))
    , m_store(*m_ownStore)
    , m_currentFingerprint(std::move(fingerprint))
{
    m_store.load();
}

MailboxCache::MailboxCache(MessageCache &store, Services &services, const MailAccount &account,
                           std::function<QByteArray()> fingerprint, const History &history)
    : m_services(services)
    , m_accountName(account.AccountName)
    , m_store(store)
    , m_history(&history)
    , m_currentFingerprint(std::move(fingerprint))
{
}

QString MailboxCache::folderOf(const QString &dataDir, Services &services,
                               const MailAccount &account)
{
    return MessageCache(dataDir, services, cacheAccountOf(account)).folder();
}

QList<bool> MailboxCache::plan(const CacheIdKind &kind, const QList<QByteArray> &ids,
                               const QList<qint64> &sizes, bool hasIds)
{
    const QByteArray fingerprint = m_currentFingerprint();
    m_fingerprint = fingerprint;
    m_planned = QList<Planned>(ids.size());
    m_listed.clear();
    m_isUsable = hasIds && m_store.useIds(kind);
    if (!hasIds && !m_store.dropAccount())
        reportUnwritten();
    QList<bool> toFetch(ids.size(), true);
    if (!m_isUsable)
        return toFetch;
    // An id the server gives two messages names neither for sure: both are fetched, and
    // neither is kept.
    QHash<QByteArray, int> uses;
    for (const QByteArray &id : ids)
        ++uses[id];
    // The viewer removes a saved copy with its record: a copy a record names is there.
    QSet<int> recordedCopies;
    if (m_history) {
        recordedCopies.reserve(m_history->count());
        for (int r = 1; r <= m_history->count(); ++r)
            recordedCopies.insert(m_history->at(r).MailNumber);
    }
    for (qsizetype i = 0; i < ids.size(); ++i) {
        Planned &planned = m_planned[i];
        if (uses.value(ids.at(i)) > 1)
            continue;
        planned.id = ids.at(i);
        planned.size = sizes.value(i, -1);
        if (planned.id.isEmpty())
            continue;
        m_listed << planned.id;
        const std::optional<CachedMessage> entry = m_store.find(planned.id);
        // Servers may give a gone message's id to a new one: the id alone names nothing for
        // sure. A message of another size is another message; one of the same size is
        // proved by its headers before anything deletes it.
        if (!entry || planned.size < 0 || entry->size != planned.size
            || entry->headerDigest.isEmpty())
            continue;
        planned.headerDigest = entry->headerDigest;
        if (entry->fingerprint == fingerprint && m_store.hasText(planned.id, recordedCopies)) {
            if (std::optional<CMessage> message = messageFromSummary(entry->summary)) {
                planned.source = Source::Verdict;
                planned.message = std::move(message);
                planned.verdict = entry->verdict;
                toFetch[i] = false;
                continue;
            }
        }
        // Something the verdict depends on has changed: the message is judged anew.
        if (std::optional<CMessage> message = parsedText(planned.id)) {
            planned.source = Source::Parsed;
            planned.message = std::move(message);
            toFetch[i] = false;
        }
    }
    return toFetch;
}

std::optional<CMessage> MailboxCache::parsedText(const QByteArray &id)
{
    std::optional<QByteArray> text = m_store.text(id);
    if (!text)
        return std::nullopt;
    CMessage message;
    message.parseTakingBody(*text);
    return message;
}

void MailboxCache::fetched(int index, const QByteArray &rawText, const CMessage &message,
                           bool isHeaderBlock)
{
    if (index < 0 || index >= m_planned.size())
        return;
    Planned &planned = m_planned[index];
    planned.isFetched = true;
    planned.headerDigest = identityDigest(rawText);
    ++m_fetchedCount;
    // A message that cannot be written now is simply fetched again next time.
    // Without the server's size a cached message could never be told from a later one.
    if (m_isUsable && !planned.id.isEmpty() && planned.size >= 0
        && !m_store.stage(planned.id, rawText, message.MessageBody, isHeaderBlock))
        reportUnwritten();
}

CMessage MailboxCache::takeCached(int index)
{
    Planned &planned = m_planned[index];
    ++m_cachedCount;
    return *std::exchange(planned.message, std::nullopt);
}

bool MailboxCache::isCached(int index) const
{
    if (index < 0 || index >= m_planned.size())
        return false;
    const Planned &planned = m_planned.at(index);
    return planned.source != Source::Fetch && !planned.isFetched;
}

MessageIdentity MailboxCache::identity(int index) const
{
    if (index < 0 || index >= m_planned.size())
        return {};
    const Planned &planned = m_planned.at(index);
    return {planned.id, planned.size, planned.headerDigest};
}

void MailboxCache::mistaken(int index)
{
    if (index < 0 || index >= m_planned.size())
        return;
    Planned &planned = m_planned[index];
    planned.isMistaken = true;
    m_listed.removeOne(planned.id);
}

void MailboxCache::setMailbox(const CMessages &messages, const QList<int> &indexAt)
{
    m_mailbox = &messages;
    m_indexAt = indexAt;
    m_services.log.Log(m_services
                           .caption(QStringLiteral("280390"),
                                    QStringLiteral("%1: %2 fetched, %3 "
                                                   "from the cache."))
                           .arg(shownText(m_accountName))
                           .arg(m_fetchedCount)
                           .arg(m_cachedCount));
}

QList<std::optional<Verdict>> MailboxCache::knownVerdicts(CMessages &messages)
{
    const QByteArray fingerprint = m_currentFingerprint();
    QList<std::optional<Verdict>> known(messages.Count());
    const bool holds = fingerprint == m_fingerprint;
    for (qsizetype p = 0; p < m_indexAt.size() && p < known.size(); ++p) {
        Planned &planned = m_planned[m_indexAt.at(p)];
        if (planned.source != Source::Verdict)
            continue;
        if (holds) {
            known[p] = planned.verdict;
            continue;
        }
        // The lists or the settings changed while the mail came in: as after a full fetch,
        // the message is judged under what holds now. A text that cannot be read any more
        // keeps the verdict it had.
        if (std::optional<CMessage> message = parsedText(planned.id)) {
            *messages.Item(qint32(p + 1)) = *std::move(message);
            planned.source = Source::Parsed;
        } else {
            known[p] = planned.verdict;
        }
    }
    m_fingerprint = fingerprint;
    return known;
}

bool MailboxCache::prepareForHistory(CMessages &messages, const History &history)
{
    bool isWhole = true;
    for (qsizetype p = 0; p < m_indexAt.size() && p < messages.Count(); ++p) {
        const Planned &planned = m_planned.at(m_indexAt.at(p));
        CMessage &message = *messages.Item(qint32(p + 1));
        if (planned.source != Source::Verdict || history.IsRecordExistInHist(message))
            continue;
        std::optional<CMessage> parsed = parsedText(planned.id);
        if (!parsed) {
            isWhole = false;
            continue;
        }
        parsed->Status = message.Status;
        parsed->Reason = message.Reason;
        message = *std::move(parsed);
    }
    return isWhole;
}

void MailboxCache::commit(const CMessages &messages, const History &history)
{
    if (!m_isUsable || &messages != m_mailbox)
        return;
    for (qsizetype p = 0; p < m_indexAt.size() && p < m_single.size(); ++p) {
        const Planned &planned = m_planned.at(m_indexAt.at(p));
        const CMessage &message = *messages.Item(qint32(p + 1));
        if (planned.id.isEmpty() || planned.isMistaken)
            continue;
        if (planned.isFetched && planned.size >= 0)
            (void)m_store.complete(planned.id, planned.size, m_single.at(p), m_fingerprint,
                                   messageSummary(message), history.recordedMailNumber(message));
        else if (planned.source == Source::Parsed)
            m_store.setVerdict(planned.id, m_single.at(p), m_fingerprint, messageSummary(message));
    }
    if (!m_store.update(m_listed))
        reportUnwritten();
}

void MailboxCache::reportUnwritten()
{
    // Once a session: a full disk fails every message alike.
    if (std::exchange(m_hasReported, true))
        return;
    m_services.log.Log(
        m_services.caption(QStringLiteral("280001"), QStringLiteral("Cannot write %1"))
            .arg(QDir::toNativeSeparators(m_store.indexPath())));
}
