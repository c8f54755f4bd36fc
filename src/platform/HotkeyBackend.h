// System-wide key combinations: registration with the window system and their presses.
#pragma once

#include <QString>

#include <functional>
#include <utility>

namespace lumivex::platform {

// Modifier flags of a registration (the values the stored hotkeys have always used).
enum HotkeyModifier : unsigned {
  kModAlt = 1,
  kModControl = 2,
  kModShift = 4,
  kModWin = 8,
};

class HotkeyBackend {
 public:
  // A registered combination was pressed: its id, modifier flags and virtual key.
  using PressedHandler = std::function<void(int id, unsigned modifiers, unsigned virtualKey)>;

  virtual ~HotkeyBackend() = default;

  // Registers a combination under `id` (ids are unique per backend). False when the system
  // refuses it: another client holds it, it is registered here already, or the key is unknown.
  virtual bool registerHotKey(int id, unsigned modifiers, unsigned virtualKey) = 0;
  virtual void unregisterHotKey(int id) = 0;

  // Display name of a key alone: the current layout's name when `localized`, the US English
  // name otherwise; empty for a key this backend cannot name.
  virtual QString keyName(unsigned virtualKey, bool localized) const = 0;

  // False where the desktop lets no program own system-wide keys (a Wayland desktop without
  // the global shortcuts portal): registrations are accepted and never pressed, and the caller
  // points the user to the desktop's own shortcut settings instead.
  virtual bool isAvailable() const { return true; }

  void setPressedHandler(PressedHandler handler) { pressed_ = std::move(handler); }

 protected:
  void notifyPressed(int id, unsigned modifiers, unsigned virtualKey) const {
    if (pressed_) pressed_(id, modifiers, virtualKey);
  }

 private:
  PressedHandler pressed_;
};

// Where the desktop offers no system-wide keys: every registration is accepted and never
// pressed; keys carry their US English names.
class UnavailableHotkeyBackend final : public HotkeyBackend {
 public:
  bool registerHotKey(int, unsigned, unsigned) override { return true; }
  void unregisterHotKey(int) override {}
  QString keyName(unsigned virtualKey, bool localized) const override;
  bool isAvailable() const override { return false; }
};

}  // namespace lumivex::platform
