// Screen grabs on X11: the root window's pixels, read through MIT-SHM or a plain GetImage.
#pragma once

#include "platform/ScreenGrabber.h"

#include <memory>

namespace lumivex::platform {

// How the pixels travel from the X server. The program always takes the fastest; tests and the
// benchmark pin one to compare them.
enum class X11GrabTransfer {
  kFastest,       // shared memory where the server offers it to us, GetImage otherwise
  kSharedMemory,  // shared memory only
  kGetImage,      // the pixels inside the reply
};

// nullptr when the application does not run on an X11 display, or when `transfer` asks for shared
// memory the server cannot share with this process (another machine, no MIT-SHM).
std::unique_ptr<ScreenGrabber> createX11ScreenGrabber(
    X11GrabTransfer transfer = X11GrabTransfer::kFastest);

}  // namespace lumivex::platform
