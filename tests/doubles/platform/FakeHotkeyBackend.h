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

  // False: like a desktop that offers no global shortcuts to programs.
  bool available = true;

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
