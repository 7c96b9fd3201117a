#include "classify/maildate.h"
#include "support/fakes.h"

#include <QTimeZone>

#include <gtest/gtest.h>

// Found by argument-dependent lookup, so it stands in the namespace of MailDateTime.
void PrintTo(const MailDateTime &d, std::ostream *os)
{
    *os << d.year << '-' << d.month << '-' << d.day << ' ' << d.hour << ':' << d.minute << ':'
        << d.second;
}

TEST(ParseMailDate, ReadsFieldsByPositionAndShiftsSevenHours)
{
    struct Case
    {
        const char *header;
        MailDateTime expected;
    };
    const Case cases[] = {
        {"Mon, 31 Dec 2007 20:00:00 -0500", {2008, 1, 1, 3, 0, 0}},
        {"Tue, 4 Mar 2008 09:12:40 +0100", {2008, 3, 4, 16, 12, 40}},
        {"  4 Mar 2008 09:12:40", {2008, 3, 4, 16, 12, 40}}, // no weekday
        {"Thu, 28 Feb 2008 18:30:00 +0000", {2008, 2, 29, 1, 30, 0}}, // leap day
        {"Mon, 31 dec 2007 20:00:00 -0500", {2007, 0, 31, 20, 0, 0}}, // month 0: no shift
        {"Mon, 31 Dec 2007", {2007, 12, 31, 0, 0, 0}}, // partial: no time, no shift
        {"Mon, 31 Dec 2007 20:xx:00", {2007, 12, 31, 20, 0, 0}},
        {"Mon, xx Dec 2007 20:00:00", {}},
        {"", {}},
        {"garbage", {}},
        {"12", {0, 0, 12, 0, 0, 0}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.header);
        EXPECT_EQ(ParseMailDate(c.header), c.expected);
    }
}

TEST(MessageAgeInDays, CountsCalendarDaysToTodayInUtc)
{
    FakeClock clock;
    clock.current = QDateTime(QDate(2008, 1, 10), QTime(0, 30), QTimeZone::utc());
    struct Case
    {
        MailDateTime date;
        std::optional<qint16> expected;
    };
    const Case cases[] = {
        {{2008, 1, 9, 23, 59, 0}, 1}, // times of day do not count
        {{2008, 1, 10, 0, 0, 0}, 0},
        {{2007, 12, 31, 0, 0, 0}, 10},
        {{2008, 2, 1, 0, 0, 0}, -22}, // future date
        {{2007, 0, 31, 0, 0, 0}, std::nullopt}, // month not recognised
        {{0, 0, 12, 0, 0, 0}, std::nullopt}, // partial date
        {{2007, 2, 30, 0, 0, 0}, std::nullopt},
        {{1800, 1, 1, 0, 0, 0}, std::nullopt}, // beyond the 16-bit range
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.date.year * 10000 + c.date.month * 100 + c.date.day);
        EXPECT_EQ(MessageAgeInDays(c.date, clock), c.expected);
    }
}
