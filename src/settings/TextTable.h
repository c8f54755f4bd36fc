// Every text the program looks up in the language file: its string number and its built-in
// default, declared once for the lookups and for the check of the shipped language file.
#pragma once

#include <array>
#include <string_view>

namespace lumivex::settings {

// The string numbers the program looks up by name; the dialog's controls name theirs in its own
// table (options/TOptForm.cpp).
namespace text {
inline constexpr int kScreenCaptured = 145;
inline constexpr int kPictureSavedAs = 150;
inline constexpr int kConnectedTo = 160;
inline constexpr int kLoggedOnTo = 170;
inline constexpr int kBytesTransferred = 190;
inline constexpr int kUploadComplete = 200;
inline constexpr int kUploadedTo = 210;
inline constexpr int kUploadFailed = 220;
inline constexpr int kUploadTimedOut = 230;
inline constexpr int kFtpStatus = 240;
inline constexpr int kMailBody = 250;
inline constexpr int kHotkeysTitle = 260;
inline constexpr int kFullScreen = 270;
inline constexpr int kScreenArea = 280;
inline constexpr int kActiveWindow = 290;
inline constexpr int kTimedCapture = 300;
inline constexpr int kOptionsItem = 310;
inline constexpr int kShowHotkeysItem = 320;
inline constexpr int kExitItem = 330;
inline constexpr int kSelectFolder = 610;
inline constexpr int kChooseFolder = 620;
inline constexpr int kPictureOnClipboard = 750;
inline constexpr int kNoTimedCaptureToClipboard = 760;
inline constexpr int kCaptureToFile = 780;
inline constexpr int kCaptureToClipboard = 790;
inline constexpr int kSwitchStorageMode = 800;
inline constexpr int kNewStorageMode = 810;
inline constexpr int kCommandNotAvailable = 820;
inline constexpr int kNoWindowCapture = 900;
inline constexpr int kNoGlobalShortcuts = 910;
inline constexpr int kNoKey = 920;
inline constexpr int kScreenshotNotAllowed = 930;
inline constexpr int kAllowScreenshots = 940;
inline constexpr int kNoSlashInName = 950;
}  // namespace text

struct TextRow {
  int number;
  const char* text;  // the built-in English default
};

// String 260 titles the hotkey overview; as a balloon title it has a default of its own
// ("Hotkeys to capture...", options/HotkeyOverview.h).
inline constexpr std::array<TextRow, 76> kTextTable = {{
    {145, "Screen captured!"},
    {150, "Picture saved as"},
    {160, "Connected to"},
    {170, "logged on to"},
    {190, "bytes transferred"},
    {200, "Upload Complete"},
    {210, "uploaded to"},
    {220, "Upload Failed"},
    {230, "Upload timed out."},
    {240, "FTP Status"},
    {250, "Lumivex has attached a picture to this e-mail message"},
    {260, "Hotkey to caputre..."},
    {270, "Full screen"},
    {280, "Screen area"},
    {290, "Active window"},
    {300, "Timed capture"},
    {310, "Options..."},
    {320, "Show hotkeys for capture"},
    {330, "Exit"},
    {335, "Main"},
    {340, "Hotkeys"},
    {350, "Capture full screen:"},
    {360, "Capture screen area:"},
    {370, "Capture active window:"},
    {380, "Start/stop timed capture:"},
    {390, "File settings"},
    {400, "Save picture as:"},
    {410, "File name:"},
    {420, "Add date and time stamp to filename"},
    {430, "Add current user name to filename"},
    {440, "Save file in:"},
    {445, "Advanced"},
    {450, "Miscellaneous"},
    {460, "Play sound when done"},
    {470, "Show balloon when done (Windows 2000/XP/2003/Vista only)"},
    {480, "Run Lumivex at Windows startup"},
    {490, "Perform final action:"},
    {500, "Timed capture settings"},
    {510, "Capture screen every:"},
    {520, "minutes"},
    {530, "seconds"},
    {540, "Picture quality settings"},
    {550, "JPEG Compression"},
    {560, "PNG Quality"},
    {570, "None"},
    {580, "FTP upload"},
    {590, "E-mail"},
    {600, "About"},
    {610, "Select folder..."},
    {620, "Please, choose the folder where you want your picture(s) to be stored."},
    {630, "Compress picture to ZIP with 7-Zip"},
    {640, "Compress picture to 7z with 7-Zip"},
    {650, "FTP server address (ftp:// not required):"},
    {660, "Anonymous access"},
    {670, "User name:"},
    {680, "Password:"},
    {690, "Port (default 21):"},
    {700, "Remote destination folder:"},
    {710, "Passive connection (PASV):"},
    {720, "FTP Settings"},
    {730, "Save to Clipboard"},
    {740, "Save to file"},
    {750, "Picture stored in the clipboard"},
    {760, "Timed capture is not available when storing pictures to clipboard."},
    {770, "Switch storage mode:"},
    {780, "Capture to file."},
    {790, "Capture to clipboard."},
    {800, "Switch storage mode"},
    {810, "New storage mode."},
    {820, "Command not available."},
    // Texts of the Linux desktop: what a Wayland desktop does not let programs do.
    {900,
     "This desktop does not let programs capture the active window. Use a full-screen or area "
     "capture instead."},
    {910,
     "The desktop has bound no key for the captures marked \"no key\". Bind keys in its "
     "keyboard settings to \"lumivex --capture KIND\", where KIND is screen, area, window, timed "
     "or toggle-mode."},
    // A hotkey overview line whose capture the desktop bound no key for.
    {920, "no key"},
    // The desktop refused a screenshot, or its permission dialog went unanswered.
    {930, "Screenshot not allowed"},
    {940,
     "The desktop did not allow Lumivex to take the picture. Allow screenshots for Lumivex in the "
     "desktop's privacy settings, then try again."},
    // The options dialog took a "/" out of the file name as it was typed.
    {950, "The file name must not contain \"/\": pictures are saved in the chosen folder."},
}};

// The built-in default of a string number; empty for a number outside the table.
constexpr std::string_view defaultText(int number) {
  for (const TextRow& row : kTextTable)
    if (row.number == number) return row.text;
  return {};
}

}  // namespace lumivex::settings
