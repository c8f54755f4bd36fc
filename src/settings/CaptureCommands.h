// The five capture commands, declared once: the hotkeys, the hotkey overview, the command line
// and the session bus all take them from this table.
#pragma once

#include <array>
#include <optional>
#include <string_view>

#include "settings/SettingsTable.h"
#include "settings/TextTable.h"

namespace lumivex::settings {

enum class CaptureKind { Screen, Area, Window, Timed, ToggleMode };

struct CaptureCommand {
  CaptureKind kind;
  const char* word;           // `lumivex --capture WORD`, and the bus method Capture
  const char* hotkeySetting;  // the stored hotkey that runs it
  int labelText;              // its line in the hotkey overview
};

// In the order of the hotkeys (kHotkeys): a combination shared by several runs them in this order.
inline constexpr std::array<CaptureCommand, 5> kCaptureCommands = {{
    {CaptureKind::Screen, "screen", kHotkey1, text::kFullScreen},
    {CaptureKind::Area, "area", kHotkey2, text::kScreenArea},
    {CaptureKind::Window, "window", kHotkey3, text::kActiveWindow},
    {CaptureKind::Timed, "timed", kHotkey4, text::kTimedCapture},
    {CaptureKind::ToggleMode, "toggle-mode", kHotkey5, text::kSwitchStorageMode},
}};

// The words, for messages and help.
inline constexpr const char* kCaptureKindList = "screen, area, window, timed or toggle-mode";

// The command of a word; nothing for any other word.
constexpr std::optional<CaptureKind> captureKindNamed(std::string_view word) {
  for (const CaptureCommand& command : kCaptureCommands)
    if (word == command.word) return command.kind;
  return std::nullopt;
}

constexpr const CaptureCommand& captureCommand(CaptureKind kind) {
  for (const CaptureCommand& command : kCaptureCommands)
    if (command.kind == kind) return command;
  return kCaptureCommands[0];
}

namespace detail {
constexpr bool listNamesEveryWord() {
  const std::string_view list = kCaptureKindList;
  for (std::size_t i = 0; i < kCaptureCommands.size(); ++i) {
    if (kCaptureCommands[i].hotkeySetting != kHotkeys[i]) return false;
    if (list.find(kCaptureCommands[i].word) == std::string_view::npos) return false;
    if (defaultText(text::kNoGlobalShortcuts).find(kCaptureCommands[i].word) ==
        std::string_view::npos)
      return false;
  }
  return true;
}
}  // namespace detail
static_assert(detail::listNamesEveryWord(),
              "the word list, the shortcut hint and the hotkey order follow the table");

}  // namespace lumivex::settings
