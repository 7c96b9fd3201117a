#include "extratimer.h"

#include <array>

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

void ExtraTimer::tick()
{
    static constexpr std::array<qint64, 4> secondsPerUnit {1, 60, 3600, 86400};
    ++m_elapsed;
    if (m_intervalUnit < 0 || m_intervalUnit >= int(secondsPerUnit.size()))
        return;
    if (m_elapsed >= qint64(m_interval) * secondsPerUnit[m_intervalUnit]) {
        m_elapsed = 0;
        emit Timer();
    }
}
