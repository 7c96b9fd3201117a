#pragma once

#include <QObject>
#include <QTimer>

// A timer that counts seconds on a one-second tick and fires every Interval units of
// seconds (0), minutes (1), hours (2) or days (3); any other unit never fires.
class ExtraTimer : public QObject
{
    Q_OBJECT

public:
    explicit ExtraTimer(QObject *parent = nullptr);

    int Interval() const { return m_interval; }
    void setInterval(int interval) { m_interval = interval; }
    int IntervalUnit() const { return m_intervalUnit; }
    void setIntervalUnit(int unit) { m_intervalUnit = unit; }
    bool Enabled() const { return m_tick.isActive(); }
    // Enabling a stopped timer starts the count from 0; enabling a running one changes nothing.
    void setEnabled(bool enabled);
    int elapsed() const { return m_elapsed; }

    // One second has passed; the real timer calls it, tests may too.
    void tick();

signals:
    void Timer();

private:
    QTimer m_tick;
    int m_interval = 1;
    int m_intervalUnit = 0;
    int m_elapsed = 0;
};
