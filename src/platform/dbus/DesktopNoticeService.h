// Notices on a Linux desktop: org.freedesktop.Notifications on the session bus, Qt's tray
// balloon and Qt's message box.
#pragma once

#include "platform/NoticeService.h"

#include <QDBusConnection>

namespace lumivex::platform {

class DesktopNoticeService final : public NoticeService {
 public:
  explicit DesktopNoticeService(const QDBusConnection& bus = QDBusConnection::sessionBus());

  bool notificationsAvailable() override;
  bool notify(const QString& title, const QString& text, int iconKind, int timeoutMs,
              NoticePlace place) override;
  bool balloonsAvailable() override;
  bool showBalloon(QSystemTrayIcon& tray, const QString& title, const QString& text, int iconKind,
                   int timeoutMs) override;
  void showMessageBox(const QString& caption, const QString& text, int iconKind) override;

  // The icon name a notification of `iconKind` carries.
  static QString iconName(int iconKind);

 private:
  QDBusConnection bus_;
  quint32 lastId_ = 0;
  int markup_ = -1;  // whether the server reads the body as markup; -1 until asked
};

}  // namespace lumivex::platform
