// The hotkey overview: the five configured hotkeys and the storage mode, as one notice, shown
// shortly after the start, whenever the options dialog closes, and on the tray menu's request.
#pragma once

#include <QString>

#include <functional>
#include <memory>

#include "platform/Clock.h"
#include "platform/HotkeyBackend.h"
#include "settings/SettingsReader.h"
#include "settings/Texts.h"
#include "shell/HotKeyManager.h"
#include "shell/Notices.h"
#include "shell/TrayIcon.h"

namespace lumivex::options {

inline const char* const kOverviewBalloonTitle = "Hotkeys to capture...";
inline constexpr int kOverviewDelayMs = 500;
inline constexpr int kOverviewSeconds = 60;

// Where the overview's text takes its texts and settings from; every call reads afresh.
struct OverviewSources {
  std::function<QString(int number)> lookupText;  // the language file, else the built-in text
  const settings::SettingsReader& settings;
  std::function<QString(quint32 value)> hotKeyText;  // localized names
};

// Five "label - combination" lines, the twelve-hyphen separator and the mode line, CRLF between.
QString BuildHotkeyOverview(const OverviewSources& sources);

class HotkeyOverview {
 public:
  struct Services {
    const settings::SettingsReader& settings;
    const settings::Texts& texts;
    shell::THotKeyManager& hotkeys;  // the combinations' names
    platform::HotkeyBackend& backend;
    shell::TTrayIcon& trayIcon;
    shell::Notices& notices;
    platform::Clock& clock;
  };
  explicit HotkeyOverview(Services services);

  // Shows the overview after a short delay (Timer3); a request while one is pending changes
  // nothing, like enabling a window timer.
  void Schedule();
  // The delay's end: the tray picture follows the stored storage mode, then the notice. Without
  // global shortcuts the listed combinations do nothing, so the first overview of a run also
  // says how to reach the captures instead.
  void Show();

  platform::Timer& delay() { return *delay_; }

 private:
  Services services_;
  std::unique_ptr<platform::Timer> delay_;
  bool shortcutHintShown_ = false;
};

}  // namespace lumivex::options
