#include "shell/HotKeyManager.h"

#include "platform/KeyMap.h"

#include <QMap>
#include <QRegularExpression>

namespace lumivex::shell {
namespace {

constexpr unsigned kVkShift = 16, kVkControl = 17, kVkMenu = 18;

// Process-wide name table standing in for global atoms: a name keeps its number while used, and
// a freed number is given out again, so numbers stay within the 16-bit atom range.
struct AtomTable {
  static constexpr int kFirst = 0xC000, kLast = 0xFFFF;
  struct Atom {
    QString name;
    int uses;
  };
  QMap<int, Atom> atoms;  // by number, lowest first

  // The name's number, or 0 when every number is taken.
  int add(const QString& name) {
    for (auto it = atoms.begin(); it != atoms.end(); ++it) {
      if (it->name == name) {
        ++it->uses;
        return it.key();
      }
    }
    int number = kFirst;
    for (auto it = atoms.cbegin(); it != atoms.cend() && it.key() == number; ++it) ++number;
    if (number > kLast) return 0;
    atoms.insert(number, {name, 1});
    return number;
  }
  void remove(int number) {
    const auto it = atoms.find(number);
    if (it != atoms.end() && --it->uses == 0) atoms.erase(it);
  }
};

AtomTable& atomTable() {
  static AtomTable table;
  return table;
}

}  // namespace

THotKeyManager::THotKeyManager(platform::HotkeyBackend& backend, QObject* parent)
    : QObject(parent), backend_(backend) {
  backend_.setPressedHandler(
      [this](int id, unsigned modifiers, unsigned vk) { platformPressed(id, modifiers, vk); });
  // Localized modifier names are the layout's names of the modifier keys themselves.
  ctrlName_ = platform::qtModifierName(Qt::Key_Control);
  shiftName_ = platform::qtModifierName(Qt::Key_Shift);
  altName_ = platform::qtModifierName(Qt::Key_Alt);
  if (ctrlName_.isEmpty()) ctrlName_ = backend_.keyName(kVkControl, true);
  if (shiftName_.isEmpty()) shiftName_ = backend_.keyName(kVkShift, true);
  if (altName_.isEmpty()) altName_ = backend_.keyName(kVkMenu, true);
  static const QRegularExpression capitals(QStringLiteral("^[A-Z]+$"));
  winName_ = capitals.match(altName_).hasMatch() ? QStringLiteral("WIN") : QStringLiteral("Win");
}

THotKeyManager::~THotKeyManager() {
  ClearHotKeys();
  backend_.setPressedHandler(nullptr);
}

void THotKeyManager::SeparateHotKey(quint32 value, unsigned& virtualKey, unsigned& modifiers) {
  virtualKey = value & 0xFF;
  modifiers = 0;
  if (value & kHotKeyAlt) modifiers |= platform::kModAlt;
  if (value & kHotKeyCtrl) modifiers |= platform::kModControl;
  if (value & kHotKeyShift) modifiers |= platform::kModShift;
  if (value & kHotKeyWin) modifiers |= platform::kModWin;
}

int THotKeyManager::AddHotKey(quint32 value) {
  unsigned virtualKey = 0, modifiers = 0;
  SeparateHotKey(value, virtualKey, modifiers);
  const int id = atomTable().add(QStringLiteral("HotKeyManagerHotKey") + QString::number(value));
  if (id == 0) return 0;
  if (!backend_.registerHotKey(id, modifiers, virtualKey)) {
    atomTable().remove(id);  // refusal is silent by design
    return 0;
  }
  entries_.append({value, id});
  return id;
}

void THotKeyManager::ClearHotKeys() {
  while (!entries_.isEmpty()) {
    const Entry e = entries_.takeLast();
    backend_.unregisterHotKey(e.id);
    atomTable().remove(e.id);
  }
}

void THotKeyManager::platformPressed(int id, unsigned modifiers, unsigned virtualKey) {
  quint32 value = 0;
  if (modifiers & platform::kModShift) value += kHotKeyShift;
  if (modifiers & platform::kModControl) value += kHotKeyCtrl;
  if (modifiers & platform::kModAlt) value += kHotKeyAlt;
  if (modifiers & platform::kModWin) value += kHotKeyWin;
  value += virtualKey;
  for (const Entry& e : entries_) {
    if (e.value == value) {
      emit HotKeyPressed(value, quint16(id));
      return;
    }
  }
}

QString THotKeyManager::HotKeyToText(quint32 value, bool localized) const {
  QString prefix;
  if (value & kHotKeyCtrl) prefix += (localized ? ctrlName_ : QStringLiteral("Ctrl")) + u'+';
  if (value & kHotKeyShift) prefix += (localized ? shiftName_ : QStringLiteral("Shift")) + u'+';
  if (value & kHotKeyAlt) prefix += (localized ? altName_ : QStringLiteral("Alt")) + u'+';
  if (value & kHotKeyWin) prefix += (localized ? winName_ : QStringLiteral("Win")) + u'+';
  return prefix + backend_.keyName(value & 0xFF, localized);
}

}  // namespace lumivex::shell
