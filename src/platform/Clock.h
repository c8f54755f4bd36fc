// Time for the program: the local time that stamps picture names, and timers. Production runs
// on Qt's clock; tests move a fake clock by hand instead of sleeping.
#pragma once

#include <QDateTime>

#include <functional>
#include <memory>
#include <utility>

namespace lumivex::platform {

// A timer like a window timer: start() (re)starts the interval, a repeating timer fires every
// interval until stopped, a single-shot one stops before it fires.
class Timer {
 public:
  using TimeoutHandler = std::function<void()>;

  virtual ~Timer() = default;

  virtual void setInterval(int milliseconds) = 0;
  virtual int interval() const = 0;
  virtual void setSingleShot(bool singleShot) = 0;
  virtual void start() = 0;
  virtual void stop() = 0;
  virtual bool isActive() const = 0;

  // Called on the GUI thread at each time-out; it may stop, restart or destroy the timer.
  void setTimeoutHandler(TimeoutHandler handler) { timeout_ = std::move(handler); }

 protected:
  void notifyTimeout() const {
    // A copy: the handler may destroy this timer (and with it the stored handler).
    if (TimeoutHandler handler = timeout_) handler();
  }

 private:
  TimeoutHandler timeout_;
};

class Clock {
 public:
  virtual ~Clock() = default;

  // The current local time (picture names, time stamps).
  virtual QDateTime currentLocalTime() const = 0;
  // A stopped timer that runs on this clock.
  virtual std::unique_ptr<Timer> createTimer() = 0;
};

}  // namespace lumivex::platform
