// The fake clock that timer-driven tests rely on: timers fire as time is moved, in due order.
#include "platform/FakeClock.h"

#include <gtest/gtest.h>

#include <QStringList>

using lumivex::platform::FakeClock;

TEST(FakeClock, TimersFireInDueOrderAsTimeMoves) {
  FakeClock clock(QDateTime(QDate(2005, 6, 19), QTime(22, 22, 17)));
  QStringList fired;
  auto repeating = clock.createTimer();
  repeating->setInterval(300);
  repeating->setTimeoutHandler([&] { fired << "r" + QString::number(clock.elapsedMs()); });
  auto once = clock.createTimer();
  once->setInterval(500);
  once->setSingleShot(true);
  once->setTimeoutHandler([&] { fired << "s" + QString::number(clock.elapsedMs()); });
  repeating->start();
  once->start();
  clock.advance(499);
  EXPECT_EQ(fired, QStringList({"r300"}));
  clock.advance(600);
  EXPECT_EQ(fired, QStringList({"r300", "s500", "r600", "r900"}));
  EXPECT_FALSE(once->isActive());
  EXPECT_TRUE(repeating->isActive());
  EXPECT_EQ(clock.currentLocalTime(), QDateTime(QDate(2005, 6, 19), QTime(22, 22, 18, 99)));
}

TEST(FakeClock, RestartStopAndDestroyInsideTheHandler) {
  FakeClock clock;
  int ticks = 0;
  auto restarted = clock.createTimer();
  restarted->setInterval(100);
  restarted->setSingleShot(true);
  // Restarting in the handler counts the interval from the moment of the tick.
  restarted->setTimeoutHandler([&] {
    if (++ticks < 3) restarted->start();
  });
  restarted->start();
  clock.advance(1000);
  EXPECT_EQ(ticks, 3);

  auto doomed = clock.createTimer();
  doomed->setInterval(10);
  doomed->setTimeoutHandler([&] { doomed.reset(); });
  doomed->start();
  clock.advance(100);
  EXPECT_EQ(doomed, nullptr);
  int stoppedTicks = 0;
  auto stopped = clock.createTimer();
  stopped->setInterval(10);
  stopped->setTimeoutHandler([&] { ++stoppedTicks; });
  stopped->start();
  stopped->stop();
  clock.advance(100);
  EXPECT_EQ(stoppedTicks, 0);
}
