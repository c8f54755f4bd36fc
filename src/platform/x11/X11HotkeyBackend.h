// Hotkeys on X11: passive key grabs on the root window of the application's X connection.
#pragma once

#include "platform/HotkeyBackend.h"

#include <memory>

namespace lumivex::platform {

// nullptr when the application does not run on an X11 display.
std::unique_ptr<HotkeyBackend> createX11HotkeyBackend();

}  // namespace lumivex::platform
