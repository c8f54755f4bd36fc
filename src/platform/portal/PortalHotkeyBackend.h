// System-wide keys on a Wayland desktop through org.freedesktop.portal.GlobalShortcuts. The
// program proposes its combinations; the desktop binds them (it may ask the user, who may pick
// other keys) and reports each activation.
#pragma once

#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <chrono>
#include <memory>

#include "platform/HotkeyBackend.h"

namespace lumivex::platform {

class PortalHotkeyBackend final : public QObject, public HotkeyBackend {
  Q_OBJECT

 public:
  explicit PortalHotkeyBackend(QDBusConnection bus, QObject* parent = nullptr);
  ~PortalHotkeyBackend() override;

  // Accepted when the key has a name in the portal's trigger syntax and neither the id nor the
  // combination is registered here already. The combinations registered in one pass of the
  // event loop go to the desktop together, in one fresh session.
  bool registerHotKey(int id, unsigned modifiers, unsigned virtualKey) override;
  void unregisterHotKey(int id) override;
  QString keyName(unsigned virtualKey, bool localized) const override;

  // The session whose shortcuts the desktop has bound; empty until it has.
  QString boundSession() const { return boundSession_; }

 signals:
  // The desktop answered a bind: `response` as the portal's Request gives it (0 bound).
  void bindFinished(int response);

 private slots:
  void onActivated(const QDBusObjectPath& session, const QString& shortcutId, qulonglong timestamp,
                   const QVariantMap& options);

 private:
  struct Registration {
    int id;
    unsigned modifiers;
    unsigned virtualKey;
    QString shortcutId;
  };

  void scheduleBind();
  void bind();
  void bindShortcuts(quint64 generation, const QString& session);
  void closeSession();

  QDBusConnection bus_;
  QList<Registration> registrations_;
  bool bindScheduled_ = false;
  quint64 generation_ = 0;  // a newer bind makes the answers of older ones moot
  QString session_;         // the session of the latest bind
  QString boundSession_;
};

// The combination in the desktop's trigger syntax ("CTRL+SHIFT+F1": modifier names, then the
// key's keysym name); empty for a key outside the key table.
QString portalTrigger(unsigned modifiers, unsigned virtualKey);

// True when the session bus has a portal with the GlobalShortcuts interface (its version
// property answers within a short bound).
bool portalOffersGlobalShortcuts(const QDBusConnection& bus);

// A PortalHotkeyBackend where the portal offers global shortcuts, an UnavailableHotkeyBackend
// otherwise.
std::unique_ptr<HotkeyBackend> createPortalHotkeyBackend(const QDBusConnection& bus);

}  // namespace lumivex::platform
