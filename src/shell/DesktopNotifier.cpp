#include "shell/DesktopNotifier.h"

#include <QDBusMessage>
#include <QDBusReply>
#include <QStringList>
#include <QVariantMap>

namespace lumivex::shell {
namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
constexpr int kCallTimeoutMs = 3000;  // a hung service must not freeze the tray for long
}  // namespace

DesktopNotifier::DesktopNotifier(const QDBusConnection& bus) : bus_(bus) {}

bool DesktopNotifier::available() const {
  if (!bus_.isConnected()) return false;
  // Asked of the bus daemon directly, so the wait has the same bound as every other call.
  const QString daemon = QStringLiteral("org.freedesktop.DBus");
  QDBusMessage owned = QDBusMessage::createMethodCall(
      daemon, QStringLiteral("/org/freedesktop/DBus"), daemon, QStringLiteral("NameHasOwner"));
  owned << kService;
  const QDBusReply<bool> running = bus_.call(owned, QDBus::Block, kCallTimeoutMs);
  if (!running.isValid()) return false;  // a daemon that does not answer offers nothing
  if (running.value()) return true;
  const QDBusMessage list =
      QDBusMessage::createMethodCall(daemon, QStringLiteral("/org/freedesktop/DBus"), daemon,
                                     QStringLiteral("ListActivatableNames"));
  const QDBusReply<QStringList> activatable = bus_.call(list, QDBus::Block, kCallTimeoutMs);
  return activatable.isValid() && activatable.value().contains(kService);
}

QString DesktopNotifier::iconName(int iconKind) {
  switch (iconKind) {
    case kBalloonInfo:
      return QStringLiteral("dialog-information");
    case kBalloonWarning:
      return QStringLiteral("dialog-warning");
    case kBalloonError:
      return QStringLiteral("dialog-error");
    default:
      return QString();
  }
}

bool DesktopNotifier::notify(const QString& title, const QString& text, int iconKind,
                             int timeoutMs) {
  if (!bus_.isConnected()) return false;
  if (markup_ < 0) {
    QDBusMessage ask = QDBusMessage::createMethodCall(kService, kPath, kService,
                                                      QStringLiteral("GetCapabilities"));
    const QDBusReply<QStringList> caps = bus_.call(ask, QDBus::Block, kCallTimeoutMs);
    // A service that does not answer would not take the notice either.
    if (caps.error().type() == QDBusError::NoReply || caps.error().type() == QDBusError::Timeout)
      return false;
    markup_ = caps.isValid() && caps.value().contains(QStringLiteral("body-markup")) ? 1 : 0;
  }
  // Notification bodies break lines with LF alone.
  QString body = text;
  body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  if (markup_ == 1) body = body.toHtmlEscaped();

  QVariantMap hints;
  hints.insert(QStringLiteral("urgency"),
               QVariant::fromValue(uchar(iconKind == kBalloonError ? 2 : 1)));
  QDBusMessage call =
      QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
  call << QStringLiteral("Lumivex") << lastId_ << iconName(iconKind) << title << body
       << QStringList() << hints << timeoutMs;
  const QDBusReply<quint32> reply = bus_.call(call, QDBus::Block, kCallTimeoutMs);
  if (!reply.isValid()) return false;
  lastId_ = reply.value();
  return true;
}

}  // namespace lumivex::shell
