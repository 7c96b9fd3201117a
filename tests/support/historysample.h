#pragma once

#include "store/historyrecord.h"
#include "store/verdictkeys.h"

#include <QByteArray>

// A complete history record of account "home" with fixed texts; a deleted one carries the
// spam words reason, a kept one no rule.
inline HistoryRecord historyRecord(const QByteArray &subject, int mailNumber,
                                   MessageStatus status = MessageStatus::Kept)
{
    HistoryRecord r;
    r.Sender = "Ann <ann@example.com>";
    r.Subject = subject;
    r.SendDate = "Mon, 2 Mar 2026 10:00:00 +0000";
    r.Size = "1234";
    r.Status = keyOf(status);
    r.Reason = keyOf(status == MessageStatus::Deleted ? Reason::SpamWords : Reason::NoRule);
    r.CheckedAt = "2026-03-14 09:05:07";
    r.AccountName = "home";
    r.MailNumber = mailNumber;
    return r;
}
