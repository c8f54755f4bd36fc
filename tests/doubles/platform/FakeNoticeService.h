// In-memory notice service for tests: says which ways are available and records every notice.
#pragma once

#include "platform/NoticeService.h"

#include <QList>

namespace lumivex::platform {

class FakeNoticeService final : public NoticeService {
 public:
  enum class Way { Notification, Balloon, MessageBox };
  struct Notice {
    Way way;
    QString title;  // the box's caption for a message box
    QString text;
    int iconKind;
    int timeoutMs;  // 0 for a message box
    NoticePlace place = NoticePlace::kReplacing;
  };

  bool notificationsAvailable() override { return notifications; }
  bool notify(const QString& title, const QString& text, int iconKind, int timeoutMs,
              NoticePlace place) override;
  bool balloonsAvailable() override { return balloons; }
  bool showBalloon(QSystemTrayIcon& tray, const QString& title, const QString& text, int iconKind,
                   int timeoutMs) override;
  void showMessageBox(const QString& caption, const QString& text, int iconKind) override;

  bool notifications = true;   // the service is there
  bool acceptsNotices = true;  // and takes what it is sent
  bool balloons = true;
  QList<Notice> notices;
};

}  // namespace lumivex::platform
