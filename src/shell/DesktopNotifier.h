// Notices through the desktop's notification service (org.freedesktop.Notifications).
#pragma once

#include <QDBusConnection>
#include <QString>

namespace lumivex::shell {

// Icon kinds of a notice.
enum BalloonIcon : int {
  kBalloonNone = 0,
  kBalloonInfo = 1,
  kBalloonWarning = 2,
  kBalloonError = 3
};

class DesktopNotifier {
 public:
  explicit DesktopNotifier(const QDBusConnection& bus = QDBusConnection::sessionBus());

  // Whether the session bus offers the service, running or activatable.
  bool available() const;
  // Sends one notice that replaces the previous one at once; false when it was not accepted.
  bool notify(const QString& title, const QString& text, int iconKind, int timeoutMs);

  static QString iconName(int iconKind);

 private:
  QDBusConnection bus_;
  quint32 lastId_ = 0;
  int markup_ = -1;  // whether the server reads the body as markup; -1 until asked
};

}  // namespace lumivex::shell
