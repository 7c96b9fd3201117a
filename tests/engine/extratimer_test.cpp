#include "engine/extratimer.h"

#include <gtest/gtest.h>

namespace {

int firingsAfter(ExtraTimer &timer, int ticks)
{
    int fired = 0;
    QObject::connect(&timer, &ExtraTimer::Timer, [&fired] { ++fired; });
    for (int i = 0; i < ticks; ++i)
        timer.tick();
    return fired;
}

} // namespace

TEST(ExtraTimer, FiresEveryIntervalOfItsUnit)
{
    const struct
    {
        int interval;
        int unit;
        int ticks;
        int fired;
    } cases[] = {
        {1, 0, 3, 3},   {2, 0, 5, 2},    {0, 0, 4, 4},     {1, 1, 59, 0},     {1, 1, 120, 2},
        {2, 1, 120, 1}, {1, 2, 3600, 1}, {1, 3, 86400, 1}, {1, 4, 100000, 0}, {1, -1, 10, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.interval << " x unit " << c.unit);
        ExtraTimer timer;
        timer.setInterval(c.interval);
        timer.setIntervalUnit(c.unit);
        EXPECT_EQ(firingsAfter(timer, c.ticks), c.fired);
    }
}

TEST(ExtraTimer, EnablingAStoppedTimerRestartsTheCount)
{
    ExtraTimer timer;
    timer.setInterval(10);
    timer.setEnabled(true);
    for (int i = 0; i < 7; ++i)
        timer.tick();
    timer.setEnabled(true); // already running: the count goes on
    EXPECT_EQ(timer.elapsed(), 7);
    timer.setInterval(20); // a new interval keeps the count too
    EXPECT_EQ(timer.elapsed(), 7);
    timer.setEnabled(false);
    EXPECT_FALSE(timer.Enabled());
    timer.setEnabled(true);
    EXPECT_EQ(timer.elapsed(), 0);
    EXPECT_TRUE(timer.Enabled());
}
