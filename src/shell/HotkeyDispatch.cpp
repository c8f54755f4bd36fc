#include "shell/HotkeyDispatch.h"

#include "settings/SettingsTable.h"

namespace lumivex::shell {

void DispatchHotKey(quint32 value, const ReadSettingInt& readSettingInt,
                    const HotKeyActions& actions) {
  for (std::size_t i = 0; i < kHotKeyCount; ++i) {
    const int stored = settings::hotKeyValue(
        i, readSettingInt(QLatin1String(settings::kHotkeys[i]), settings::kHotkeyDefaults[i]));
    if (quint32(stored) == value && actions[i]) actions[i]();
  }
}

}  // namespace lumivex::shell
