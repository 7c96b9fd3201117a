#pragma once

#include "classify/classifier.h"
#include "session/mailboxfilter.h"
#include "store/verdict.h"

#include <QByteArray>
#include <QHash>
#include <QList>

#include <map>
#include <memory>
#include <utility>

class KorvaneCore;
class MessageCache;

// The real verdicts and history of a fetched mailbox, and the local message cache of the
// account being checked.
class CoreMailboxFilter final : public MailboxFilter
{
public:
    explicit CoreMailboxFilter(KorvaneCore &core);
    ~CoreMailboxFilter() override;

    MailboxCache *openCache(const MailAccount &account) override;
    QList<bool> CheckAllMessages(CMessages &messages) override;
    bool Add2Hist(CMessages &messages, const QByteArray &accountName) override;
    void recordKept(const CMessage &message) override;
    void confirmDeleted(const CMessages &messages) override;
    bool isKeptForReview(const MailAccount &account, const QByteArray &serverId) const override;
    void awaitReview(const MailAccount &account, const QList<ReviewItem> &items) override;

private:
    MailboxCache *cacheOf(const CMessages &messages) const;
    QByteArray fingerprint() const;
    // The newest records awaiting review, by what the history records of a message, so that
    // a mailbox of thousands of held messages is looked up in one pass over the history.
    using RecordKey
        = std::pair<std::pair<QByteArray, QByteArray>, std::pair<QByteArray, QByteArray>>;
    QHash<RecordKey, int> awaitingMailNumbers() const;
    static RecordKey recordKeyOf(const ReviewItem &item);

    KorvaneCore &m_core;
    Classifier m_classifier;
    // The verdicts of the last CheckAllMessages and the mailbox they judged, used only to
    // recognise it, never read through.
    QList<Verdict> m_verdicts;
    const CMessages *m_verdictsFor = nullptr;
    std::unique_ptr<MailboxCache> m_cache; // of the session that opened it last
    // Each account's cache, read from the disk once and kept from one check to the next.
    std::map<QString, std::unique_ptr<MessageCache>> m_stores;
};
