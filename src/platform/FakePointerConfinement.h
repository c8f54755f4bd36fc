// In-memory pointer confinement for tests: records which window holds the pointer.
#pragma once

#include "platform/PointerConfinement.h"

namespace lumivex::platform {

class FakePointerConfinement final : public PointerConfinement {
 public:
  bool confineTo(QWindow& window) override;
  void release() override;

  // The window the pointer is kept in now; nullptr while it moves freely.
  const QWindow* confinedTo() const { return window_; }
  int confinements() const { return confinements_; }
  // Another program holds the pointer from now on: confinements are refused.
  void refuse() { refused_ = true; }

 private:
  const QWindow* window_ = nullptr;
  int confinements_ = 0;
  bool refused_ = false;
};

}  // namespace lumivex::platform
