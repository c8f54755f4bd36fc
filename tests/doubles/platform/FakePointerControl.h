// In-memory pointer control for tests: records which window holds the pointer; device positions
// are unknown, so Qt's positions stand.
#pragma once

#include "platform/PointerControl.h"

namespace lumivex::platform {

class FakePointerControl final : public PointerControl {
 public:
  bool confineTo(QWindow& window) override;
  void release() override;
  std::optional<QPoint> devicePosition(const QWindow&, QPointF) override { return std::nullopt; }

  // The window the pointer is kept in now; nullptr while it moves freely.
  const QWindow* confinedTo() const { return window_; }
  // Another program holds the pointer from now on: confinements are refused.
  void refuse() { refused_ = true; }

 private:
  const QWindow* window_ = nullptr;
  bool refused_ = false;
};

}  // namespace lumivex::platform
