#include "platform/FakePointerConfinement.h"

namespace lumivex::platform {

bool FakePointerConfinement::confineTo(QWindow& window) {
  if (refused_) return false;
  window_ = &window;
  ++confinements_;
  return true;
}

void FakePointerConfinement::release() { window_ = nullptr; }

}  // namespace lumivex::platform
