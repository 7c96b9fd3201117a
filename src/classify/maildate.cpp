#include "maildate.h"

#include "platform/clock.h"

#include <QDateTime>
#include <QTimeZone>

#include <cmath>
#include <limits>

namespace {

// A short field read as a whole number: surrounding blanks, an optional sign, digits with an
// optional decimal part (rounded half to even). Nothing for anything else.
std::optional<qint16> readNumber(QByteArrayView text)
{
    text = text.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    qsizetype i = 0;
    bool negative = false;
    if (text[0] == '+' || text[0] == '-') {
        negative = text[0] == '-';
        ++i;
    }
    double value = 0;
    double scale = 0;
    bool hasDigit = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            hasDigit = true;
            if (scale == 0) {
                value = value * 10 + (c - '0');
            } else {
                value += (c - '0') * scale;
                scale /= 10;
            }
        } else if (c == '.' && scale == 0) {
            scale = 0.1;
        } else {
            return std::nullopt;
        }
    }
    if (!hasDigit)
        return std::nullopt;
    const double rounded = std::nearbyint(negative ? -value : value);
    if (rounded < std::numeric_limits<qint16>::min()
        || rounded > std::numeric_limits<qint16>::max())
        return std::nullopt;
    return qint16(rounded);
}

QByteArrayView midOf(QByteArrayView text, qsizetype from, qsizetype length)
{
    if (from < 0 || from >= text.size())
        return {};
    return text.sliced(from, qMin(length, text.size() - from));
}

qint16 monthNumber(QByteArrayView name)
{
    static constexpr const char *names[]
        = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (int i = 0; i < 12; ++i) {
        if (name == QByteArrayView(names[i]))
            return qint16(i + 1);
    }
    return 0;
}

void addSevenHours(MailDateTime &d)
{
    const QDate date(d.year, d.month, d.day);
    const QTime time(d.hour, d.minute, d.second);
    if (!date.isValid() || !time.isValid())
        return; // nothing to carry into
    const QDateTime shifted = QDateTime(date, time, QTimeZone::utc()).addSecs(7 * 3600);
    if (shifted.date().year() > std::numeric_limits<qint16>::max())
        return;
    d = {qint16(shifted.date().year()),   qint16(shifted.date().month()),
         qint16(shifted.date().day()),    qint16(shifted.time().hour()),
         qint16(shifted.time().minute()), qint16(shifted.time().second())};
}

} // namespace

MailDateTime ParseMailDate(QByteArrayView header)
{
    MailDateTime d;
    QByteArrayView text = header;
    if (const qsizetype comma = text.indexOf(','); comma >= 0)
        text = text.sliced(comma + 1);
    while (!text.isEmpty() && text.front() == ' ')
        text = text.sliced(1);
    while (!text.isEmpty() && text.back() == ' ')
        text.chop(1);

    const auto day = readNumber(midOf(text, 0, 2));
    if (!day)
        return d;
    d.day = *day;
    // The blanks before month, year and time. A missing blank leaves the field after it
    // unread instead of reading it from the start of the text (which would take the day for
    // the hour).
    const qsizetype p1 = text.indexOf(' ');
    if (p1 < 0)
        return d;
    d.month = monthNumber(midOf(text, p1 + 1, 3));
    const qsizetype p2 = text.indexOf(' ', p1 + 1);
    const auto year = p2 < 0 ? std::nullopt : readNumber(midOf(text, p2 + 1, 4));
    if (!year)
        return d;
    d.year = *year;
    const qsizetype p3 = text.indexOf(' ', p2 + 1);
    if (p3 < 0)
        return d;
    const auto hour = readNumber(midOf(text, p3 + 1, 2));
    if (!hour)
        return d;
    d.hour = *hour;
    const auto minute = readNumber(midOf(text, p3 + 4, 2));
    if (!minute)
        return d;
    d.minute = *minute;
    const auto second = readNumber(midOf(text, p3 + 7, 2));
    if (!second)
        return d;
    d.second = *second;
    addSevenHours(d);
    return d;
}

std::optional<qint16> MessageAgeInDays(const MailDateTime &date, const Clock &clock)
{
    const QDate sent(date.year, date.month, date.day);
    if (!sent.isValid() || date.year <= 0)
        return std::nullopt;
    const qint64 days = sent.daysTo(clock.utcToday());
    if (days < std::numeric_limits<qint16>::min() || days > std::numeric_limits<qint16>::max())
        return std::nullopt;
    return qint16(days);
}
