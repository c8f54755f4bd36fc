// Reads and writes single settings, and saves and restores a form's controls as a whole.
//
// Declare a TFormStorage as a member of its owner form: it restores the stored controls when
// the form is shown, saves them when the form is closed, and (from its destructor, which runs
// while the form's controls still exist) saves them when the form is destroyed unsaved.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>

#include "settings/SettingsFile.h"

namespace lumivex {

class TFormStorage : public QObject {
  Q_OBJECT

 public:
  // owner may be null for a storage used only for single values.
  explicit TFormStorage(SettingsFile key, QWidget* owner = nullptr);
  ~TFormStorage() override;

  // Single values; each call opens and closes the settings file.
  QString ReadSetting(const QString& name, const QString& fallback) const;
  int ReadSettingInt(const QString& name, int fallback) const;
  void WriteSetting(const QString& name, const QString& value) const;
  void WriteSettingInt(const QString& name, int value) const;

  // "component.property" entries; property names: Checked, Text, ItemIndex, Position, HotKey,
  // Enabled (the Qt widget's checked, text/currentText, currentIndex, value, hotKey, enabled).
  QStringList StoredProps;
  bool Active = false;
  int Version = 0;

  void SaveFormValues();
  void RestoreFormValues();
  bool restored() const { return restored_; }
  bool saved() const { return saved_; }

  // Where an error of the close or destroy reaction goes (the standard error box).
  std::function<void(const QString&)> onError;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void reportError(const std::exception& e) const;

  SettingsFile key_;
  QPointer<QWidget> owner_;
  bool restored_ = false;
  bool saved_ = false;
};

}  // namespace lumivex
