#pragma once

#include "accountidentity.h"
#include "verdictkeys.h"

#include <QByteArray>
#include <QString>

// One message that the rules would delete and that waits on the server for the user's
// decision, because "Ask me before deleting" was on when it was checked.
struct ReviewItem
{
    QByteArray AccountName; // as the account was named when it was checked, for the texts
    // The mailbox the message is on: the item belongs to it, whatever the account is called.
    AccountIdentity accountIdentity;
    // The server's own id of the message: the POP3 UIDL, or for IMAP "<UIDVALIDITY>:<UID>".
    // Message numbers shift when other messages go; this id does not.
    QByteArray serverId;
    // What the deletion compares before it deletes: the server's size of the message when it
    // was judged (-1: not known) and identityDigest() of its headers (empty: not known). An
    // item whose identity is not known is never deleted.
    qint64 serverSize = -1;
    QByteArray headerDigest;
    int MailNumber = 0; // its history record and saved copy "Mails/<MailNumber>.mal"
    QByteArray Sender;
    QByteArray Subject;
    QByteArray SendDate; // the raw "Date" header text
    QByteArray Size; // bytes, decimal
    Reason reason = Reason::NoRule;
    QString why; // the verdict's evidence in plain words, for the review window

    bool isSameMessage(const ReviewItem &other) const
    {
        return accountIdentity == other.accountIdentity && serverId == other.serverId;
    }
};
