#pragma once

#include "engine/mailboxfilter.h"
#include "message/cmessages.h"

#include <QByteArray>
#include <QList>

#include <functional>

// Verdicts without rules: a message whose subject begins with "spam" is deleted. Records
// what the history would receive.
class FakeMailboxFilter final : public MailboxFilter
{
public:
    struct Recorded
    {
        QByteArray account;
        QByteArray subject;
        QByteArray status;
        bool operator==(const Recorded &) const = default;
    };

    QList<bool> CheckAllMessages(CMessages &messages) override
    {
        ++checks;
        QList<bool> flags(messages.Count() + 1, false);
        for (int i = 1; i <= messages.Count(); ++i) {
            CMessage *message = messages.Item(i);
            const bool isSpam = message->Subject.startsWith("spam");
            message->Status = isSpam ? "70043" : "70044";
            message->Reason = isSpam ? "10155" : "10152";
            flags[i] = isSpam;
            flags[0] = flags[0] || isSpam;
        }
        return flags;
    }
    void Add2Hist(const CMessages &messages, const QByteArray &accountName) override
    {
        for (const CMessage &message : messages)
            recorded.append({accountName, message.Subject, message.Status});
        if (onRecord)
            onRecord();
    }
    void recordKept(const CMessage &message) override
    {
        for (auto it = recorded.rbegin(); it != recorded.rend(); ++it) {
            if (it->subject == message.Subject && it->status == "70043") {
                it->status = "70044";
                return;
            }
        }
    }

    int checks = 0;
    QList<Recorded> recorded;
    std::function<void()> onRecord;
};
