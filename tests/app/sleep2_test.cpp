#include "board/sleep2.h"

#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/resource.h>

static double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

TEST(Sleep2, WaitsAtLeastTheTimeWhileEventsRunAndWithoutSpinning)
{
    int ticks = 0;
    QTimer t;
    QObject::connect(&t, &QTimer::timeout, [&] { ++ticks; });
    t.start(10);
    QElapsedTimer clock;
    clock.start();
    const double cpu0 = cpuSeconds();
    EXPECT_TRUE(Sleep2(300));
    EXPECT_GE(clock.elapsed(), 300);
    EXPECT_GE(ticks, 5);
    EXPECT_LT(cpuSeconds() - cpu0, 0.15); // a busy loop would burn the whole 0.3 s
}

TEST(Sleep2, ZeroOrNegativeReturnsAtOnceAndAbortEndsAWait)
{
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(Sleep2(0));
    EXPECT_TRUE(Sleep2(-5));
    EXPECT_LT(clock.elapsed(), 50);

    SleepGate gate;
    QTimer::singleShot(50, &gate, [&] { gate.abort(); });
    clock.restart();
    EXPECT_FALSE(Sleep2(5000, &gate));
    EXPECT_LT(clock.elapsed(), 4000);
    EXPECT_FALSE(Sleep2(10, &gate)); // stays aborted
}
