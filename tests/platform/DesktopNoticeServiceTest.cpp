// The desktop notice service against a session bus of its own.
#include "platform/dbus/DesktopNoticeService.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QProcess>

#include <csignal>

using lumivex::platform::DesktopNoticeService;

// A session bus that stops answering (a hung daemon) holds the GUI thread no longer than the
// notifier's call bound: no service is reported and the notice falls back.
TEST(DesktopNoticeService, AHungBusHoldsTheCallerOnlyForTheCallBound) {
  QProcess daemon;
  daemon.start(QStringLiteral("dbus-daemon"), {"--config-file=" TEST_SESSION_BUS_CONF, "--nofork",
                                               "--nopidfile", "--print-address"});
  ASSERT_TRUE(daemon.waitForReadyRead(5000));
  const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
  const QString name = QStringLiteral("hung-bus");
  {
    DesktopNoticeService notifier(QDBusConnection::connectToBus(address, name));
    ASSERT_TRUE(QDBusConnection(name).isConnected());
    ::kill(pid_t(daemon.processId()), SIGSTOP);
    QElapsedTimer held;
    held.start();
    EXPECT_FALSE(notifier.notificationsAvailable());
    EXPECT_FALSE(notifier.notify(QStringLiteral("title"), QStringLiteral("text"), 1, 1000,
                                 lumivex::platform::NoticePlace::kReplacing));
    EXPECT_LT(held.elapsed(), 10000);
    ::kill(pid_t(daemon.processId()), SIGCONT);
  }
  QDBusConnection::disconnectFromBus(name);
  daemon.kill();
  daemon.waitForFinished(3000);
}
