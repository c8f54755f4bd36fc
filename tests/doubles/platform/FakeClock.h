// A clock for tests: time stands still until the test moves it, and timers fire while it moves.
#pragma once

#include "platform/Clock.h"

#include <QList>

namespace lumivex::platform {

class FakeClock final : public Clock {
 public:
  explicit FakeClock(QDateTime start = QDateTime(QDate(2005, 6, 19), QTime(22, 22, 17)));
  ~FakeClock() override;
  FakeClock(const FakeClock&) = delete;
  FakeClock& operator=(const FakeClock&) = delete;

  QDateTime currentLocalTime() const override;
  std::unique_ptr<Timer> createTimer() override;

  // Moves time forward, firing every timer that falls due on the way in the order of its due
  // time (a repeating timer as often as its interval fits).
  void advance(int milliseconds);
  // Sets the wall time without firing anything (the user changed the clock).
  void setCurrentLocalTime(const QDateTime& time);
  qint64 elapsedMs() const { return elapsedMs_; }

 private:
  class FakeTimer;
  FakeTimer* nextDue(qint64 until) const;

  QDateTime start_;
  qint64 elapsedMs_ = 0;
  QList<FakeTimer*> timers_;
};

}  // namespace lumivex::platform
