// The pause component: waits its interval while events go on.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <QElapsedTimer>
#include <QTimer>

#include "net/TSleeper.h"

namespace {
double ThreadCpuSeconds() {
  rusage use{};
  getrusage(RUSAGE_THREAD, &use);
  return use.ru_utime.tv_sec + use.ru_stime.tv_sec +
         (use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
}
}  // namespace

TEST(Sleeper, SleepForKeepsItsIntervalAndEventsRunMeanwhile) {
  TSleeper sleeper;
  EXPECT_EQ(sleeper.Interval(), 1000);
  sleeper.SetInterval(50);
  EXPECT_EQ(sleeper.Interval(), 50);

  int ticks = 0;
  QTimer other;
  QObject::connect(&other, &QTimer::timeout, [&ticks] { ++ticks; });
  other.start(10);
  QElapsedTimer clock;
  clock.start();
  sleeper.SleepFor(350);
  const qint64 first = clock.restart();
  sleeper.Sleep();  // the interval of SleepFor stays
  const qint64 second = clock.elapsed();
  other.stop();

  EXPECT_EQ(sleeper.Interval(), 350);
  EXPECT_GE(first, 340);
  EXPECT_GE(second, 340);
  EXPECT_LT(first + second, 10000);  // ended at its tick, did not hang
  EXPECT_GT(ticks, 5);               // other timers fired during the pauses
}

TEST(Sleeper, PauseSleepsBetweenEvents) {
  TSleeper sleeper;
  const double before = ThreadCpuSeconds();
  sleeper.SleepFor(1000);
  EXPECT_LT(ThreadCpuSeconds() - before, 0.1);
}
