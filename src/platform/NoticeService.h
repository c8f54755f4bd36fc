// How notices reach the user: the desktop's notification service, the tray icon's balloon, or a
// modal message box. Which one a notice takes is the caller's rule; this only delivers.
#pragma once

#include <QString>

class QSystemTrayIcon;

namespace lumivex::platform {

// Icon kinds of a notice (the values the notices have always used).
enum NoticeIcon : int {
  kNoticeNone = 0,
  kNoticeInfo = 1,
  kNoticeWarning = 2,
  kNoticeError = 3,
};

// Whether a notice takes the place of the one before it, or comes beside it: a notice that
// explains the one before must not wipe it out.
enum class NoticePlace { kReplacing, kBeside };

class NoticeService {
 public:
  virtual ~NoticeService() = default;

  // Whether the session bus offers a notification service, running or activatable.
  virtual bool notificationsAvailable() = 0;
  // One desktop notification that replaces the previous one at once, or stands beside it;
  // false when not accepted.
  virtual bool notify(const QString& title, const QString& text, int iconKind, int timeoutMs,
                      NoticePlace place) = 0;

  // Whether a tray runs that shows balloons.
  virtual bool balloonsAvailable() = 0;
  // A balloon on `tray`'s icon that replaces one still showing; false when the tray cannot
  // show balloons.
  virtual bool showBalloon(QSystemTrayIcon& tray, const QString& title, const QString& text,
                           int iconKind, int timeoutMs) = 0;

  // A modal message box with the icon of `iconKind`; returns when the user has closed it.
  virtual void showMessageBox(const QString& caption, const QString& text, int iconKind) = 0;

  // An old shell offers neither notifications nor balloons: notices become message boxes.
  bool isOldShell() { return !notificationsAvailable() && !balloonsAvailable(); }
};

}  // namespace lumivex::platform
