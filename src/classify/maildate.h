#pragma once

#include <QByteArrayView>
#include <QtGlobal>

#include <optional>

class Clock;

// A date and time read from a "Date" header. month is 0 when the month name was not
// recognised; fields that could not be read are 0.
struct MailDateTime
{
    qint16 year = 0;
    qint16 month = 0;
    qint16 day = 0;
    qint16 hour = 0;
    qint16 minute = 0;
    qint16 second = 0;

    friend bool operator==(const MailDateTime &, const MailDateTime &) = default;
};

// Reads "Wkd, d Mon yyyy hh:mm:ss zone" by position. The zone is not read: 7 hours are added
// to a complete date and time. Reading stops at the first field that is not a number and
// returns the fields read so far, unshifted.
MailDateTime ParseMailDate(QByteArrayView header);

// Calendar days from the date's day to today's UTC date (negative for a future date).
// Nothing when year, month and day are no valid calendar date, so an incomplete date never
// makes a message old, or when the difference leaves the 16-bit range.
std::optional<qint16> MessageAgeInDays(const MailDateTime &date, const Clock &clock);
