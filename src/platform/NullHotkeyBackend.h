// Hotkeys where the window system offers none (not an X11 display): every combination is
// accepted and never pressed, so the rest of the program runs unchanged.
#pragma once

#include "platform/HotkeyBackend.h"
#include "platform/KeyMap.h"

namespace lumivex::platform {

class NullHotkeyBackend final : public HotkeyBackend {
 public:
  bool registerHotKey(int /*id*/, unsigned /*modifiers*/, unsigned /*virtualKey*/) override {
    return true;
  }
  void unregisterHotKey(int /*id*/) override {}
  QString keyName(unsigned virtualKey, bool /*localized*/) const override {
    return usKeyName(virtualKey);
  }
};

}  // namespace lumivex::platform
