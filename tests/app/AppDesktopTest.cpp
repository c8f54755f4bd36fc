// Runs the real executable inside the test desktop.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QProcessEnvironment>

#include "app/SingleInstance.h"
#include "settings/Registry.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsTable.h"

using namespace lumivex;

namespace {

template <typename Condition>
bool waitFor(Condition condition, int ms = 10000) {
  QElapsedTimer clock;
  clock.start();
  while (!condition()) {
    if (clock.elapsed() > ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

struct Lumivex : QProcess {
  Lumivex() {
    setProgram(QStringLiteral(LUMIVEX_EXE));
    setProcessChannelMode(QProcess::ForwardedChannels);
    start();
  }
  ~Lumivex() override {
    if (state() != NotRunning) {
      kill();
      waitForFinished(5000);
    }
  }
};

std::filesystem::path settingsFile() {
  return std::filesystem::path(qEnvironmentVariable("XDG_CONFIG_HOME").toStdString()) /
         "Quorlan Software" / "Vistrel.conf";
}

bool visibleWindowOf(qint64 pid) {
  return QProcess::execute("xdotool", {"search", "--onlyvisible", "--pid", QString::number(pid)}) ==
         0;
}

TEST(AppDesktop, StartsHiddenSeedsTheSettingsAndEndsOnTermination) {
  std::filesystem::remove(settingsFile());
  Lumivex app;
  ASSERT_TRUE(app.waitForStarted());
  SettingsFile key(settingsFile(), kSettingsKey);
  ASSERT_TRUE(waitFor([&] { return key.entries().size() == settings::kSeedTable.size(); }));
  // The overview is due half a second after start; still no window may appear.
  QElapsedTimer watch;
  watch.start();
  while (watch.elapsed() < 1500) {
    ASSERT_FALSE(visibleWindowOf(app.processId())) << "a window appeared";
    QCoreApplication::processEvents(QEventLoop::AllEvents, 100);
  }

  // A second start hands over to the running instance and leaves at once.
  Lumivex second;
  ASSERT_TRUE(second.waitForFinished(10000));
  EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_EQ(app.state(), QProcess::Running);

  app.terminate();
  ASSERT_TRUE(app.waitForFinished(10000));
  EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(app.exitCode(), 0);
}

TEST(AppDesktop, SecondStartAsksTheRunningInstanceForItsOptionsDialog) {
  SingleInstance running;
  int requests = 0;
  running.onShowOptions = [&] { ++requests; };
  ASSERT_TRUE(running.claim());

  Lumivex second;
  ASSERT_TRUE(waitFor([&] { return second.state() == QProcess::NotRunning; }));
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_TRUE(waitFor([&] { return requests == 1; }));
  EXPECT_FALSE(std::filesystem::exists(settingsFile()) &&
               SettingsFile(settingsFile(), kSettingsKey).entries().empty())
      << "the second start must not have run a main form";
  QDBusConnection::sessionBus().unregisterService(kInstanceService);
  QDBusConnection::sessionBus().unregisterObject(kInstancePath);
}

}  // namespace
