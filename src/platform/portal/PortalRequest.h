// One call to the desktop portal that answers later: the portal returns a Request object at
// once and emits its Response signal when the user or the desktop has decided.
#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QVariantMap>

#include <chrono>

namespace lumivex::platform {

inline constexpr const char* kPortalService = "org.freedesktop.portal.Desktop";
inline constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";

// The portal's answers in Response; kNoResponse and kCallFailed are ours: the portal never
// answered in time (a permission dialog left open), or the call itself failed (no portal).
enum PortalResponse : int {
  kPortalSuccess = 0,
  kPortalCancelled = 1,  // the user said no
  kPortalFailed = 2,     // the desktop ended the interaction some other way
  kNoResponse = -1,
  kCallFailed = -2,
};

class PortalRequest : public QObject {
  Q_OBJECT

 public:
  explicit PortalRequest(QDBusConnection bus, QObject* parent = nullptr);
  ~PortalRequest() override;

  // The handle_token for the call's options; the request's path follows from it, so the
  // Response is listened for before the call goes out and cannot be missed.
  QString token() const { return token_; }

  // Sends the call (its options must hold token()); finished() follows once, also when the
  // call fails or no response comes within `bound` (the request is then closed).
  void start(const QDBusMessage& call, std::chrono::milliseconds bound);

  // start(), then waits for finished() in a local event loop.
  int run(const QDBusMessage& call, std::chrono::milliseconds bound, QVariantMap* results);

 signals:
  void finished(int response, const QVariantMap& results);

 private slots:
  void onResponse(uint response, const QVariantMap& results);

 private:
  void listen(const QString& path);
  void stopListening();
  void finish(int response, const QVariantMap& results);

  QDBusConnection bus_;
  QString token_;
  QString path_;
  bool done_ = false;
};

}  // namespace lumivex::platform
