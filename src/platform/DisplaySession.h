// Which window-system services run this session: X11's own, or the desktop portal's on Wayland.
// Decided once at start, before the application object exists (the choice also decides Qt's
// platform plugin); nothing outside the platform layer knows the answer.
#pragma once

#include <QProcessEnvironment>

#include <functional>
#include <memory>

#include "platform/HotkeyBackend.h"
#include "platform/PointerControl.h"
#include "platform/ScreenGrabber.h"
#include "platform/SoundPlayer.h"

namespace lumivex::platform {

enum class DisplayBackend {
  kX11,     // key grabs and pixels straight from the X server
  kPortal,  // org.freedesktop.portal.Screenshot and GlobalShortcuts on the session bus
};

// What the X server named by DISPLAY turns out to be.
enum class XServerKind {
  kNone,      // no DISPLAY, or no connection
  kXwayland,  // a Wayland compositor's X server: it sees only X clients' windows and keys
  kOwn,       // a server that owns the screen and the keyboard (Xorg, Xvfb, Xephyr)
};

// The rule: LUMIVEX_BACKEND=x11 or =portal chooses outright (for a setup the probe misjudges,
// and for tests); otherwise a session without WAYLAND_DISPLAY is X11, and a Wayland session is
// X11 only when its X server owns the screen (a nested Xorg or Xvfb session started from a
// Wayland terminal). `probeX11` runs only when needed.
DisplayBackend chooseDisplayBackend(const QProcessEnvironment& environment,
                                    const std::function<XServerKind()>& probeX11);

// chooseDisplayBackend() on this process's environment and its real X server.
DisplayBackend detectDisplayBackend();

// Qt's platform plugin the backend needs, to set in QT_QPA_PLATFORM before the application
// object exists unless the user chose one: "xcb" for X11 (also under XWayland), nullptr for the
// portal (Qt picks the native Wayland one).
const char* requiredQtPlatform(DisplayBackend backend);

// The services of the chosen backend; call once the application object exists. A service the
// session cannot offer is its null or unavailable form, never nullptr.
struct PlatformServices {
  std::unique_ptr<ScreenGrabber> screen;
  std::unique_ptr<HotkeyBackend> hotkeys;
  // Confines the pointer during an area selection (X11 only: a Wayland compositor keeps the
  // pointer to itself).
  std::unique_ptr<PointerControl> pointer;
  // The shutter sound through ALSA's "default" device, on either backend.
  std::unique_ptr<SoundPlayer> sound;
};
PlatformServices createPlatformServices(DisplayBackend backend);

}  // namespace lumivex::platform
