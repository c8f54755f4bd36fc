#include "shell/HotkeyDispatch.h"

namespace lumivex::shell {

void DispatchHotKey(quint32 value, const settings::SettingsReader& settings,
                    const std::function<void(settings::CaptureKind)>& run) {
  for (std::size_t i = 0; i < settings::kCaptureCommands.size(); ++i) {
    const int hotkey = settings.hotkey(i);
    if (hotkey > 0 && quint32(hotkey) == value) run(settings::kCaptureCommands[i].kind);
  }
}

}  // namespace lumivex::shell
