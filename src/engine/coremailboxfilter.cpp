#include "coremailboxfilter.h"

#include "classify/verdictfingerprint.h"
#include "classify/whytext.h"
#include "korvanecore.h"
#include "message/cmessages.h"
#include "session/mailboxcache.h"
#include "store/accountidentity.h"
#include "store/historycodec.h"
#include "store/messagecache.h"
#include "store/verdictkeys.h"

#include <algorithm>

CoreMailboxFilter::CoreMailboxFilter(KorvaneCore &core)
    : m_core(core)
    , m_classifier(core.settings, core.lists, core.services, core.env.clock)
{
}

CoreMailboxFilter::~CoreMailboxFilter() = default;

MailboxCache *CoreMailboxFilter::openCache(const MailAccount &account)
{
    m_cache.reset();
    if (!m_core.isCachingMessages)
        return nullptr;
    const QString folder = MailboxCache::folderOf(m_core.env.dataDir, m_core.services, account);
    std::unique_ptr<MessageCache> &store = m_stores[folder];
    if (!store) {
        store = std::make_unique<MessageCache>(
            m_core.env.dataDir, m_core.services,
            CacheAccount {account.ServerType, account.MailServer, account.Port, account.UserName});
        store->load();
    }
    m_cache = std::make_unique<MailboxCache>(
        *store, m_core.services, account, [this] { return fingerprint(); }, m_core.history);
    return m_cache.get();
}

QList<bool> CoreMailboxFilter::CheckAllMessages(CMessages &messages)
{
    if (MailboxCache *cache = cacheOf(messages)) {
        QList<Verdict> single;
        m_verdicts = m_classifier.judgeAll(messages, cache->knownVerdicts(messages), &single);
        cache->judged(single);
    } else {
        m_verdicts = m_classifier.judgeAll(messages);
    }
    m_verdictsFor = &messages;
    return m_classifier.applyVerdicts(messages, m_verdicts);
}

bool CoreMailboxFilter::Add2Hist(CMessages &messages, const QByteArray &accountName)
{
    // The session records the mailbox it has just judged; the verdicts go with it as the
    // evidence of each new record, and only with that mailbox.
    const bool judged = &messages == m_verdictsFor && m_verdicts.size() == messages.Count();
    MailboxCache *cache = cacheOf(messages);
    // Deletions a stopped check left unconfirmed are settled by what the server holds now,
    // before the mailbox is compared with the history.
    m_core.history.settlePending(messages, accountName);
    // A message from the cache that the history records anew needs its body for the copy;
    // one that cannot be read leaves the account unrecorded, so nothing is deleted.
    if (cache && !cache->prepareForHistory(messages, m_core.history))
        return false;
    // A failed write has been reported; the records stay in memory all the same, and
    // the session deletes nothing.
    const bool isSaved
        = m_core.history.Add2Hist(messages, accountName, judged ? &m_verdicts : nullptr);
    if (cache && judged)
        cache->commit(messages, m_core.history);
    m_verdicts.clear();
    m_verdictsFor = nullptr;
    return isSaved;
}

void CoreMailboxFilter::recordKept(const CMessage &message)
{
    // As above: a failed save has been reported, the revised record stays in memory.
    (void)m_core.history.reviseToKept(message);
}

void CoreMailboxFilter::confirmDeleted(const CMessages &messages)
{
    const QByteArray pending = keyOf(MessageStatus::DeletionPending);
    QList<int> numbers;
    for (const CMessage &message : messages) {
        if (message.Status == pending)
            numbers << m_core.history.recordedMailNumber(message);
    }
    numbers.removeAll(0);
    // A failed save has been reported; the records stay in memory and the next save
    // carries them.
    if (!numbers.isEmpty())
        (void)m_core.history.setStatusByMailNumbers(numbers, MessageStatus::Deleted);
}

bool CoreMailboxFilter::isKeptForReview(const MailAccount &account,
                                        const QByteArray &serverId) const
{
    return m_core.reviewQueue.isKept(identityOf(account), serverId);
}

void CoreMailboxFilter::awaitReview(const MailAccount &account, const QList<ReviewItem> &items)
{
    // The account editor deleted the account, or gave it another mailbox, while this one
    // was being checked: what the check found belongs to no account now, and goes as the
    // editor dropped the rest of the mailbox's items.
    const AccountIdentity mailbox = identityOf(account);
    const bool isConfigured = std::any_of(
        m_core.lists.Accounts.cbegin(), m_core.lists.Accounts.cend(),
        [&](const MailAccount &a) { return !a.AccountName.isEmpty() && identityOf(a) == mailbox; });
    QList<ReviewItem> numbered = isConfigured ? items : QList<ReviewItem>();
    const QHash<RecordKey, int> mailNumbers = awaitingMailNumbers();
    for (ReviewItem &item : numbered) {
        item.MailNumber = mailNumbers.value(recordKeyOf(item));
        // The evidence was written beside the saved copy when the history recorded it.
        if (const std::optional<Verdict> verdict = m_core.history.loadEvidence(item.MailNumber))
            item.why = whyText(*verdict, m_core.services);
    }
    // A failed write has been reported; the queue stays in memory all the same.
    (void)m_core.reviewQueue.replaceAccount(account, numbered);
}

MailboxCache *CoreMailboxFilter::cacheOf(const CMessages &messages) const
{
    return m_cache && m_cache->isFor(messages) ? m_cache.get() : nullptr;
}

QByteArray CoreMailboxFilter::fingerprint() const
{
    return VerdictFingerprint(m_core.settings, m_core.lists, m_core.env.clock);
}

QHash<CoreMailboxFilter::RecordKey, int> CoreMailboxFilter::awaitingMailNumbers() const
{
    const History &history = m_core.history;
    const QByteArray awaiting = keyOf(MessageStatus::AwaitingReview);
    QHash<RecordKey, int> numbers;
    for (int i = 1; i <= history.count(); ++i) {
        const HistoryRecord &r = history.at(i);
        if (r.Status == awaiting)
            numbers.insert({{r.AccountName, r.Sender}, {r.Subject, r.SendDate}}, r.MailNumber);
    }
    return numbers;
}

CoreMailboxFilter::RecordKey CoreMailboxFilter::recordKeyOf(const ReviewItem &item)
{
    return {{historyField(item.AccountName), historyField(item.Sender)},
            {historyField(item.Subject), historyField(item.SendDate)}};
}
