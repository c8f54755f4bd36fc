#include "platform/DisplaySession.h"

#include <QDBusConnection>

#include "platform/AppIdentity.h"
#include "platform/KeyMap.h"
#include "platform/alsa/AlsaSoundPlayer.h"
#include "platform/portal/PortalHotkeyBackend.h"
#include "platform/portal/PortalRegistry.h"
#include "platform/portal/PortalScreenGrabber.h"
#include "platform/x11/X11HotkeyBackend.h"
#include "platform/x11/X11PointerControl.h"
#include "platform/x11/X11ScreenGrabber.h"
#include "platform/x11/X11ServerProbe.h"

namespace lumivex::platform {

DisplayBackend chooseDisplayBackend(const QProcessEnvironment& environment,
                                    const std::function<XServerKind()>& probeX11) {
  const QString chosen = environment.value(QStringLiteral("LUMIVEX_BACKEND")).toLower();
  if (chosen == QLatin1String("x11")) return DisplayBackend::kX11;
  if (chosen == QLatin1String("portal")) return DisplayBackend::kPortal;
  if (environment.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty()) return DisplayBackend::kX11;
  return probeX11() == XServerKind::kOwn ? DisplayBackend::kX11 : DisplayBackend::kPortal;
}

DisplayBackend detectDisplayBackend() {
  return chooseDisplayBackend(QProcessEnvironment::systemEnvironment(), &probeX11Server);
}

const char* requiredQtPlatform(DisplayBackend backend) {
  return backend == DisplayBackend::kX11 ? "xcb" : nullptr;
}

PlatformServices createPlatformServices(DisplayBackend backend) {
  PlatformServices services;
  if (backend == DisplayBackend::kPortal) {
    const QDBusConnection bus = QDBusConnection::sessionBus();
    // Before any other portal call: the portal keeps the first identity it finds.
    registerAppWithPortal(bus, QString::fromLatin1(kAppId));
    services.screen = std::make_unique<PortalScreenGrabber>(bus);
    services.hotkeys = createPortalHotkeyBackend(bus);
  } else {
    services.screen = createX11ScreenGrabber();
    services.hotkeys = createX11HotkeyBackend();
    services.pointer = createX11PointerControl();
  }
  services.sound = createAlsaSoundPlayer();
  if (!services.screen) services.screen = std::make_unique<NullScreenGrabber>();
  if (!services.hotkeys) services.hotkeys = std::make_unique<UnavailableHotkeyBackend>();
  if (!services.pointer) services.pointer = std::make_unique<NullPointerControl>();
  return services;
}

QString UnavailableHotkeyBackend::keyName(unsigned virtualKey, bool localized) const {
  return localized ? qtKeyName(virtualKey) : usKeyName(virtualKey);
}

}  // namespace lumivex::platform
