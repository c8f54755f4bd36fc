// Every notice the program shows, and the texts of its completion and refusal notices. A notice
// is a tray balloon (the desktop's notification service first, the tray's own balloon next); on
// an old-shell system, where the desktop offered neither when the program started, it is a
// modal message box instead.
#pragma once

#include <QString>

#include "platform/NoticeService.h"
#include "settings/SettingsReader.h"
#include "settings/Texts.h"
#include "shell/StorageMode.h"
#include "shell/TrayIcon.h"

namespace lumivex::shell {

// The caption of the program's message boxes.
inline const QString kBoxCaption = QStringLiteral("Lumivex");

class Notices {
 public:
  // Decides once, now, whether this is an old-shell system.
  Notices(platform::NoticeService& service, TTrayIcon& trayIcon, const settings::Texts& texts,
          const settings::SettingsReader& settings);

  // `title` on a balloon, `boxCaption` on a message box; platform::NoticeIcon kind; seconds;
  // whether it may take the place of the notice before it.
  void ShowNotice(const QString& title, const QString& boxCaption, const QString& text,
                  int iconKind, int seconds,
                  platform::NoticePlace place = platform::NoticePlace::kReplacing);

  // The completion notice naming the picture (or saying it is on the clipboard), when the
  // balloon setting is on at this moment.
  void NotifyDone(const QString& fullFileName);
  // A command the desktop or the storage mode does not allow: a warning, and nothing happened.
  void NotifyRefused(int titleNumber, int textNumber);
  // The storage-mode hotkey's notice.
  void NotifyStorageMode(const StorageMode& mode);

  // The localised text of a string number.
  QString text(int number) const;
  bool oldShellSystem() const { return oldShellSystem_; }

 private:
  platform::NoticeService& service_;
  TTrayIcon& trayIcon_;
  const settings::Texts& texts_;
  const settings::SettingsReader& settings_;
  bool oldShellSystem_;
};

}  // namespace lumivex::shell
