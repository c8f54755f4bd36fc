#include "platform/portal/PortalRegistry.h"

#include <QDBusError>
#include <QDBusMessage>
#include <QVariantMap>

#include "platform/portal/PortalRequest.h"

namespace lumivex::platform {
namespace {

// Registration answers at once; a hung portal must not hold up the start for long.
constexpr int kRegistryAnswerMs = 3000;

}  // namespace

RegistryOutcome registerAppWithPortal(const QDBusConnection& bus, const QString& appId) {
  QDBusMessage call = QDBusMessage::createMethodCall(
      QString::fromLatin1(kPortalService), QString::fromLatin1(kPortalPath),
      QStringLiteral("org.freedesktop.host.portal.Registry"), QStringLiteral("Register"));
  call << appId << QVariantMap();
  const QDBusMessage reply = bus.call(call, QDBus::Block, kRegistryAnswerMs);
  if (reply.type() == QDBusMessage::ReplyMessage) return RegistryOutcome::kRegistered;
  const QDBusError::ErrorType error = QDBusError(reply).type();
  // An older portal (Debian 12 has 1.16) has no Registry: it works as before, without an id.
  if (error == QDBusError::UnknownMethod || error == QDBusError::UnknownInterface ||
      error == QDBusError::UnknownObject || error == QDBusError::ServiceUnknown)
    return RegistryOutcome::kNotOffered;
  qWarning("lumivex: the desktop portal did not register the application %s: %s", qPrintable(appId),
           qPrintable(reply.errorMessage()));
  return RegistryOutcome::kFailed;
}

}  // namespace lumivex::platform
