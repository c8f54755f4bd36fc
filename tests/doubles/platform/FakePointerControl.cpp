#include "platform/FakePointerControl.h"

namespace lumivex::platform {

bool FakePointerControl::confineTo(QWindow& window) {
  if (refused_) return false;
  window_ = &window;
  return true;
}

void FakePointerControl::release() { window_ = nullptr; }

}  // namespace lumivex::platform
