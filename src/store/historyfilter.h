#pragma once

#include "historyrecord.h"

#include <QByteArray>
#include <QDate>
#include <QString>

#include <functional>
#include <optional>

struct Services;

// What the history viewer's filter boxes ask for. A record is shown when it passes every
// part; a part left open filters nothing.
struct HistoryFilter
{
    // Every check day, today only, or from..to with both days included.
    enum class Period : quint8 { Any, Today, Range };
    // Every sender, those on the friend list, those on the blocked list, those on neither.
    enum class Senders : quint8 { All, Friends, Blocked, Others };

    Period period = Period::Any;
    QDate today;
    QDate from;
    QDate to;
    std::optional<QString> account; // the account name as the viewer shows it
    std::optional<QString> status; // the status caption as the viewer shows it
    Senders senders = Senders::All;
};

// The list look-ups the sender part asks, against the lists as they are now rather than as
// they were at the time of the check.
struct SenderLists
{
    std::function<bool(const QByteArray &sender)> isFriend;
    std::function<bool(const QByteArray &sender)> isBlocked;
};

// A record's status as the viewer shows it: the caption of its key. A status written
// before the language packs knew it still reads as its English text, so that the viewer's
// status box, which offers that text, finds it; any other unknown key reads "??ERROR??".
QString shownStatus(const QByteArray &status, const Services &services);

// Whether a record passes the filter. A check date that cannot be read passes any period;
// the status is compared as its caption, looked up in services.
bool matchesFilter(const HistoryRecord &record, const HistoryFilter &filter,
                   const Services &services, const SenderLists &lists);
