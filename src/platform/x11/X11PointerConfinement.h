// Pointer confinement on X11: an active pointer grab confined to the window.
#pragma once

#include "platform/PointerConfinement.h"

#include <memory>

namespace lumivex::platform {

// nullptr when the application does not run on an X11 display.
std::unique_ptr<PointerConfinement> createX11PointerConfinement();

}  // namespace lumivex::platform
