#include "platform/qt/QtClock.h"

#include <QTimer>

namespace lumivex::platform {
namespace {

class QtTimer final : public Timer {
 public:
  QtTimer() {
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { notifyTimeout(); });
  }
  void setInterval(int milliseconds) override { timer_.setInterval(milliseconds); }
  int interval() const override { return timer_.interval(); }
  void setSingleShot(bool singleShot) override { timer_.setSingleShot(singleShot); }
  void start() override { timer_.start(); }
  void stop() override { timer_.stop(); }
  bool isActive() const override { return timer_.isActive(); }

 private:
  QTimer timer_;
};

}  // namespace

QDateTime QtClock::currentLocalTime() const { return QDateTime::currentDateTime(); }

std::unique_ptr<Timer> QtClock::createTimer() { return std::make_unique<QtTimer>(); }

}  // namespace lumivex::platform
