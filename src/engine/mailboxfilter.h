#pragma once

#include <QByteArray>
#include <QList>

class CMessage;
class CMessages;

// What a session does with a fetched mailbox: the verdicts and the history.
class MailboxFilter
{
public:
    virtual ~MailboxFilter() = default;

    // Element i (1 .. N) marks message i for deletion, element 0 that any is marked.
    virtual QList<bool> CheckAllMessages(CMessages &messages) = 0;
    virtual void Add2Hist(const CMessages &messages, const QByteArray &accountName) = 0;
    // The server refused to delete a message that was recorded as deleted: the history
    // says kept again, so it never claims a deletion that did not happen.
    virtual void recordKept(const CMessage &message) = 0;
};
