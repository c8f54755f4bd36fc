#include "platform/dbus/DesktopNoticeService.h"

#include <QDBusMessage>
#include <QDBusReply>
#include <QMessageBox>
#include <QStringList>
#include <QSystemTrayIcon>
#include <QVariantMap>

namespace lumivex::platform {
namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
constexpr int kCallTimeoutMs = 3000;  // a hung service must not freeze the tray for long

// Notification bodies and balloons break lines with LF alone.
QString withLineFeeds(QString text) {
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return text;
}

}  // namespace

DesktopNoticeService::DesktopNoticeService(const QDBusConnection& bus) : bus_(bus) {}

bool DesktopNoticeService::notificationsAvailable() {
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

QString DesktopNoticeService::iconName(int iconKind) {
  switch (iconKind) {
    case kNoticeInfo:
      return QStringLiteral("dialog-information");
    case kNoticeWarning:
      return QStringLiteral("dialog-warning");
    case kNoticeError:
      return QStringLiteral("dialog-error");
    default:
      return QString();
  }
}

bool DesktopNoticeService::notify(const QString& title, const QString& text, int iconKind,
                                  int timeoutMs, NoticePlace place) {
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
  QString body = withLineFeeds(text);
  if (markup_ == 1) body = body.toHtmlEscaped();

  QVariantMap hints;
  hints.insert(QStringLiteral("urgency"),
               QVariant::fromValue(uchar(iconKind == kNoticeError ? 2 : 1)));
  QDBusMessage call =
      QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
  const quint32 replaces = place == NoticePlace::kBeside ? 0 : lastId_;
  call << QStringLiteral("Lumivex") << replaces << iconName(iconKind) << title << body
       << QStringList() << hints << timeoutMs;
  const QDBusReply<quint32> reply = bus_.call(call, QDBus::Block, kCallTimeoutMs);
  if (!reply.isValid()) return false;
  lastId_ = reply.value();
  return true;
}

bool DesktopNoticeService::balloonsAvailable() {
  return QSystemTrayIcon::isSystemTrayAvailable() && QSystemTrayIcon::supportsMessages();
}

bool DesktopNoticeService::showBalloon(QSystemTrayIcon& tray, const QString& title,
                                       const QString& text, int iconKind, int timeoutMs) {
  if (!QSystemTrayIcon::supportsMessages()) return false;
  static const QSystemTrayIcon::MessageIcon kinds[] = {
      QSystemTrayIcon::NoIcon, QSystemTrayIcon::Information, QSystemTrayIcon::Warning,
      QSystemTrayIcon::Critical};
  const auto kind = iconKind >= 0 && iconKind <= 3 ? kinds[iconKind] : QSystemTrayIcon::NoIcon;
  tray.showMessage(title, withLineFeeds(text), kind, timeoutMs);  // replaces one still showing
  return true;
}

void DesktopNoticeService::showMessageBox(const QString& caption, const QString& text,
                                          int iconKind) {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  if (iconKind == kNoticeInfo) icon = QMessageBox::Information;
  if (iconKind == kNoticeWarning) icon = QMessageBox::Warning;
  if (iconKind == kNoticeError) icon = QMessageBox::Critical;
  QMessageBox box(icon, caption, text, QMessageBox::Ok);
  box.exec();
}

}  // namespace lumivex::platform
