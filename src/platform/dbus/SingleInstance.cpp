#include "platform/dbus/SingleInstance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QTimer>

#include <utility>

#include "InstanceAdaptor.h"

namespace lumivex::platform {

SingleInstance::SingleInstance(CaptureKinds kinds, QObject* parent)
    : QObject(parent), kinds_(std::move(kinds)) {
  new InstanceAdaptor(this);  // owned by this object, as Qt's adaptors are
}

bool SingleInstance::own(QDBusConnection& bus) {
  bus.registerObject(kInstancePath, this, QDBusConnection::ExportAdaptors);
  auto reply =
      bus.interface()->registerService(kInstanceService, QDBusConnectionInterface::DontQueueService,
                                       QDBusConnectionInterface::DontAllowReplacement);
  if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) return true;
  bus.unregisterObject(kInstancePath);
  return false;
}

QDBusMessage SingleInstance::requestMessage(const Request& request) {
  if (!request)
    return QDBusMessage::createMethodCall(kInstanceService, kInstancePath, kInstanceInterface,
                                          QStringLiteral("ShowOptions"));
  QDBusMessage call = QDBusMessage::createMethodCall(kInstanceService, kInstancePath,
                                                     kInstanceInterface, QStringLiteral("Capture"));
  call << *request;
  return call;
}

SingleInstance::Claim SingleInstance::claim(const Request& request) {
  failure_.clear();
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return Claim::Owned;
  // An instance that is ending may give the name up between our two steps: then try again.
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (own(bus)) return Claim::Owned;
    const QDBusMessage reply = bus.call(requestMessage(request), QDBus::Block, kInstanceAnswerMs);
    if (reply.type() == QDBusMessage::ReplyMessage) return Claim::HandedOver;
    const QDBusError error(reply);
    if (error.type() == QDBusError::NoReply || error.type() == QDBusError::Timeout) {
      failure_ = QStringLiteral("the running Lumivex did not answer within %1 seconds")
                     .arg(kInstanceAnswerMs / 1000);
      return Claim::NoAnswer;
    }
    failure_ =
        QStringLiteral("the running Lumivex did not take the request: %1").arg(error.message());
    if (error.type() != QDBusError::ServiceUnknown && error.type() != QDBusError::UnknownObject)
      return Claim::NoAnswer;
  }
  return Claim::NoAnswer;
}

void SingleInstance::perform(Request request) {
  // The caller must get its answer before a modal dialog or the area overlay starts its own
  // loop, so the request waits for the event loop.
  QTimer::singleShot(0, this, [this, request = std::move(request)] {
    if (!request) {
      if (onShowOptions) onShowOptions();
    } else if (onCapture) {
      onCapture(*request);
    }
  });
}

bool SingleInstance::quitRunning() {
  failure_.clear();
  const QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return true;  // without a bus no instance can be reached, or run
  const QDBusMessage reply =
      bus.call(QDBusMessage::createMethodCall(kInstanceService, kInstancePath, kInstanceInterface,
                                              QStringLiteral("Quit")),
               QDBus::Block, kInstanceAnswerMs);
  if (reply.type() == QDBusMessage::ReplyMessage) return true;
  const QDBusError error(reply);
  if (error.type() == QDBusError::ServiceUnknown || error.type() == QDBusError::UnknownObject)
    return true;
  failure_ =
      error.type() == QDBusError::NoReply || error.type() == QDBusError::Timeout
          ? QStringLiteral("the running Lumivex did not answer within %1 seconds")
                .arg(kInstanceAnswerMs / 1000)
          : QStringLiteral("the running Lumivex did not take the request: %1").arg(error.message());
  return false;
}

void SingleInstance::ShowOptions() { perform(std::nullopt); }

// Like the tray menu's Exit, after the caller has its answer.
void SingleInstance::Quit() {
  QTimer::singleShot(0, this, [this] {
    if (onQuit) onQuit();
  });
}

void SingleInstance::Capture(const QString& kind) {
  if (kinds_.isCaptureKind && kinds_.isCaptureKind(kind)) {
    perform(kind);
  } else if (calledFromDBus()) {
    sendErrorReply(QDBusError::InvalidArgs,
                   QStringLiteral("unknown capture kind '%1' (%2)").arg(kind, kinds_.list));
  }
}

}  // namespace lumivex::platform
