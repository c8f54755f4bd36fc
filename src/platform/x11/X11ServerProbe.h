// Tells an X server that owns the screen from a Wayland compositor's Xwayland.
#pragma once

#include "platform/DisplaySession.h"

namespace lumivex::platform {

// Connects to the server named by DISPLAY on its own connection (Qt need not run yet). Xwayland
// shows itself by its XWAYLAND extension (Xwayland 23.1 and later) or by the names it gives its
// RandR outputs ("XWAYLAND0", ...), which every version uses.
XServerKind probeX11Server();

}  // namespace lumivex::platform
