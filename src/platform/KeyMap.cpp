#include "platform/KeyMap.h"

#include <QKeySequence>

#include <array>
#include <vector>

namespace lumivex::platform {
namespace {

// Keysym numbers are fixed by the X protocol; written out so this table needs no X headers.
constexpr unsigned kXkF1 = 0xffbe;
constexpr unsigned kXkKp0 = 0xffb0;

std::vector<KeyInfo> buildTable() {
  std::vector<KeyInfo> t = {
      {0x08, 0xff08, Qt::Key_Backspace, "Backspace"},
      {0x09, 0xff09, Qt::Key_Tab, "Tab"},
      {0x0D, 0xff0d, Qt::Key_Return, "Enter"},
      {0x13, 0xff13, Qt::Key_Pause, "Pause"},
      {0x14, 0xffe5, Qt::Key_CapsLock, "Caps Lock"},
      {0x1B, 0xff1b, Qt::Key_Escape, "Esc"},
      {0x20, 0x0020, Qt::Key_Space, "Space"},
      {0x21, 0xff55, Qt::Key_PageUp, "Page Up"},
      {0x22, 0xff56, Qt::Key_PageDown, "Page Down"},
      {0x23, 0xff57, Qt::Key_End, "End"},
      {0x24, 0xff50, Qt::Key_Home, "Home"},
      {0x25, 0xff51, Qt::Key_Left, "Left"},
      {0x26, 0xff52, Qt::Key_Up, "Up"},
      {0x27, 0xff53, Qt::Key_Right, "Right"},
      {0x28, 0xff54, Qt::Key_Down, "Down"},
      {0x2C, 0xff61, Qt::Key_Print, "Prnt Scrn"},
      {0x2D, 0xff63, Qt::Key_Insert, "Insert"},
      {0x2E, 0xffff, Qt::Key_Delete, "Delete"},
      {0x5D, 0xff67, Qt::Key_Menu, "Application"},
      {0x6A, 0xffaa, (Qt::KeypadModifier | Qt::Key_Asterisk).toCombined(), "Num *"},
      {0x6B, 0xffab, (Qt::KeypadModifier | Qt::Key_Plus).toCombined(), "Num +"},
      {0x6C, 0xffac, (Qt::KeypadModifier | Qt::Key_Comma).toCombined(), "Num ,"},
      {0x6D, 0xffad, (Qt::KeypadModifier | Qt::Key_Minus).toCombined(), "Num -"},
      {0x6E, 0xffae, (Qt::KeypadModifier | Qt::Key_Period).toCombined(), "Num Del"},
      {0x6F, 0xffaf, (Qt::KeypadModifier | Qt::Key_Slash).toCombined(), "Num /"},
      {0x90, 0xff7f, Qt::Key_NumLock, "Num Lock"},
      {0x91, 0xff14, Qt::Key_ScrollLock, "Scroll Lock"},
      {0xBA, 0x003b, Qt::Key_Semicolon, ";"},
      {0xBB, 0x003d, Qt::Key_Equal, "="},
      {0xBC, 0x002c, Qt::Key_Comma, ","},
      {0xBD, 0x002d, Qt::Key_Minus, "-"},
      {0xBE, 0x002e, Qt::Key_Period, "."},
      {0xBF, 0x002f, Qt::Key_Slash, "/"},
      {0xC0, 0x0060, Qt::Key_QuoteLeft, "`"},
      {0xDB, 0x005b, Qt::Key_BracketLeft, "["},
      {0xDC, 0x005c, Qt::Key_Backslash, "\\"},
      {0xDD, 0x005d, Qt::Key_BracketRight, "]"},
      {0xDE, 0x0027, Qt::Key_Apostrophe, "'"},
      {0xE2, 0x003c, Qt::Key_Less, "<"},
  };
  static constexpr std::array<const char*, 10> kDigits = {"0", "1", "2", "3", "4",
                                                          "5", "6", "7", "8", "9"};
  static constexpr std::array<const char*, 10> kPadDigits = {
      "Num 0", "Num 1", "Num 2", "Num 3", "Num 4", "Num 5", "Num 6", "Num 7", "Num 8", "Num 9"};
  for (unsigned i = 0; i < 10; ++i) {
    t.push_back({0x30 + i, 0x30 + i, int(Qt::Key_0) + int(i), kDigits[i]});
    t.push_back(
        {0x60 + i, kXkKp0 + i, int(Qt::KeypadModifier) | (int(Qt::Key_0) + int(i)), kPadDigits[i]});
  }
  static constexpr std::array<const char*, 26> kLetters = {
      "A", "B", "C", "D", "E", "F", "G", "H", "I", "J", "K", "L", "M",
      "N", "O", "P", "Q", "R", "S", "T", "U", "V", "W", "X", "Y", "Z"};
  for (unsigned i = 0; i < 26; ++i)
    t.push_back({0x41 + i, 0x61 + i, int(Qt::Key_A) + int(i), kLetters[i]});
  static constexpr std::array<const char*, 24> kFunctions = {
      "F1",  "F2",  "F3",  "F4",  "F5",  "F6",  "F7",  "F8",  "F9",  "F10", "F11", "F12",
      "F13", "F14", "F15", "F16", "F17", "F18", "F19", "F20", "F21", "F22", "F23", "F24"};
  for (unsigned i = 0; i < 24; ++i)
    t.push_back({0x70 + i, kXkF1 + i, int(Qt::Key_F1) + int(i), kFunctions[i]});
  return t;
}

const std::vector<KeyInfo>& table() {
  static const std::vector<KeyInfo> t = buildTable();
  return t;
}

}  // namespace

const KeyInfo* keyByVirtualKey(unsigned virtualKey) {
  for (const KeyInfo& k : table())
    if (k.virtualKey == virtualKey) return &k;
  return nullptr;
}

const KeyInfo* keyByKeysym(unsigned keysym) {
  if (keysym >= 0x41 && keysym <= 0x5a) keysym += 0x20;  // upper-case letter keysyms
  for (const KeyInfo& k : table())
    if (k.keysym == keysym) return &k;
  return nullptr;
}

unsigned keysymForVirtualKey(unsigned virtualKey) {
  const KeyInfo* k = keyByVirtualKey(virtualKey);
  return k ? k->keysym : 0;
}

unsigned virtualKeyForKeysym(unsigned keysym) {
  const KeyInfo* k = keyByKeysym(keysym);
  return k ? k->virtualKey : 0;
}

QString usKeyName(unsigned virtualKey) {
  const KeyInfo* k = keyByVirtualKey(virtualKey);
  return k ? QString::fromLatin1(k->usName) : QString();
}

QString qtKeyName(unsigned virtualKey) {
  const KeyInfo* k = keyByVirtualKey(virtualKey);
  return k ? QKeySequence(k->qtKey).toString(QKeySequence::NativeText) : QString();
}

QString qtModifierName(int qtKey) {
  // Qt names modifiers as parts of a combination ("Ctrl+A"), the keys alone differently.
  Qt::KeyboardModifier modifier = Qt::NoModifier;
  if (qtKey == Qt::Key_Control) modifier = Qt::ControlModifier;
  if (qtKey == Qt::Key_Shift) modifier = Qt::ShiftModifier;
  if (qtKey == Qt::Key_Alt) modifier = Qt::AltModifier;
  if (modifier == Qt::NoModifier) return QString();
  QString text =
      QKeySequence(QKeyCombination(modifier, Qt::Key_A)).toString(QKeySequence::NativeText);
  if (text.endsWith(u'A')) text.chop(1);
  if (text.endsWith(u'+')) text.chop(1);
  return text;
}

char32_t keysymToChar(unsigned keysym) {
  if ((keysym >= 0x20 && keysym <= 0x7e) || (keysym >= 0xa0 && keysym <= 0xff)) return keysym;
  if (keysym >= 0x1000100 && keysym <= 0x110ffff) return keysym - 0x1000000;
  return 0;
}

}  // namespace lumivex::platform
