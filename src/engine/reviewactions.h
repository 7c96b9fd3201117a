#pragma once

#include "store/reviewitem.h"

#include <QList>
#include <QObject>
#include <QString>

// What the review window asks of the engine. Every call returns at once; the work runs on
// the event loop and reports through the signals, so checks and windows never wait on it.
class ReviewActions : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Opens a session per account and deletes exactly these messages, found by their
    // server ids. Records turn from "Awaiting review" to "Deleted" only for what the server
    // accepted; a message that is gone or whose mailbox changed its UIDVALIDITY is reported,
    // never guessed at.
    virtual void deleteOnServer(const QList<ReviewItem> &items) = 0;
    // Keeps these on the server for good: their records become kept, and with
    // addSendersToFriends their senders join the friend list.
    virtual void keep(const QList<ReviewItem> &items, bool addSendersToFriends) = 0;

signals:
    // A deleteOnServer() call has ended; report is what the user is told (also logged).
    void deletionFinished(int deletedCount, const QString &report);
};
