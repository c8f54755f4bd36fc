// Choosing the backend of a session, placing the primary monitor in a portal's picture, and
// naming combinations in the portal's trigger syntax.
#include "platform/DisplaySession.h"
#include "platform/portal/PortalHotkeyBackend.h"
#include "platform/portal/PortalScreenGrabber.h"

#include <gtest/gtest.h>

using namespace lumivex::platform;

namespace {

QProcessEnvironment environment(std::initializer_list<std::pair<const char*, const char*>> vars) {
  QProcessEnvironment env;
  for (const auto& [name, value] : vars) env.insert(name, value);
  return env;
}

struct Probe {
  XServerKind answer;
  int* calls;
  XServerKind operator()() const {
    ++*calls;
    return answer;
  }
};

}  // namespace

TEST(DisplayBackendChoice, WaylandSessionsUseThePortalUnlessTheirXServerOwnsTheScreen) {
  int calls = 0;
  const auto wayland = environment({{"WAYLAND_DISPLAY", "wayland-0"}, {"DISPLAY", ":0"}});
  EXPECT_EQ(chooseDisplayBackend(wayland, Probe{XServerKind::kXwayland, &calls}),
            DisplayBackend::kPortal);
  EXPECT_EQ(chooseDisplayBackend(wayland, Probe{XServerKind::kNone, &calls}),
            DisplayBackend::kPortal);
  // An Xorg or Xvfb session started from a Wayland terminal inherits WAYLAND_DISPLAY.
  EXPECT_EQ(chooseDisplayBackend(wayland, Probe{XServerKind::kOwn, &calls}), DisplayBackend::kX11);
  EXPECT_EQ(calls, 3);
}

TEST(DisplayBackendChoice, X11SessionsNeverProbeAndTheUserMayChoose) {
  int calls = 0;
  EXPECT_EQ(
      chooseDisplayBackend(environment({{"DISPLAY", ":0"}}), Probe{XServerKind::kXwayland, &calls}),
      DisplayBackend::kX11);
  EXPECT_EQ(chooseDisplayBackend(environment({{"WAYLAND_DISPLAY", ""}, {"DISPLAY", ":0"}}),
                                 Probe{XServerKind::kXwayland, &calls}),
            DisplayBackend::kX11);
  EXPECT_EQ(chooseDisplayBackend(environment({{"LUMIVEX_BACKEND", "Portal"}, {"DISPLAY", ":0"}}),
                                 Probe{XServerKind::kOwn, &calls}),
            DisplayBackend::kPortal);
  EXPECT_EQ(chooseDisplayBackend(
                environment({{"LUMIVEX_BACKEND", "x11"}, {"WAYLAND_DISPLAY", "wayland-0"}}),
                Probe{XServerKind::kXwayland, &calls}),
            DisplayBackend::kX11);
  EXPECT_EQ(calls, 0);
  EXPECT_STREQ(requiredQtPlatform(DisplayBackend::kX11), "xcb");
  EXPECT_EQ(requiredQtPlatform(DisplayBackend::kPortal), nullptr);
}

TEST(PrimaryRectInPicture, OneMonitorIsTheWholePictureWhateverItsScale) {
  EXPECT_EQ(primaryRectInPicture({3840, 2160}, {QRect(0, 0, 1920, 1080)}), QRect(0, 0, 3840, 2160));
  EXPECT_EQ(primaryRectInPicture({1920, 1080}, {}), QRect(0, 0, 1920, 1080));
}

TEST(PrimaryRectInPicture, PrimaryRightOfAnotherMonitorInLogicalAndDevicePixels) {
  // A 1280x1024 monitor left of the primary 1920x1080 one, laid out in logical pixels.
  const QList<QRect> screens{QRect(1280, 0, 1920, 1080), QRect(0, 0, 1280, 1024)};
  EXPECT_EQ(primaryRectInPicture({3200, 1080}, screens), QRect(1280, 0, 1920, 1080));
  // The same desktop as a picture in device pixels at scale 2.
  EXPECT_EQ(primaryRectInPicture({6400, 2160}, screens), QRect(2560, 0, 3840, 2160));
}

TEST(PrimaryRectInPicture, MonitorsLeftOfOrAboveTheOriginAndFractionalScales) {
  const QList<QRect> screens{QRect(0, 0, 1920, 1080), QRect(-1280, -200, 1280, 1024)};
  EXPECT_EQ(primaryRectInPicture({3200, 1280}, screens), QRect(1280, 200, 1920, 1080));
  // Scale 1.5: the rectangle covers every device pixel of the monitor and stays inside.
  const QRect atScale = primaryRectInPicture({4800, 1920}, screens);
  EXPECT_EQ(atScale, QRect(1920, 300, 2880, 1620));
  EXPECT_TRUE(QRect(0, 0, 4800, 1920).contains(atScale));
}

TEST(PortalTrigger, ModifiersThenTheKeysymName) {
  EXPECT_EQ(portalTrigger(kModShift, 0x70), "SHIFT+F1");
  EXPECT_EQ(portalTrigger(kModControl, 0x74), "CTRL+F5");
  EXPECT_EQ(portalTrigger(kModControl | kModAlt | kModShift | kModWin, 'A'),
            "CTRL+ALT+SHIFT+LOGO+a");
  EXPECT_EQ(portalTrigger(kModAlt, 0x21), "ALT+Prior");  // Page Up
  EXPECT_EQ(portalTrigger(0, 0x2C), "Print");
  EXPECT_EQ(portalTrigger(kModShift, 0xFF), "");  // no such key
}
