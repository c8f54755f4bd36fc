#include "shell/StorageModeSwitch.h"

namespace lumivex::shell {

void SwitchStorageMode(const settings::SettingsReader& settings, TTrayIcon& trayIcon,
                       Notices& notices) {
  const StorageMode mode = ToggledStorageMode(QString::fromStdString(settings.clipboardModeText()));
  trayIcon.SetIconIndex(mode.iconIndex());
  WriteStorageMode(mode, [&settings](const QString& name, const QString& value) {
    settings.key().write(name.toStdString(), value.toStdString());
  });
  notices.NotifyStorageMode(mode);
}

}  // namespace lumivex::shell
