// Who Lumivex is to the desktop. One id names the installed desktop entry
// (<id>.desktop), the autostart entry, the Wayland app_id, the AppStream component and the
// application the desktop portal ties screenshot permissions and bound shortcuts to: a desktop
// that finds no entry of that name shows no dialog for the program (GNOME refuses its shortcuts
// outright). The build declares it once, for the packaging and the code alike.
#pragma once

namespace lumivex::platform {

inline constexpr const char* kAppId = LUMIVEX_APP_ID;

// The file name of the desktop entry, installed and in the autostart folder.
inline constexpr const char* kDesktopEntryName = LUMIVEX_APP_ID ".desktop";

}  // namespace lumivex::platform
