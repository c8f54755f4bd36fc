// The hotkey overview: the five configured hotkeys and the storage mode, as one notice, shown
// shortly after the start, whenever the options dialog closes, and on the tray menu's request.
#pragma once

#include <QString>

#include <functional>
#include <memory>
#include <optional>

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
  // Where the desktop binds the keys itself (a Wayland portal): its text for the keys it bound
  // for a hotkey value, empty when it bound none. Unset, or nothing returned: the value's own
  // combination is what runs the capture.
  std::function<std::optional<QString>(quint32 value)> desktopKeys;
};

// Five "label - combination" lines, the twelve-hyphen separator and the mode line, CRLF between.
// A line shows the keys the desktop bound where it binds them, "no key" where it bound none.
QString BuildHotkeyOverview(const OverviewSources& sources);
// Whether the desktop left a capture without a key: the user must bind one elsewhere.
bool OverviewHasCaptureWithoutKey(const OverviewSources& sources);

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
  ~HotkeyOverview();
  HotkeyOverview(const HotkeyOverview&) = delete;
  HotkeyOverview& operator=(const HotkeyOverview&) = delete;

  // Shows the overview after a short delay (Timer3); a request while one is pending changes
  // nothing, like enabling a window timer.
  void Schedule();
  // The delay's end: the tray picture follows the stored storage mode, then the notice. It lists
  // the keys the desktop actually bound; while the desktop is still deciding (it may be asking
  // the user) it waits for the answer. Whenever a capture is left without a key, a second notice
  // beside the first says how to reach it instead.
  void Show();

  platform::Timer& delay() { return *delay_; }

 private:
  Services services_;
  std::unique_ptr<platform::Timer> delay_;
  bool waitingForDesktop_ = false;
};

}  // namespace lumivex::options
