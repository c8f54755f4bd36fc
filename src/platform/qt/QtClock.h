// The system's clock, with timers on Qt's event loop.
#pragma once

#include "platform/Clock.h"

namespace lumivex::platform {

class QtClock final : public Clock {
 public:
  QDateTime currentLocalTime() const override;
  std::unique_ptr<Timer> createTimer() override;
};

}  // namespace lumivex::platform
