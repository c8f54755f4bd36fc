#include "app/SingleInstance.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QTimer>

namespace lumivex {

bool SingleInstance::claim() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return true;
  bus.registerObject(kInstancePath, this, QDBusConnection::ExportScriptableSlots);
  auto reply =
      bus.interface()->registerService(kInstanceService, QDBusConnectionInterface::DontQueueService,
                                       QDBusConnectionInterface::DontAllowReplacement);
  if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) return true;
  bus.unregisterObject(kInstancePath);
  QDBusMessage call = QDBusMessage::createMethodCall(kInstanceService, kInstancePath,
                                                     kInstanceInterface, "ShowOptions");
  bus.call(call, QDBus::Block, 5000);
  return false;
}

void SingleInstance::ShowOptions() {
  // The caller must get its answer before the modal dialog starts its own loop.
  QTimer::singleShot(0, this, [this] {
    if (onShowOptions) onShowOptions();
  });
}

}  // namespace lumivex
