#pragma once

#include <QByteArray>

// One examined message as the history keeps it: nine lines of "History.ini" in this order.
// Texts are the bytes of the message's header values, never line breaks.
struct HistoryRecord
{
    static constexpr const char *deletedMark = "-1"; // in AccountName

    QByteArray Sender; // the "sender" header value, else the "from" header value
    QByteArray Subject;
    QByteArray SendDate; // the raw "Date" header text
    QByteArray Size; // bytes, decimal
    QByteArray Status; // the key of a MessageStatus (verdictkeys.h)
    QByteArray Reason; // the key of a Reason (verdictkeys.h)
    QByteArray CheckedAt; // "yyyy-MM-dd HH:mm:ss"
    QByteArray AccountName; // "-1" marks a record deleted from the history
    int MailNumber = 0; // the saved copy "Mails/<MailNumber>.mal"
};
