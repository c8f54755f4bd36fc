// The storage-mode hotkey: switches between file and clipboard output.
#pragma once

#include "settings/SettingsReader.h"
#include "shell/Notices.h"
#include "shell/TrayIcon.h"

namespace lumivex::shell {

// Stores the other mode, shows it in the tray's picture and says so in a notice.
void SwitchStorageMode(const settings::SettingsReader& settings, TTrayIcon& trayIcon,
                       Notices& notices);

}  // namespace lumivex::shell
