#pragma once

#include <QDate>
#include <QDateTime>

// Local time and today's UTC date, replaceable in tests.
class Clock
{
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
    virtual QDate utcToday() const = 0;
};

class SystemClock final : public Clock
{
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    QDate utcToday() const override { return QDateTime::currentDateTimeUtc().date(); }
};
