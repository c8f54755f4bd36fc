#include "platform/FakeNoticeService.h"

namespace lumivex::platform {

bool FakeNoticeService::notify(const QString& title, const QString& text, int iconKind,
                               int timeoutMs, NoticePlace place) {
  if (!notifications || !acceptsNotices) return false;
  notices.append({Way::Notification, title, text, iconKind, timeoutMs, place});
  return true;
}

bool FakeNoticeService::showBalloon(QSystemTrayIcon& /*tray*/, const QString& title,
                                    const QString& text, int iconKind, int timeoutMs) {
  if (!balloons) return false;
  notices.append({Way::Balloon, title, text, iconKind, timeoutMs});
  return true;
}

void FakeNoticeService::showMessageBox(const QString& caption, const QString& text, int iconKind) {
  notices.append({Way::MessageBox, caption, text, iconKind, 0});
}

}  // namespace lumivex::platform
