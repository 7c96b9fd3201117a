#pragma once

#include "message/cmessages.h"
#include "session/mailboxfilter.h"
#include "store/verdictkeys.h"

#include <QByteArray>
#include <QList>

#include <functional>
#include <optional>
#include <ostream>

// Verdicts without rules: a message whose subject begins with "spam" is deleted. Records
// what the history would receive.
class FakeMailboxFilter final : public MailboxFilter
{
public:
    struct Recorded
    {
        QByteArray account;
        QByteArray subject;
        std::optional<MessageStatus> status; // nothing: a text that is no status key
        bool operator==(const Recorded &) const = default;
        friend void PrintTo(const Recorded &r, std::ostream *os)
        {
            *os << '{' << r.account.constData() << ", " << r.subject.constData() << ", "
                << (r.status ? keyText(*r.status) : "none") << '}';
        }
    };

    QList<bool> CheckAllMessages(CMessages &messages) override
    {
        ++checks;
        QList<bool> flags(messages.Count() + 1, false);
        for (int i = 1; i <= messages.Count(); ++i) {
            CMessage *message = messages.Item(i);
            const bool isSpam = message->Subject.startsWith("spam");
            message->Status = keyOf(isSpam ? MessageStatus::Deleted : MessageStatus::Kept);
            message->Reason = keyOf(isSpam ? Reason::BlockedSender : Reason::NoRule);
            flags[i] = isSpam;
            flags[0] = flags[0] || isSpam;
        }
        return flags;
    }
    // Like the real history, a failed write keeps the records in memory.
    bool Add2Hist(CMessages &messages, const QByteArray &accountName) override
    {
        for (const CMessage &message : messages)
            recorded.append({accountName, message.Subject, statusOf(message.Status)});
        if (onRecord)
            onRecord();
        return !failsToRecord;
    }
    void recordKept(const CMessage &message) override
    {
        for (auto it = recorded.rbegin(); it != recorded.rend(); ++it) {
            if (it->subject == message.Subject
                && (it->status == MessageStatus::Deleted
                    || it->status == MessageStatus::DeletionPending)) {
                it->status = MessageStatus::Kept;
                return;
            }
        }
    }

    void confirmDeleted(const CMessages &) override
    {
        for (Recorded &r : recorded) {
            if (r.status == MessageStatus::DeletionPending)
                r.status = MessageStatus::Deleted;
        }
    }
    MailboxCache *openCache(const MailAccount &account) override
    {
        return cacheFor ? cacheFor(account) : nullptr;
    }
    bool isKeptForReview(const MailAccount &account, const QByteArray &serverId) const override
    {
        return keptIds.contains(account.AccountName + '/' + serverId);
    }
    void awaitReview(const MailAccount &account, const QList<ReviewItem> &items) override
    {
        reviews.append({account.AccountName, items});
        if (onReview)
            onReview(account, items);
    }

    int checks = 0;
    QList<Recorded> recorded;
    std::function<void()> onRecord;
    bool failsToRecord = false; // Add2Hist reports that the history could not be written
    QList<QByteArray> keptIds; // "<account>/<server id>" that the user kept
    QList<std::pair<QByteArray, QList<ReviewItem>>> reviews; // every awaitReview, in order
    std::function<void(const MailAccount &, const QList<ReviewItem> &)> onReview;
    // The message cache a session is given; none (every message fetched) unless set.
    std::function<MailboxCache *(const MailAccount &)> cacheFor;
};
