// Windows virtual-key codes (the encoding of stored hotkeys) against X keysyms and Qt keys.
#pragma once

#include <QString>

namespace lumivex::platform {

struct KeyInfo {
  unsigned virtualKey;
  unsigned keysym;  // X keysym produced by the key without modifiers (lower-case for letters)
  int qtKey;        // Qt::Key, with Qt::KeypadModifier for the numeric keypad
  const char* usName;
};

// The entry of a virtual key, or nullptr for a key outside the table.
const KeyInfo* keyByVirtualKey(unsigned virtualKey);
// The entry whose key produces `keysym` (either letter case), or nullptr.
const KeyInfo* keyByKeysym(unsigned keysym);

unsigned keysymForVirtualKey(unsigned virtualKey);  // 0 when unknown
unsigned virtualKeyForKeysym(unsigned keysym);      // 0 when unknown

// US English key name ("F1", "Page Up", "Num 5", "A"); empty when unknown.
QString usKeyName(unsigned virtualKey);
// Qt's name of the key in the desktop's language ("PgUp"), without layout knowledge.
QString qtKeyName(unsigned virtualKey);
// Qt's name of a modifier in a combination, for Qt::Key_Control, Qt::Key_Shift or Qt::Key_Alt.
QString qtModifierName(int qtKey);

// Unicode character a keysym types, or 0 when it types none (function and keypad keys).
char32_t keysymToChar(unsigned keysym);

}  // namespace lumivex::platform
