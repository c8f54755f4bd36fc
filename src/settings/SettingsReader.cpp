#include "settings/SettingsReader.h"

#include <utility>

#include "base/Text.h"
#include "settings/SettingsTable.h"

namespace lumivex::settings {

SettingsReader::SettingsReader(SettingsFile key) : key_(std::move(key)) {}

std::string SettingsReader::stored(std::string_view name, std::string_view fallback) const {
  return key_.read(name).value_or(std::string(fallback));
}

std::string SettingsReader::baseName() const { return stored(kBaseName, kDefaultBaseName); }

std::string SettingsReader::folder(std::string_view desktop) const {
  return stored(kFolder, desktop);
}

bool SettingsReader::addStamp() const { return isTrueText(stored(kAddStamp, "True")); }

bool SettingsReader::addUserName() const { return isTrueText(stored(kAddUserName, "True")); }

int SettingsReader::pictureType() const { return textToInt(stored(kPictureType, "0")); }

int SettingsReader::pngLevel() const { return textToInt(stored(kPngLevel)); }

int SettingsReader::jpegQuality() const { return textToInt(stored(kJpegQuality)); }

bool SettingsReader::clipboardMode() const { return isTrueText(clipboardModeText()); }

std::string SettingsReader::clipboardModeText() const { return stored(kClipboardMode, "False"); }

std::string SettingsReader::intervalText() const { return stored(kInterval, "5"); }

std::string SettingsReader::intervalUnitText() const { return stored(kIntervalUnit, "0"); }

bool SettingsReader::soundOn() const { return isTrueText(stored(kSoundOn)); }

bool SettingsReader::balloonOn() const { return isTrueText(stored(kBalloonOn)); }

bool SettingsReader::doFinalAction() const { return isTrueText(stored(kDoAction)); }

int SettingsReader::finalAction() const { return textToInt(stored(kAction)); }

int SettingsReader::hotkey(std::size_t index) const {
  return hotKeyValue(index, storedHotkey(index).value_or(kHotkeyDefaults.at(index)));
}

std::optional<int> SettingsReader::storedHotkey(std::size_t index) const {
  const std::optional<std::string> value = key_.read(kHotkeys.at(index));
  return value ? parseInt(*value) : std::nullopt;
}

std::string SettingsReader::ftpUser() const { return stored(kFtpUser); }

std::string SettingsReader::ftpPassword() const { return stored(kFtpPassword); }

std::string SettingsReader::ftpFolder() const { return stored(kFtpFolder); }

std::string SettingsReader::ftpPortText() const { return stored(kFtpPort); }

std::string SettingsReader::ftpServer() const { return stored(kFtpServer); }

std::optional<bool> SettingsReader::ftpPassive() const {
  const std::string passive = stored(kFtpPassive);
  if (passive.empty()) return std::nullopt;
  return isTrueText(passive);
}

}  // namespace lumivex::settings
