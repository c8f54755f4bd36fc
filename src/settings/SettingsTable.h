// Every setting the program stores, declared once: the start-up seeding, the options dialog's
// stored controls and the readers share these names and defaults.
#pragma once

#include <array>
#include <string_view>

namespace lumivex::settings {

// Value names as the readers spell them; the store matches names without regard to case.
inline constexpr const char* kHotkey1 = "Hotkey1_HotKey";
inline constexpr const char* kHotkey2 = "Hotkey2_HotKey";
inline constexpr const char* kHotkey3 = "Hotkey3_HotKey";
inline constexpr const char* kHotkey4 = "Hotkey4_HotKey";
inline constexpr const char* kHotkey5 = "Hotkey5_HotKey";
inline constexpr std::array<const char*, 5> kHotkeys = {kHotkey1, kHotkey2, kHotkey3, kHotkey4,
                                                        kHotkey5};

inline constexpr const char* kAddStamp = "CheckBox1_Checked";
inline constexpr const char* kAddUserName = "CheckBox2_Checked";
inline constexpr const char* kBaseName = "fName1_Text";
inline constexpr const char* kFolder = "fPath1_Text";
inline constexpr const char* kPictureType = "PicType_ItemIndex";
inline constexpr const char* kInterval = "IntList1_Text";
inline constexpr const char* kIntervalUnit = "tmcType_ItemIndex";
inline constexpr const char* kSoundOn = "ClickOn_Checked";
inline constexpr const char* kBalloonOn = "BalloonOn_Checked";
inline constexpr const char* kAction = "FAction_ItemIndex";
inline constexpr const char* kDoAction = "DoFinal_Checked";
inline constexpr const char* kFtpUser = "user1_Text";
inline constexpr const char* kFtpPassword = "pass1_Text";
inline constexpr const char* kFtpFolder = "RemFolder1_Text";
inline constexpr const char* kFtpPort = "FtpPort1_Text";
inline constexpr const char* kFtpServer = "FtpServer1_Text";
inline constexpr const char* kFtpAnonymous = "DoAnonym_Checked";
inline constexpr const char* kFtpPassive = "DoPasv_Checked";
inline constexpr const char* kJpegQuality = "JPGCompr1_Position";
inline constexpr const char* kPngLevel = "PNGCompr1_Position";
inline constexpr const char* kClipboardMode = "Radiobutton1_Checked";
inline constexpr const char* kFileMode = "Radiobutton2_Checked";

// The picture's base name where none is stored.
inline constexpr const char* kDefaultBaseName = "LumivexPhoto";

// The placeholder password of anonymous FTP log-ons.
inline constexpr const char* kAnonymousPassword = "lumivex@example.com";

struct SeedRow {
  const char* name;
  const char* seed;  // nullptr: the user's desktop folder, computed only when needed
};

// Written at start-up, in this order, wherever the value is absent or empty.
inline constexpr std::array<SeedRow, 27> kSeedTable = {{
    {kHotkey1, "8304"},
    {kHotkey2, "8305"},
    {kHotkey3, "8306"},
    {kHotkey4, "8307"},
    {kHotkey5, "16500"},
    {kAddStamp, "True"},
    {kAddUserName, "False"},
    {kBaseName, kDefaultBaseName},
    {kFolder, nullptr},
    {kPictureType, "0"},
    {kInterval, "5"},
    {kIntervalUnit, "0"},
    {kSoundOn, "True"},
    {kBalloonOn, "True"},
    {kAction, "0"},
    {kDoAction, "False"},
    {kFtpUser, "anonymous"},
    {kFtpPassword, kAnonymousPassword},
    {kFtpFolder, "/"},
    {kFtpPort, "21"},
    {kFtpServer, ""},
    {kFtpAnonymous, "True"},
    {"user1_Enabled", "False"},
    {"pass1_Enabled", "False"},
    {kFtpPassive, "True"},
    {kJpegQuality, "85"},
    {kPngLevel, "9"},
}};

// The seed of a value, read as a whole number (0 where there is none).
constexpr int seedNumber(std::string_view name) {
  for (const SeedRow& row : kSeedTable) {
    if (row.seed == nullptr || name != row.name) continue;
    int value = 0;
    for (char digit : std::string_view(row.seed)) value = value * 10 + (digit - '0');
    return value;
  }
  return 0;
}

// The hotkeys' defaults where a stored value cannot be read: their seeds.
inline constexpr std::array<int, 5> kHotkeyDefaults = {seedNumber(kHotkey1), seedNumber(kHotkey2),
                                                       seedNumber(kHotkey3), seedNumber(kHotkey4),
                                                       seedNumber(kHotkey5)};
static_assert(kHotkeyDefaults[0] == 8304 && kHotkeyDefaults[4] == 16500);

// The hotkey a stored number stands for: the number itself when a key combination can have it
// (a key in the low byte with only the Shift, Ctrl, Alt and Win bits above it, or 0 for none),
// otherwise the hotkey's default, as for a text that is no number. Registration, the overview
// and the dispatch all read a hotkey through this, so a listed combination is the one grabbed
// and the one that captures.
constexpr int hotKeyValue(std::size_t index, int stored) {
  constexpr int kModifierBits = 0x2000 | 0x4000 | 0x8000 | 0x10000;
  const bool combination =
      stored > 0 && (stored & ~(kModifierBits | 0xFF)) == 0 && (stored & 0xFF) != 0;
  return stored == 0 || combination ? stored : kHotkeyDefaults.at(index);
}

// The options dialog's stored controls ("component.property"), in save and restore order.
inline constexpr std::array<const char*, 29> kDialogStoredProps = {
    "HotKey1.HotKey",      "HotKey2.HotKey",     "HotKey3.HotKey",     "HotKey4.HotKey",
    "HotKey5.HotKey",      "fName1.Text",        "fPath1.Text",        "PicType.ItemIndex",
    "CheckBox1.Checked",   "CheckBox2.Checked",  "IntList1.Text",      "tmcType.ItemIndex",
    "FAction.ItemIndex",   "ClickOn.Checked",    "BalloonOn.Checked",  "DoFinal.Checked",
    "FtpPort1.Text",       "FtpServer1.Text",    "RemFolder1.Text",    "user1.Text",
    "pass1.Text",          "user1.Enabled",      "pass1.Enabled",      "DoAnonym.Checked",
    "DoPasv.Checked",      "JPGCompr1.Position", "PNGCompr1.Position", "RadioButton1.Checked",
    "RadioButton2.Checked"};

}  // namespace lumivex::settings
