// System-wide keys on a Wayland desktop through org.freedesktop.portal.GlobalShortcuts. The
// program proposes its combinations; the desktop binds them (it may ask the user, who may pick
// other keys, or bind none) and reports each activation. What it bound is what counts: the
// backend keeps the desktop's answer and its later changes for boundKeys().
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantMap>

#include <chrono>
#include <memory>

#include "platform/HotkeyBackend.h"

namespace lumivex::platform {

// The token of the shortcut session. KDE files the shortcuts under a component named after it,
// and desktops keep the user's keys per token and shortcut id: it never changes.
inline constexpr const char* kShortcutSessionToken = "lumivex_shortcuts";

class PortalHotkeyBackend final : public QObject, public HotkeyBackend {
  Q_OBJECT

 public:
  explicit PortalHotkeyBackend(QDBusConnection bus, QObject* parent = nullptr);
  ~PortalHotkeyBackend() override;

  // Accepted when the key has a name in the portal's trigger syntax and neither the id nor the
  // combination is registered here already. The combinations registered in one pass of the
  // event loop go to the desktop together; a set that differs from the bound one is bound in a
  // fresh session under the same token, one that equals it is left as the desktop has it.
  bool registerHotKey(int id, unsigned modifiers, unsigned virtualKey) override;
  // Unregistering everything keeps the bound session: the options dialog lets go of the keys
  // while it is open and registers them again when it closes.
  void unregisterHotKey(int id) override;
  QString keyName(unsigned virtualKey, bool localized) const override;
  // A shortcut's id is its purpose's name and its description the purpose's description; the
  // stored combination is only the trigger the desktop is asked to prefer.
  void describeHotKeys(const QList<HotkeyPurpose>& purposes) override;
  std::optional<QString> boundKeys(unsigned modifiers, unsigned virtualKey) const override;
  bool bindingPending() const override { return pending_; }

  // The session whose shortcuts the desktop has bound; empty until it has.
  QString boundSession() const { return boundSession_; }

 signals:
  // The desktop answered a bind: `response` as the portal's Request gives it (0 bound).
  void bindFinished(int response);

 private slots:
  void onActivated(const QDBusObjectPath& session, const QString& shortcutId, qulonglong timestamp,
                   const QVariantMap& options);
  void onShortcutsChanged(const QDBusMessage& message);

 private:
  struct Registration {
    int id;
    unsigned modifiers;
    unsigned virtualKey;
  };
  // One shortcut as proposed to the desktop.
  struct Proposal {
    QString id;
    QString description;
    QString trigger;
    bool operator==(const Proposal&) const = default;
  };

  QList<Proposal> proposals() const;
  QString shortcutId(const Registration& registration) const;
  void scheduleBind();
  void bind();
  void createSession(quint64 generation);
  void bindShortcuts(quint64 generation, const QString& session);
  void closeSession();
  void finishBind(int response, const QVariant& shortcuts);

  QDBusConnection bus_;
  QList<Registration> registrations_;
  QList<HotkeyPurpose> purposes_;
  bool bindScheduled_ = false;
  bool pending_ = false;
  quint64 generation_ = 0;                     // a newer bind makes the answers of older ones moot
  QString session_;                            // the session of the latest bind
  QPointer<QDBusPendingCallWatcher> closing_;  // the Close of the session before, while out
  QString boundSession_;
  QList<Proposal> boundProposals_;     // what the bound session was asked for
  QHash<QString, QString> boundKeys_;  // shortcut id -> the desktop's text for its keys
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
