#include "platform/portal/PortalRequest.h"

#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QEventLoop>
#include <QTimer>

#include <atomic>

namespace lumivex::platform {
namespace {

constexpr const char* kRequestInterface = "org.freedesktop.portal.Request";

QString nextToken() {
  static std::atomic<unsigned> counter{0};
  return QStringLiteral("lumivex%1").arg(++counter);
}

// The path the portal gives the request: the caller's unique name without its colon and with
// its dots as underscores, then the token.
QString requestPath(const QDBusConnection& bus, const QString& token) {
  QString sender = bus.baseService().mid(1);
  sender.replace(QLatin1Char('.'), QLatin1Char('_'));
  return QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
}

}  // namespace

PortalRequest::PortalRequest(QDBusConnection bus, QObject* parent)
    : QObject(parent), bus_(std::move(bus)), token_(nextToken()) {
  listen(requestPath(bus_, token_));
}

PortalRequest::~PortalRequest() { stopListening(); }

void PortalRequest::listen(const QString& path) {
  stopListening();
  path_ = path;
  bus_.connect(QString::fromLatin1(kPortalService), path_, QString::fromLatin1(kRequestInterface),
               QStringLiteral("Response"), this, SLOT(onResponse(uint, QVariantMap)));
}

void PortalRequest::stopListening() {
  if (path_.isEmpty()) return;
  bus_.disconnect(QString::fromLatin1(kPortalService), path_,
                  QString::fromLatin1(kRequestInterface), QStringLiteral("Response"), this,
                  SLOT(onResponse(uint, QVariantMap)));
  path_.clear();
}

void PortalRequest::start(const QDBusMessage& call, std::chrono::milliseconds bound) {
  auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, int(bound.count())), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
    w->deleteLater();
    QDBusPendingReply<QDBusObjectPath> reply = *w;
    if (reply.isError()) {
      qWarning("lumivex: portal call failed: %s", qPrintable(reply.error().message()));
      finish(kCallFailed, {});
      return;
    }
    // Portals older than the handle_token convention choose their own path.
    if (!done_ && reply.value().path() != path_) listen(reply.value().path());
  });
  QTimer::singleShot(bound, this, [this] {
    if (done_) return;
    // Nobody answers any more; the portal may drop its dialog.
    bus_.call(QDBusMessage::createMethodCall(QString::fromLatin1(kPortalService), path_,
                                             QString::fromLatin1(kRequestInterface),
                                             QStringLiteral("Close")),
              QDBus::NoBlock);
    finish(kNoResponse, {});
  });
}

int PortalRequest::run(const QDBusMessage& call, std::chrono::milliseconds bound,
                       QVariantMap* results) {
  int response = kNoResponse;
  QEventLoop loop;
  connect(this, &PortalRequest::finished, &loop, [&](int r, const QVariantMap& values) {
    response = r;
    if (results) *results = values;
    loop.quit();
  });
  start(call, bound);
  if (!done_) loop.exec(QEventLoop::ExcludeUserInputEvents);
  return response;
}

void PortalRequest::onResponse(uint response, const QVariantMap& results) {
  finish(int(response), results);
}

void PortalRequest::finish(int response, const QVariantMap& results) {
  if (done_) return;
  done_ = true;
  stopListening();
  emit finished(response, results);
}

}  // namespace lumivex::platform
