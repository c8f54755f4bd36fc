#include "platform/portal/PortalHotkeyBackend.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QTimer>

#include <xkbcommon/xkbcommon.h>

#include <algorithm>

#include "platform/KeyMap.h"
#include "platform/portal/PortalRequest.h"

namespace lumivex::platform {
namespace {

constexpr const char* kInterface = "org.freedesktop.portal.GlobalShortcuts";
constexpr std::chrono::seconds kSessionBound{10};
constexpr std::chrono::seconds kCloseBound{5};
// Binding may show the desktop's dialog where the user confirms or changes the keys.
constexpr std::chrono::minutes kBindBound{5};

// One entry of BindShortcuts' a(sa{sv}).
struct PortalShortcut {
  QString id;
  QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& out, const PortalShortcut& shortcut) {
  out.beginStructure();
  out << shortcut.id << shortcut.properties;
  out.endStructure();
  return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, PortalShortcut& shortcut) {
  in.beginStructure();
  in >> shortcut.id >> shortcut.properties;
  in.endStructure();
  return in;
}

QDBusMessage portalCall(const char* method) {
  return QDBusMessage::createMethodCall(
      QString::fromLatin1(kPortalService), QString::fromLatin1(kPortalPath),
      QString::fromLatin1(kInterface), QString::fromLatin1(method));
}

// The session handle comes as a string in the documented results, as an object path from
// some desktops.
QString sessionHandle(const QVariantMap& results) {
  const QVariant handle = results.value(QStringLiteral("session_handle"));
  if (handle.canConvert<QDBusObjectPath>()) return handle.value<QDBusObjectPath>().path();
  return handle.toString();
}

}  // namespace
}  // namespace lumivex::platform

Q_DECLARE_METATYPE(lumivex::platform::PortalShortcut)

namespace lumivex::platform {

QString portalTrigger(unsigned modifiers, unsigned virtualKey) {
  const unsigned keysym = keysymForVirtualKey(virtualKey);
  if (keysym == 0) return {};
  char name[64];
  if (xkb_keysym_get_name(keysym, name, sizeof name) <= 0) return {};
  QString trigger;
  if (modifiers & kModControl) trigger += QLatin1String("CTRL+");
  if (modifiers & kModAlt) trigger += QLatin1String("ALT+");
  if (modifiers & kModShift) trigger += QLatin1String("SHIFT+");
  if (modifiers & kModWin) trigger += QLatin1String("LOGO+");
  return trigger + QString::fromLatin1(name);
}

bool portalOffersGlobalShortcuts(const QDBusConnection& bus) {
  QDBusMessage get = QDBusMessage::createMethodCall(
      QString::fromLatin1(kPortalService), QString::fromLatin1(kPortalPath),
      QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
  get << QString::fromLatin1(kInterface) << QStringLiteral("version");
  const QDBusMessage reply = bus.call(get, QDBus::Block, 3000);
  return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty() &&
         reply.arguments().front().value<QDBusVariant>().variant().toUInt() >= 1;
}

std::unique_ptr<HotkeyBackend> createPortalHotkeyBackend(const QDBusConnection& bus) {
  if (!bus.isConnected() || !portalOffersGlobalShortcuts(bus))
    return std::make_unique<UnavailableHotkeyBackend>();
  return std::make_unique<PortalHotkeyBackend>(bus);
}

PortalHotkeyBackend::PortalHotkeyBackend(QDBusConnection bus, QObject* parent)
    : QObject(parent), bus_(std::move(bus)) {
  qDBusRegisterMetaType<PortalShortcut>();
  qDBusRegisterMetaType<QList<PortalShortcut>>();
  bus_.connect(QString::fromLatin1(kPortalService), QString::fromLatin1(kPortalPath),
               QString::fromLatin1(kInterface), QStringLiteral("Activated"), this,
               SLOT(onActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
  bus_.connect(QString::fromLatin1(kPortalService), QString::fromLatin1(kPortalPath),
               QString::fromLatin1(kInterface), QStringLiteral("ShortcutsChanged"), this,
               SLOT(onShortcutsChanged(QDBusMessage)));
}

PortalHotkeyBackend::~PortalHotkeyBackend() { closeSession(); }

bool PortalHotkeyBackend::registerHotKey(int id, unsigned modifiers, unsigned virtualKey) {
  if (portalTrigger(modifiers, virtualKey).isEmpty()) return false;
  for (const Registration& r : registrations_)
    if (r.id == id || (r.modifiers == modifiers && r.virtualKey == virtualKey)) return false;
  registrations_.append({id, modifiers, virtualKey});
  scheduleBind();
  return true;
}

void PortalHotkeyBackend::unregisterHotKey(int id) {
  if (registrations_.removeIf([id](const Registration& r) { return r.id == id; }) > 0)
    scheduleBind();
}

QString PortalHotkeyBackend::keyName(unsigned virtualKey, bool localized) const {
  return localized ? qtKeyName(virtualKey) : usKeyName(virtualKey);
}

void PortalHotkeyBackend::describeHotKeys(const QList<HotkeyPurpose>& purposes) {
  purposes_ = purposes;
  if (!registrations_.isEmpty()) scheduleBind();  // new descriptions (another language)
}

std::optional<QString> PortalHotkeyBackend::boundKeys(unsigned modifiers,
                                                      unsigned virtualKey) const {
  for (const Registration& r : registrations_)
    if (r.modifiers == modifiers && r.virtualKey == virtualKey)
      return boundKeys_.value(shortcutId(r));
  return QString();
}

QString PortalHotkeyBackend::shortcutId(const Registration& registration) const {
  for (const HotkeyPurpose& p : purposes_)
    if (p.modifiers == registration.modifiers && p.virtualKey == registration.virtualKey &&
        !p.name.isEmpty())
      return p.name;
  // A combination nobody described: named after itself, the best that stays put.
  return QStringLiteral("hotkey-%1-%2").arg(registration.modifiers).arg(registration.virtualKey);
}

QList<PortalHotkeyBackend::Proposal> PortalHotkeyBackend::proposals() const {
  QList<Proposal> list;
  for (const Registration& r : registrations_) {
    const QString trigger = portalTrigger(r.modifiers, r.virtualKey);
    QString description = QStringLiteral("Lumivex ") + trigger;
    for (const HotkeyPurpose& p : purposes_)
      if (p.modifiers == r.modifiers && p.virtualKey == r.virtualKey && !p.description.isEmpty())
        description = p.description;
    list.append({shortcutId(r), description, trigger});
  }
  return list;
}

void PortalHotkeyBackend::scheduleBind() {
  if (bindScheduled_) return;
  bindScheduled_ = true;
  QTimer::singleShot(0, this, [this] {
    bindScheduled_ = false;
    bind();
  });
}

// A session's shortcuts are bound once; a changed set starts a fresh session under the same
// token, so the desktop keeps the user's keys for the ids that stay.
void PortalHotkeyBackend::bind() {
  if (registrations_.isEmpty()) return;
  const QList<Proposal> wanted = proposals();
  if (!boundSession_.isEmpty() && wanted == boundProposals_) return;
  const quint64 generation = ++generation_;
  pending_ = true;
  boundKeys_.clear();
  notifyBindingsChanged();
  // The new session has the old one's name. xdg-desktop-portal 1.16 (Debian 12) aborts when
  // the old session is let go after the new one has taken that name, so the new one is asked
  // for once the old one's Close is answered (or has failed), also when a bind comes while an
  // earlier bind's Close is still out.
  closeSession();
  if (closing_ == nullptr || closing_->isFinished()) {
    createSession(generation);
    return;
  }
  connect(closing_, &QDBusPendingCallWatcher::finished, this, [this, generation] {
    if (generation == generation_) createSession(generation);
  });
}

void PortalHotkeyBackend::createSession(quint64 generation) {
  auto* request = new PortalRequest(bus_, this);
  QDBusMessage call = portalCall("CreateSession");
  call << QVariantMap{
      {QStringLiteral("handle_token"), request->token()},
      {QStringLiteral("session_handle_token"), QString::fromLatin1(kShortcutSessionToken)}};
  connect(request, &PortalRequest::finished, this,
          [this, request, generation](int response, const QVariantMap& results) {
            request->deleteLater();
            if (generation != generation_) return;
            const QString session = sessionHandle(results);
            if (response != kPortalSuccess || session.isEmpty()) {
              qWarning("lumivex: the desktop refused a shortcut session (portal response %d)",
                       response);
              finishBind(response == kPortalSuccess ? kPortalFailed : response, {});
              return;
            }
            session_ = session;
            bindShortcuts(generation, session);
          });
  request->start(call, kSessionBound);
}

void PortalHotkeyBackend::bindShortcuts(quint64 generation, const QString& session) {
  const QList<Proposal> wanted = proposals();
  QList<PortalShortcut> shortcuts;
  for (const Proposal& p : wanted)
    shortcuts.append({p.id,
                      {{QStringLiteral("description"), p.description},
                       {QStringLiteral("preferred_trigger"), p.trigger}}});
  auto* request = new PortalRequest(bus_, this);
  QDBusMessage call = portalCall("BindShortcuts");
  call << QVariant::fromValue(QDBusObjectPath(session)) << QVariant::fromValue(shortcuts)
       << QString() << QVariantMap{{QStringLiteral("handle_token"), request->token()}};
  connect(request, &PortalRequest::finished, this,
          [this, request, generation, session, wanted](int response, const QVariantMap& results) {
            request->deleteLater();
            if (generation != generation_) return;
            if (response == kPortalSuccess) {
              boundSession_ = session;
              boundProposals_ = wanted;
            } else {
              qWarning("lumivex: the desktop did not bind the hotkeys (portal response %d)",
                       response);
            }
            finishBind(response, results.value(QStringLiteral("shortcuts")));
          });
  request->start(call, kBindBound);
}

namespace {

// The shortcuts of a bind's results or of ShortcutsChanged: id -> the desktop's text for the
// keys it bound. A shortcut the desktop left out, or gave no keys, has none.
QHash<QString, QString> boundKeysFrom(const QVariant& shortcuts) {
  QHash<QString, QString> keys;
  if (!shortcuts.canConvert<QDBusArgument>()) return keys;
  for (const PortalShortcut& s : qdbus_cast<QList<PortalShortcut>>(shortcuts)) {
    const QString text = s.properties.value(QStringLiteral("trigger_description")).toString();
    if (!text.isEmpty()) keys.insert(s.id, text);
  }
  return keys;
}

}  // namespace

void PortalHotkeyBackend::finishBind(int response, const QVariant& shortcuts) {
  pending_ = false;
  boundKeys_ = response == kPortalSuccess ? boundKeysFrom(shortcuts) : QHash<QString, QString>();
  emit bindFinished(response);
  notifyBindingsChanged();
}

void PortalHotkeyBackend::closeSession() {
  boundSession_.clear();
  boundProposals_.clear();
  if (session_.isEmpty()) return;
  closing_ = new QDBusPendingCallWatcher(
      bus_.asyncCall(QDBusMessage::createMethodCall(
                         QString::fromLatin1(kPortalService), session_,
                         QStringLiteral("org.freedesktop.portal.Session"), QStringLiteral("Close")),
                     int(std::chrono::milliseconds(kCloseBound).count())),
      this);
  connect(closing_, &QDBusPendingCallWatcher::finished, closing_, &QObject::deleteLater);
  session_.clear();
}

void PortalHotkeyBackend::onActivated(const QDBusObjectPath& session, const QString& shortcutId,
                                      qulonglong, const QVariantMap&) {
  if (session.path() != boundSession_) return;
  // The stored combination, whatever keys the user bound to it: the dispatch compares it with
  // the hotkey settings.
  // The handler may register anew (the options dialog): look up first, then report; the
  // values are passed by value, so the handler never reads a replaced registration.
  const auto found =
      std::find_if(registrations_.cbegin(), registrations_.cend(),
                   [&](const Registration& r) { return this->shortcutId(r) == shortcutId; });
  if (found == registrations_.cend()) return;
  notifyPressed(found->id, found->modifiers, found->virtualKey);
}

// The user changed the keys in the desktop's settings.
void PortalHotkeyBackend::onShortcutsChanged(const QDBusMessage& message) {
  const QList<QVariant> args = message.arguments();
  if (args.size() < 2 || boundSession_.isEmpty()) return;
  if (args.at(0).value<QDBusObjectPath>().path() != boundSession_) return;
  boundKeys_ = boundKeysFrom(args.at(1));
  notifyBindingsChanged();
}

}  // namespace lumivex::platform
