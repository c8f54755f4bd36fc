#include "shell/StorageMode.h"

#include "settings/SettingsTable.h"

namespace lumivex::shell {

StorageMode ToggledStorageMode(const QString& radiobutton1Checked) {
  return {radiobutton1Checked.toLower() == QStringLiteral("false")};
}

void WriteStorageMode(const StorageMode& mode, const WriteSetting& writeSetting) {
  const QString on = QStringLiteral("True"), off = QStringLiteral("False");
  writeSetting(QLatin1String(settings::kClipboardMode), mode.clipboard ? on : off);
  writeSetting(QLatin1String(settings::kFileMode), mode.clipboard ? off : on);
}

}  // namespace lumivex::shell
