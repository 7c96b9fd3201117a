#pragma once

#include "store/reviewitem.h"

#include <QByteArray>
#include <QList>

class CMessage;
class CMessages;
class MailboxCache;
struct MailAccount;

// What a session does with a fetched mailbox: the verdicts and the history.
class MailboxFilter
{
public:
    virtual ~MailboxFilter() = default;

    // The local copies of the account's messages for the session that asks, valid until the
    // next call; nullptr when every message is to be fetched. CheckAllMessages and Add2Hist
    // use it for the mailbox the session gave it (MailboxCache::setMailbox).
    virtual MailboxCache *openCache(const MailAccount &account)
    {
        (void)account;
        return nullptr;
    }

    // Element i (1 .. N) marks message i for deletion, element 0 that any is marked.
    virtual QList<bool> CheckAllMessages(CMessages &messages) = 0;
    // False when the history or a copy could not be written: the caller then deletes
    // nothing, since a deletion must never go unrecorded. A message that came from the
    // cache may get its body filled in for the saved copy.
    virtual bool Add2Hist(CMessages &messages, const QByteArray &accountName) = 0;
    // The server refused to delete a message that was recorded as deleted: the history
    // says kept again, so it never claims a deletion that did not happen.
    virtual void recordKept(const CMessage &message) = 0;
    // The server confirmed the deletions: the mailbox's messages recorded as "Deletion
    // pending" are recorded as deleted.
    virtual void confirmDeleted(const CMessages &messages) { (void)messages; }

    // Ask mode: true when the user chose to keep the message with this server id in the
    // account's mailbox, so it is recorded as kept and not proposed again.
    virtual bool isKeptForReview(const MailAccount &account, const QByteArray &serverId) const
    {
        (void)account;
        (void)serverId;
        return false;
    }
    // Ask mode, after Add2Hist: the messages of the account's mailbox that wait for the
    // user's decision, in place of those queued by its previous check. Their MailNumber is
    // 0; the history knows it.
    virtual void awaitReview(const MailAccount &account, const QList<ReviewItem> &items)
    {
        (void)account;
        (void)items;
    }
};
