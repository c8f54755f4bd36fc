// The hotkey overview: the five configured hotkeys and the storage mode, as one notice.
#pragma once

#include <QString>

#include <functional>

namespace lumivex::options {

inline constexpr int kOverviewTitleNumber = 260;
inline const char* const kOverviewBalloonTitle = "Hotkeys to capture...";
inline const char* const kOverviewBoxTitle = "Hotkey to caputre...";  // the stored default
inline constexpr int kOverviewDelayMs = 500;
inline constexpr int kOverviewSeconds = 60;

// Where the overview takes its texts and settings from; every call reads afresh.
struct OverviewSources {
  std::function<QString(int number)> lookupText;  // the language file, else the built-in text
  std::function<int(const QString& name, int fallback)> readSettingInt;
  std::function<QString(const QString& name, const QString& fallback)> readSetting;
  std::function<QString(quint32 value)> hotKeyText;  // localized names
};

// Five "label - combination" lines, the twelve-hyphen separator and the mode line, CRLF between.
QString BuildHotkeyOverview(const OverviewSources& sources);
// Whether "Radiobutton1_Checked" reads "true" in any letter case (clipboard output).
bool OverviewClipboardMode(const OverviewSources& sources);

}  // namespace lumivex::options
