// A field that records a key combination while it has the focus and yields it as a hotkey
// value (virtual key in the low byte, 0x2000 Shift, 0x4000 Ctrl, 0x8000 Alt).
//
// Tab, Return, Enter and Escape keep their dialog meaning and are never recorded. A key typed
// without a modifier, or with Shift alone, gets the replacement modifier instead (Shift+F7 for
// plain F7 when the replacement is Shift; Ctrl+F7 for F7 and Shift+F7 when it is Ctrl).
#pragma once

#include <QLineEdit>
#include <functional>

namespace lumivex::options {

class HotKeyEdit : public QLineEdit {
  Q_OBJECT
  Q_PROPERTY(int hotKey READ hotKey WRITE setHotKey NOTIFY hotKeyChanged)

 public:
  explicit HotKeyEdit(QWidget* parent = nullptr);

  int hotKey() const { return value_; }
  void setHotKey(int value);

  // 0x2000 (Shift) or 0x4000 (Ctrl).
  void setReplacementModifier(int modifier) { replacement_ = modifier; }
  // How a value reads; the US names until one is given.
  void setTextOf(std::function<QString(quint32)> textOf);

 signals:
  void hotKeyChanged(int value);

 protected:
  bool event(QEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void keyReleaseEvent(QKeyEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;

 private:
  void showValue();
  void showModifiers(Qt::KeyboardModifiers modifiers);

  int value_ = 0;
  int replacement_ = 0x2000;
  std::function<QString(quint32)> textOf_;
};

// The hotkey value of a key event before the replacement rule; 0 for a key that has none.
int hotKeyValueOf(const QKeyEvent& event);

}  // namespace lumivex::options
