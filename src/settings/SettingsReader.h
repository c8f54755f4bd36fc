// The one way the program reads its settings: every value the captures, the hotkeys, the
// notices, the actions and the upload use, each with its default and its conversion in one
// place. Every call reads the settings file afresh, so a value changed in the options dialog
// counts at the next step.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "settings/SettingsFile.h"

namespace lumivex::settings {

class SettingsReader {
 public:
  explicit SettingsReader(SettingsFile key);

  // The picture file. The stamp and the user name count as on when absent; the folder is
  // `desktop` when absent. The picture type throws "'%s' is not a valid integer value" for a
  // text that is no integer.
  std::string baseName() const;
  std::string folder(std::string_view desktop) const;
  bool addStamp() const;
  bool addUserName() const;
  int pictureType() const;
  // The PNG level and the JPEG quality of this moment; an absent value is no integer either.
  int pngLevel() const;
  int jpegQuality() const;

  // Clipboard output: "Radiobutton1_Checked" reads "true" in any letter case (absent: files).
  bool clipboardMode() const;
  // The same value as stored ("False" when absent), for the switch that toggles it.
  std::string clipboardModeText() const;

  // The timed capture's count and unit, as stored ("5" and "0" when absent); capture/
  // TimedCapture.h gives them their meaning.
  std::string intervalText() const;
  std::string intervalUnitText() const;

  // Feedback and the after-capture action. An absent switch is off; the action number throws
  // for a text that is no integer.
  bool soundOn() const;
  bool balloonOn() const;
  bool doFinalAction() const;
  int finalAction() const;

  // The hotkey of command `index` (0..4, the order of kHotkeys): its seed where the stored
  // value is absent, no integer or no key combination (hotKeyValue), so that registration, the
  // overview and the dispatch agree on one value.
  int hotkey(std::size_t index) const;
  // The stored value only: a combination matches no command whose value cannot be read.
  std::optional<int> storedHotkey(std::size_t index) const;

  // The FTP upload's values, as stored; empty when absent.
  std::string ftpUser() const;
  std::string ftpPassword() const;
  std::string ftpFolder() const;
  std::string ftpPortText() const;
  std::string ftpServer() const;
  // Nothing when absent: the client keeps its own mode then.
  std::optional<bool> ftpPassive() const;

  const SettingsFile& key() const { return key_; }

 private:
  // The stored text, or `fallback` when the value is absent or the file cannot be read.
  std::string stored(std::string_view name, std::string_view fallback = {}) const;

  SettingsFile key_;
};

}  // namespace lumivex::settings
