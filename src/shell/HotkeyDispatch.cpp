#include "shell/HotkeyDispatch.h"

#include "settings/SettingsTable.h"

namespace lumivex::shell {

void DispatchHotKey(quint32 value, const ReadSettingInt& readSettingInt,
                    const HotKeyActions& actions) {
  for (int i = 0; i < kHotKeyCount; ++i) {
    const int stored = readSettingInt(QLatin1String(settings::kHotkeys[i]), 0);
    if (stored >= 0 && quint32(stored) == value && actions[i]) actions[i]();
  }
}

}  // namespace lumivex::shell
