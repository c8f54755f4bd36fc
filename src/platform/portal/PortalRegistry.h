// The application identity of a portal client that is no sandboxed app: xdg-desktop-portal 1.19
// and later let a host program name its desktop entry through
// org.freedesktop.host.portal.Registry; earlier ones derive an empty id, under which GNOME binds
// no shortcuts and files no permission.
#pragma once

#include <QDBusConnection>
#include <QString>

namespace lumivex::platform {

enum class RegistryOutcome {
  kRegistered,
  kNotOffered,  // the portal has no Registry (before 1.19, or no portal at all)
  kFailed,      // the portal refused: the connection talked to it already, or the id is unknown
};

// Registers `appId` for this bus connection. The portal keeps the first identity it derives for
// a connection, so this must come before any other portal call on it. A failure is logged with
// the portal's reason; the caller goes on without an identity either way.
RegistryOutcome registerAppWithPortal(const QDBusConnection& bus, const QString& appId);

}  // namespace lumivex::platform
