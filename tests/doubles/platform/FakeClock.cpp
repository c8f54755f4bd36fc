#include "platform/FakeClock.h"

#include <algorithm>

namespace lumivex::platform {

class FakeClock::FakeTimer final : public Timer {
 public:
  explicit FakeTimer(FakeClock* clock) : clock_(clock) { clock_->timers_.append(this); }
  ~FakeTimer() override {
    if (clock_) clock_->timers_.removeOne(this);
  }
  void setInterval(int milliseconds) override { interval_ = std::max(0, milliseconds); }
  int interval() const override { return interval_; }
  void setSingleShot(bool singleShot) override { singleShot_ = singleShot; }
  void start() override {
    active_ = true;
    due_ = clock_ ? clock_->elapsedMs_ + interval_ : 0;
  }
  void stop() override { active_ = false; }
  bool isActive() const override { return active_; }

  void fire() {
    if (singleShot_)
      active_ = false;
    else
      due_ += std::max(1, interval_);  // a zero interval fires once per millisecond, not forever
    notifyTimeout();
  }

  FakeClock* clock_;
  int interval_ = 0;
  bool singleShot_ = false;
  bool active_ = false;
  qint64 due_ = 0;
};

FakeClock::FakeClock(QDateTime start) : start_(std::move(start)) {}

FakeClock::~FakeClock() {
  for (FakeTimer* timer : timers_) timer->clock_ = nullptr;
}

QDateTime FakeClock::currentLocalTime() const { return start_.addMSecs(elapsedMs_); }

std::unique_ptr<Timer> FakeClock::createTimer() { return std::make_unique<FakeTimer>(this); }

FakeClock::FakeTimer* FakeClock::nextDue(qint64 until) const {
  FakeTimer* next = nullptr;
  for (FakeTimer* timer : timers_)
    if (timer->active_ && timer->due_ <= until && (!next || timer->due_ < next->due_)) next = timer;
  return next;
}

void FakeClock::advance(int milliseconds) {
  const qint64 until = elapsedMs_ + std::max(0, milliseconds);
  while (FakeTimer* timer = nextDue(until)) {
    elapsedMs_ = std::max(elapsedMs_, timer->due_);
    timer->fire();
  }
  elapsedMs_ = until;
}

void FakeClock::setCurrentLocalTime(const QDateTime& time) { start_ = time.addMSecs(-elapsedMs_); }

}  // namespace lumivex::platform
