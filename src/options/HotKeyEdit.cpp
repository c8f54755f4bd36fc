#include "options/HotKeyEdit.h"

#include <QKeyEvent>

#include "platform/KeyMap.h"

namespace lumivex::options {
namespace {

constexpr int kShift = 0x2000, kCtrl = 0x4000, kAlt = 0x8000;

int modifierBits(Qt::KeyboardModifiers modifiers) {
  int bits = 0;
  if (modifiers & Qt::ShiftModifier) bits |= kShift;
  if (modifiers & Qt::ControlModifier) bits |= kCtrl;
  if (modifiers & Qt::AltModifier) bits |= kAlt;
  return bits;
}

// Qt reports the shifted character of a US key ("!" for Shift+1); the stored value names the key.
int unshiftedUsKey(int qtKey) {
  static constexpr std::pair<int, int> kShifted[] = {{Qt::Key_Exclam, Qt::Key_1},
                                                     {Qt::Key_At, Qt::Key_2},
                                                     {Qt::Key_NumberSign, Qt::Key_3},
                                                     {Qt::Key_Dollar, Qt::Key_4},
                                                     {Qt::Key_Percent, Qt::Key_5},
                                                     {Qt::Key_AsciiCircum, Qt::Key_6},
                                                     {Qt::Key_Ampersand, Qt::Key_7},
                                                     {Qt::Key_Asterisk, Qt::Key_8},
                                                     {Qt::Key_ParenLeft, Qt::Key_9},
                                                     {Qt::Key_ParenRight, Qt::Key_0},
                                                     {Qt::Key_Underscore, Qt::Key_Minus},
                                                     {Qt::Key_Plus, Qt::Key_Equal},
                                                     {Qt::Key_BraceLeft, Qt::Key_BracketLeft},
                                                     {Qt::Key_BraceRight, Qt::Key_BracketRight},
                                                     {Qt::Key_Colon, Qt::Key_Semicolon},
                                                     {Qt::Key_QuoteDbl, Qt::Key_Apostrophe},
                                                     {Qt::Key_Less, Qt::Key_Comma},
                                                     {Qt::Key_Greater, Qt::Key_Period},
                                                     {Qt::Key_Question, Qt::Key_Slash},
                                                     {Qt::Key_AsciiTilde, Qt::Key_QuoteLeft},
                                                     {Qt::Key_Bar, Qt::Key_Backslash},
                                                     {Qt::Key_Backtab, Qt::Key_Tab}};
  for (auto [shifted, plain] : kShifted)
    if (qtKey == shifted) return plain;
  return qtKey;
}

unsigned virtualKeyOf(const QKeyEvent& event) {
  const int padBit = event.modifiers() & Qt::KeypadModifier ? int(Qt::KeypadModifier) : 0;
  // With Shift held the reported key is the shifted character: look for its own key first.
  const bool shifted = event.modifiers() & Qt::ShiftModifier;
  const int unshifted = unshiftedUsKey(event.key());
  for (int key : {shifted ? unshifted : event.key(), shifted ? event.key() : unshifted}) {
    for (unsigned vk = 1; vk < 256; ++vk) {
      const platform::KeyInfo* info = platform::keyByVirtualKey(vk);
      if (info && info->qtKey == (key | padBit)) return vk;
    }
  }
  // The X keysym of the key, where the window system gives one.
  return platform::virtualKeyForKeysym(event.nativeVirtualKey());
}

bool isModifierKey(int key) {
  return key == Qt::Key_Shift || key == Qt::Key_Control || key == Qt::Key_Alt ||
         key == Qt::Key_Meta || key == Qt::Key_AltGr || key == Qt::Key_Super_L ||
         key == Qt::Key_Super_R;
}

}  // namespace

int hotKeyValueOf(const QKeyEvent& event) {
  const unsigned vk = virtualKeyOf(event);
  return vk ? int(vk) | modifierBits(event.modifiers()) : 0;
}

HotKeyEdit::HotKeyEdit(QWidget* parent) : QLineEdit(parent) {
  // Read-only: typing, pasting and dropping never edit the text, only keyPressEvent records.
  setReadOnly(true);
  setContextMenuPolicy(Qt::NoContextMenu);
  setAttribute(Qt::WA_InputMethodEnabled, false);
  showValue();
}

void HotKeyEdit::setHotKey(int value) {
  if (value == value_) return;
  value_ = value;
  showValue();
  emit hotKeyChanged(value_);
}

void HotKeyEdit::setTextOf(std::function<QString(quint32)> textOf) {
  textOf_ = std::move(textOf);
  showValue();
}

bool HotKeyEdit::event(QEvent* e) {
  // Keys that are shortcuts elsewhere are recorded here; Tab moves the focus before this.
  if (e->type() == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(e);
    if (key->key() != Qt::Key_Escape && key->key() != Qt::Key_Return &&
        key->key() != Qt::Key_Enter && key->key() != Qt::Key_Tab) {
      e->accept();
      return true;
    }
  }
  return QLineEdit::event(e);
}

void HotKeyEdit::keyPressEvent(QKeyEvent* e) {
  const int key = e->key();
  if (key == Qt::Key_Tab || key == Qt::Key_Backtab || key == Qt::Key_Return ||
      key == Qt::Key_Enter || key == Qt::Key_Escape) {
    e->ignore();
    return;
  }
  if (isModifierKey(key)) {
    showModifiers(e->modifiers());
    return;
  }
  int value = hotKeyValueOf(*e);
  if (value == 0) return;  // a key no hotkey can name
  const int modifiers = value & (kShift | kCtrl | kAlt);
  if (modifiers == 0 || modifiers == kShift) value = (value & 0xFF) | replacement_;
  setHotKey(value);
  showValue();
}

void HotKeyEdit::keyReleaseEvent(QKeyEvent* e) {
  if (isModifierKey(e->key()) &&
      !(e->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier)))
    showValue();
}

// A combination is replaced as a whole, never edited: no selection to suggest otherwise.
void HotKeyEdit::focusInEvent(QFocusEvent* e) {
  QLineEdit::focusInEvent(e);
  deselect();
}

void HotKeyEdit::focusOutEvent(QFocusEvent* e) {
  showValue();
  QLineEdit::focusOutEvent(e);
}

void HotKeyEdit::showValue() {
  if (textOf_) {
    setText(textOf_(quint32(value_)));
    return;
  }
  QString prefix;
  if (value_ & kCtrl) prefix += QStringLiteral("Ctrl+");
  if (value_ & kShift) prefix += QStringLiteral("Shift+");
  if (value_ & kAlt) prefix += QStringLiteral("Alt+");
  setText(prefix + platform::usKeyName(unsigned(value_) & 0xFF));
}

// While modifiers are held the field shows what is being typed, as "Ctrl+Alt+".
void HotKeyEdit::showModifiers(Qt::KeyboardModifiers modifiers) {
  if (textOf_) {
    setText(textOf_(quint32(modifierBits(modifiers))));
    return;
  }
  QString text;
  if (modifiers & Qt::ControlModifier) text += QStringLiteral("Ctrl+");
  if (modifiers & Qt::ShiftModifier) text += QStringLiteral("Shift+");
  if (modifiers & Qt::AltModifier) text += QStringLiteral("Alt+");
  setText(text);
}

}  // namespace lumivex::options
