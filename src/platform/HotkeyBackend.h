// System-wide key combinations: registration with the window system and their presses.
#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <optional>
#include <utility>

namespace lumivex::platform {

// Modifier flags of a registration (the values the stored hotkeys have always used).
enum HotkeyModifier : unsigned {
  kModAlt = 1,
  kModControl = 2,
  kModShift = 4,
  kModWin = 8,
};

// What a combination is for, told to desktops that bind keys themselves and list them to the
// user.
struct HotkeyPurpose {
  unsigned modifiers = 0;
  unsigned virtualKey = 0;
  // Stable whatever keys it has ("screen", "area", ...): the desktop files the keys the user
  // assigns under it and finds them again at the next start and after every change here.
  QString name;
  QString description;  // what the key does, in the user's language
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

  // Says what the combinations registered from now on are for. Ignored by a backend that grabs
  // keys itself; one that hands them to the desktop names and describes them with it.
  virtual void describeHotKeys(const QList<HotkeyPurpose>& /*purposes*/) {}

  // The keys that actually run a registered combination. Nothing where that is the combination
  // itself (the backend grabs it); otherwise the desktop's own text for the keys it bound, which
  // may differ from the combination, and empty when it bound none (the desktop refused, the user
  // declined, the combination was not registered, or the desktop binds nothing at all).
  virtual std::optional<QString> boundKeys(unsigned /*modifiers*/, unsigned /*virtualKey*/) const {
    return std::nullopt;
  }

  // True while the desktop has not yet answered for the latest registrations (it may be asking
  // the user): boundKeys() tells the truth again after the next bindings-changed call.
  virtual bool bindingPending() const { return false; }

  void setPressedHandler(PressedHandler handler) { pressed_ = std::move(handler); }
  // Called whenever boundKeys() or bindingPending() may have changed.
  void setBindingsChangedHandler(std::function<void()> handler) { changed_ = std::move(handler); }

 protected:
  void notifyPressed(int id, unsigned modifiers, unsigned virtualKey) const {
    if (pressed_) pressed_(id, modifiers, virtualKey);
  }
  void notifyBindingsChanged() const {
    if (changed_) changed_();
  }

 private:
  PressedHandler pressed_;
  std::function<void()> changed_;
};

// Where the desktop offers no system-wide keys: every registration is accepted and never
// pressed; keys carry their US English names.
class UnavailableHotkeyBackend final : public HotkeyBackend {
 public:
  bool registerHotKey(int, unsigned, unsigned) override { return true; }
  void unregisterHotKey(int) override {}
  QString keyName(unsigned virtualKey, bool localized) const override;
  bool isAvailable() const override { return false; }
  std::optional<QString> boundKeys(unsigned, unsigned) const override { return QString(); }
};

}  // namespace lumivex::platform
