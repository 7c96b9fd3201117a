#pragma once

#include "store/historyrecord.h"

#include <QByteArray>

// A complete history record of account "home" with fixed texts; a deleted one ("70043")
// carries reason "10154", a kept one "10152".
inline HistoryRecord historyRecord(const QByteArray &subject, int mailNumber,
                                   const QByteArray &status = "70044")
{
    HistoryRecord r;
    r.Sender = "Ann <ann@example.com>";
    r.Subject = subject;
    r.SendDate = "Mon, 2 Mar 2026 10:00:00 +0000";
    r.Size = "1234";
    r.Status = status;
    r.Reason = status == "70043" ? "10154" : "10152";
    r.CheckedAt = "2026-03-14 09:05:07";
    r.AccountName = "home";
    r.MailNumber = mailNumber;
    return r;
}
