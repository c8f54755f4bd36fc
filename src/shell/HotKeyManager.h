// Global hotkeys: registrations by hotkey value, their presses, and their names.
#pragma once

#include "platform/HotkeyBackend.h"

#include <QList>
#include <QObject>
#include <QString>

namespace lumivex::shell {

// A hotkey value: virtual key in the low byte plus these modifier bits.
inline constexpr quint32 kHotKeyShift = 0x2000;
inline constexpr quint32 kHotKeyCtrl = 0x4000;
inline constexpr quint32 kHotKeyAlt = 0x8000;
inline constexpr quint32 kHotKeyWin = 0x10000;

class THotKeyManager : public QObject {
  Q_OBJECT

 public:
  // The backend must outlive the manager.
  explicit THotKeyManager(platform::HotkeyBackend& backend, QObject* parent = nullptr);
  ~THotKeyManager() override;

  // Registers a combination; its identifier, or 0 when the system refuses it (nothing is shown).
  int AddHotKey(quint32 value);
  // Unregisters every combination, the last added first.
  void ClearHotKeys();

  static void SeparateHotKey(quint32 value, unsigned& virtualKey, unsigned& modifiers);
  // "Ctrl+Shift+Alt+Win+Key" in that order; layout and desktop names when `localized`.
  QString HotKeyToText(quint32 value, bool localized) const;

  int Count() const { return int(entries_.size()); }

 signals:
  // OnHotKeyPressed: a registered combination was pressed.
  void HotKeyPressed(quint32 value, quint16 id);

 private:
  struct Entry {
    quint32 value;
    int id;
  };
  void platformPressed(int id, unsigned modifiers, unsigned virtualKey);

  platform::HotkeyBackend& backend_;
  QList<Entry> entries_;
  QString ctrlName_, shiftName_, altName_, winName_;  // localized, taken once
};

}  // namespace lumivex::shell
