#include "extratimer.h"

#include <array>
#include <limits>

ExtraTimer::ExtraTimer(QObject *parent)
    : QObject(parent)
{
    m_tick.setInterval(1000);
    connect(&m_tick, &QTimer::timeout, this, &ExtraTimer::tick);
}

void ExtraTimer::setEnabled(bool enabled)
{
    if (enabled == m_tick.isActive())
        return;
    if (enabled) {
        m_elapsed = 0;
        m_tick.start();
    } else {
        m_tick.stop();
    }
}

namespace {

constexpr std::array<qint64, 4> secondsPerUnit {1, 60, 3600, 86400};

} // namespace

void ExtraTimer::fireNextWithin(int seconds)
{
    if (!m_tick.isActive() || m_intervalUnit < 0 || m_intervalUnit >= int(secondsPerUnit.size()))
        return;
    const qint64 period = qint64(m_interval) * secondsPerUnit[m_intervalUnit];
    const qint64 remaining = period - m_elapsed;
    if (seconds < remaining && period - seconds <= std::numeric_limits<int>::max())
        m_elapsed = int(period - seconds);
}

void ExtraTimer::tick()
{
    ++m_elapsed;
    if (m_intervalUnit < 0 || m_intervalUnit >= int(secondsPerUnit.size()))
        return;
    if (m_elapsed >= qint64(m_interval) * secondsPerUnit[m_intervalUnit]) {
        m_elapsed = 0;
        emit Timer();
    }
}
