// In-memory hotkey backend for tests: registrations are recorded, presses are injected.
#pragma once

#include "platform/HotkeyBackend.h"

#include <QHash>
#include <QList>
#include <QSet>

namespace lumivex::platform {

class FakeHotkeyBackend final : public HotkeyBackend {
 public:
  struct Registration {
    int id;
    unsigned modifiers;
    unsigned virtualKey;
  };

  bool registerHotKey(int id, unsigned modifiers, unsigned virtualKey) override;
  void unregisterHotKey(int id) override;
  QString keyName(unsigned virtualKey, bool localized) const override;
  bool isAvailable() const override { return available; }
  void describeHotKeys(const QList<HotkeyPurpose>& described) override { purposes = described; }
  // Where the desktop binds keys (`desktopBinds`): its text from `desktopKeys`, none for a
  // combination missing there. Without global shortcuts: no key for any.
  std::optional<QString> boundKeys(unsigned modifiers, unsigned virtualKey) const override;
  bool bindingPending() const override { return pending; }

  // False: like a desktop that offers no global shortcuts to programs.
  bool available = true;
  bool desktopBinds = false;
  QHash<quint64, QString> desktopKeys;  // (modifiers << 32 | virtual key) -> the desktop's text
  bool pending = false;
  QList<HotkeyPurpose> purposes;
  // The desktop answered, or the user changed the keys there.
  void changeBindings() const { notifyBindingsChanged(); }

  // Another program holds this combination from now on.
  void holdElsewhere(unsigned modifiers, unsigned virtualKey);
  // The user presses a combination; true when a registration received it.
  bool press(unsigned modifiers, unsigned virtualKey) const;
  // A layout name for a key, returned for localized requests.
  void setLocalizedName(unsigned virtualKey, const QString& name);

  const QList<Registration>& registrations() const { return registrations_; }

 private:
  QList<Registration> registrations_;
  QSet<quint64> heldElsewhere_;
  QHash<unsigned, QString> localizedNames_;
};

}  // namespace lumivex::platform
