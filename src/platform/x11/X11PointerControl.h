// The pointer on X11: an active pointer grab confined to the window, and the exact positions of
// the pointer events Qt receives.
#pragma once

#include "platform/PointerControl.h"

#include <memory>

namespace lumivex::platform {

// nullptr when the application does not run on an X11 display.
std::unique_ptr<PointerControl> createX11PointerControl();

}  // namespace lumivex::platform
