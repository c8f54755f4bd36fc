#include "platform/FakeHotkeyBackend.h"

#include "platform/KeyMap.h"

#include <algorithm>

namespace lumivex::platform {
namespace {
quint64 combination(unsigned modifiers, unsigned virtualKey) {
  return (quint64(modifiers) << 32) | virtualKey;
}
}  // namespace

bool FakeHotkeyBackend::registerHotKey(int id, unsigned modifiers, unsigned virtualKey) {
  if (heldElsewhere_.contains(combination(modifiers, virtualKey))) return false;
  for (const Registration& r : registrations_)
    if (r.id == id || (r.modifiers == modifiers && r.virtualKey == virtualKey)) return false;
  registrations_.append({id, modifiers, virtualKey});
  return true;
}

void FakeHotkeyBackend::unregisterHotKey(int id) {
  registrations_.removeIf([id](const Registration& r) { return r.id == id; });
}

QString FakeHotkeyBackend::keyName(unsigned virtualKey, bool localized) const {
  if (localized && localizedNames_.contains(virtualKey)) return localizedNames_.value(virtualKey);
  return usKeyName(virtualKey);
}

std::optional<QString> FakeHotkeyBackend::boundKeys(unsigned modifiers, unsigned virtualKey) const {
  if (!available) return QString();
  if (!desktopBinds) return std::nullopt;
  return desktopKeys.value(quint64(modifiers) << 32 | virtualKey);
}

void FakeHotkeyBackend::holdElsewhere(unsigned modifiers, unsigned virtualKey) {
  heldElsewhere_.insert(combination(modifiers, virtualKey));
}

bool FakeHotkeyBackend::press(unsigned modifiers, unsigned virtualKey) const {
  const auto match = std::ranges::find_if(registrations_, [&](const Registration& r) {
    return r.modifiers == modifiers && r.virtualKey == virtualKey;
  });
  if (match == registrations_.end()) return false;
  notifyPressed(match->id, modifiers, virtualKey);
  return true;
}

void FakeHotkeyBackend::setLocalizedName(unsigned virtualKey, const QString& name) {
  localizedNames_.insert(virtualKey, name);
}

}  // namespace lumivex::platform
