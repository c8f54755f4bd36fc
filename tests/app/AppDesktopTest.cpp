// Runs the real executable inside the test desktop.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QProcessEnvironment>
#include <QScreen>

#include "DesktopProbe.h"
#include "TempDir.h"
#include "platform/dbus/SingleInstance.h"
#include "settings/Registry.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsTable.h"

using namespace lumivex;
using lumivex::platform::kInstanceAnswerMs;
using lumivex::platform::kInstanceInterface;
using lumivex::platform::kInstancePath;
using lumivex::platform::kInstanceService;
using lumivex::platform::SingleInstance;

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
  explicit Lumivex(
      const QStringList& arguments = {},
      const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    setProgram(QStringLiteral(LUMIVEX_EXE));
    setArguments(arguments);
    setProcessEnvironment(environment);
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
  SingleInstance running({});
  int requests = 0;
  running.onShowOptions = [&] { ++requests; };
  ASSERT_EQ(running.claim(), SingleInstance::Claim::Owned);

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

// A user of their own (fresh settings) for the commands a desktop shortcut runs.
struct CaptureCommand : ::testing::Test {
  TempDir home;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  std::filesystem::path settings = home.path / "config" / "Quorlan Software" / "Vistrel.conf";
  std::filesystem::path pictures = home.path / "pictures";
  qsizetype noticesBefore = probe::notices().size();

  CaptureCommand() {
    environment.insert("HOME", QString::fromStdString(home.path.string()));
    environment.insert("XDG_CONFIG_HOME", QString::fromStdString((home.path / "config").string()));
  }

  std::optional<std::string> storedMode() const {
    return SettingsFile(settings, kSettingsKey).read(settings::kClipboardMode);
  }
  // The latest notice with this title since the test began (an empty object before one came).
  QJsonObject notice(const QString& summary) const {
    const QList<QJsonObject> all = probe::notices();
    for (qsizetype i = all.size() - 1; i >= noticesBefore; --i)
      if (all[i]["summary"].toString() == summary) return all[i];
    return {};
  }
  bool storageModeNotice(const QString& text) const {
    return notice("New storage mode.")["body"].toString() == text;
  }
  // Captures go to the test's folder under plain names, without the camera sound.
  void saveCapturesInTheTestFolder() const {
    std::filesystem::create_directories(pictures);
    const SettingsFile file(settings, kSettingsKey);
    file.write(settings::kFolder, pictures.string());
    file.write(settings::kAddStamp, "False");
    file.write(settings::kSoundOn, "False");
  }
  QStringList savedPictures() const {
    return QDir(QString::fromStdString(pictures.string())).entryList(QDir::Files);
  }
  static bool instanceRuns() {
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(kInstanceService);
  }
  // Whether `app` holds the single-instance name (not one of an earlier test, still leaving).
  static bool isTheInstance(const QProcess& app) {
    return QDBusConnection::sessionBus().interface()->servicePid(kInstanceService).value() ==
           static_cast<uint>(app.processId());
  }
  // A command that hands its request over and ends: its exit status (-1 when it did not end).
  int handOver(const QStringList& arguments) const {
    Lumivex command(arguments, environment);
    if (!command.waitForFinished(10000)) return -1;
    return command.exitStatus() == QProcess::NormalExit ? command.exitCode() : -1;
  }
};

TEST_F(CaptureCommand, DoesWhatTheHotkeyDoesInTheRunningInstance) {
  Lumivex app({}, environment);
  ASSERT_TRUE(waitFor([&] { return instanceRuns() && std::filesystem::exists(settings); }));

  EXPECT_EQ(handOver({"--capture", "toggle-mode"}), 0);
  EXPECT_TRUE(waitFor([&] { return storedMode() == "True"; }));
  EXPECT_TRUE(waitFor([&] { return storageModeNotice("Capture to clipboard."); }));
  EXPECT_EQ(handOver({"--capture=toggle-mode"}), 0);
  EXPECT_TRUE(waitFor([&] { return storedMode() == "False"; }));
  EXPECT_TRUE(waitFor([&] { return storageModeNotice("Capture to file."); }));

  // Scripts call the interface directly; a kind it does not know is refused and does nothing.
  QDBusMessage call = QDBusMessage::createMethodCall(kInstanceService, kInstancePath,
                                                     kInstanceInterface, "Capture");
  call << QStringLiteral("everything");
  const QDBusMessage refused = QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
  EXPECT_EQ(QDBusError(refused).type(), QDBusError::InvalidArgs)
      << refused.errorMessage().toStdString();
  runEventsFor(500);
  EXPECT_EQ(storedMode(), "False");

  // The options dialog runs its own loop: the command still gets its answer at once, and a
  // capture command is served inside that loop, as a hotkey would be.
  EXPECT_EQ(handOver({"--options"}), 0);
  ASSERT_TRUE(waitFor([&] { return visibleWindowOf(app.processId()); }));
  EXPECT_EQ(handOver({"--capture", "toggle-mode"}), 0);
  EXPECT_TRUE(waitFor([&] { return storedMode() == "True"; }));
  EXPECT_EQ(app.state(), QProcess::Running);
}

TEST_F(CaptureCommand, WithoutAnInstanceBecomesTheInstanceAndThenCaptures) {
  ASSERT_TRUE(waitFor([] { return !instanceRuns(); })) << "an instance of an earlier test is left";
  Lumivex first({"--capture", "toggle-mode"}, environment);
  ASSERT_TRUE(first.waitForStarted());
  EXPECT_TRUE(waitFor([&] { return storedMode() == "True"; }));
  EXPECT_TRUE(waitFor([&] { return storageModeNotice("Capture to clipboard."); }));
  // It stays as the instance that later commands reach.
  EXPECT_EQ(first.state(), QProcess::Running);
  EXPECT_EQ(QDBusConnection::sessionBus().interface()->servicePid(kInstanceService).value(),
            static_cast<uint>(first.processId()));
  EXPECT_EQ(handOver({"--capture", "toggle-mode"}), 0);
  EXPECT_TRUE(waitFor([&] { return storedMode() == "False"; }));
}

TEST_F(CaptureCommand, GivesUpOnAnInstanceThatDoesNotAnswer) {
  Lumivex app({}, environment);
  ASSERT_TRUE(waitFor([&] { return instanceRuns() && std::filesystem::exists(settings); }));
  ASSERT_EQ(::kill(static_cast<pid_t>(app.processId()), SIGSTOP), 0);

  QProcess command;
  command.setProcessEnvironment(environment);
  command.start(QStringLiteral(LUMIVEX_EXE), {"--capture", "screen"});
  const bool ended = command.waitForFinished(kInstanceAnswerMs + 10000);
  ::kill(static_cast<pid_t>(app.processId()), SIGCONT);
  ASSERT_TRUE(ended) << "the command waited for the stopped instance";
  EXPECT_EQ(command.exitCode(), 1);
  EXPECT_EQ(QString::fromUtf8(command.readAllStandardError()),
            "lumivex: the running Lumivex did not answer within 5 seconds\n");
}

TEST_F(CaptureCommand, ScreenSavesThePrimaryScreenInTheChosenFolder) {
  saveCapturesInTheTestFolder();
  Lumivex app({}, environment);
  ASSERT_TRUE(waitFor([&] { return isTheInstance(app); }));

  EXPECT_EQ(handOver({"--capture", "screen"}), 0);
  // The notice follows the write: once it is there, the file is whole.
  ASSERT_TRUE(waitFor([&] { return !notice("Screen captured!").isEmpty(); }));
  const QString saved = QString::fromStdString((pictures / "LumivexPhoto.png").string());
  EXPECT_EQ(notice("Screen captured!")["body"].toString(), "Picture saved as " + saved);
  ASSERT_EQ(savedPictures(), QStringList{"LumivexPhoto.png"});
  const QImage picture(saved, "PNG");
  EXPECT_EQ(picture.size(), QGuiApplication::primaryScreen()->size());
  EXPECT_EQ(app.state(), QProcess::Running);
}

// Run with PORTAL=fake and LUMIVEX_BACKEND=portal: the instance grabs through the stand-in
// desktop portal, whose known picture covers the single monitor.
TEST_F(CaptureCommand, OnThePortalPathScreenSavesThePortalsPictureAndWindowIsRefused) {
  ASSERT_EQ(qEnvironmentVariable("LUMIVEX_BACKEND"), "portal");
  QDBusMessage control = QDBusMessage::createMethodCall(
      qEnvironmentVariable("DESK_PORTAL_CONTROL"), "/org/freedesktop/portal/desktop",
      "com.quorlan.LumivexTest.FakePortal", "SetScreenshotAnswer");
  QImage known(QGuiApplication::primaryScreen()->size(), QImage::Format_RGB32);
  for (int y = 0; y < known.height(); ++y)
    for (int x = 0; x < known.width(); ++x)
      known.setPixel(x, y, 0xFF000000u | ((quint32(x) * 0x9E3779B1u) ^ (quint32(y) * 0x85EBCA77u)));
  const QString knownFile = QString::fromStdString((home.path / "known.png").string());
  ASSERT_TRUE(known.save(knownFile));
  control << QStringLiteral("0") << knownFile;
  const QDBusMessage answered = QDBusConnection::sessionBus().call(control, QDBus::Block, 5000);
  ASSERT_NE(answered.type(), QDBusMessage::ErrorMessage) << answered.errorMessage().toStdString();

  saveCapturesInTheTestFolder();
  Lumivex app({}, environment);
  ASSERT_TRUE(waitFor([&] { return isTheInstance(app); }));
  EXPECT_EQ(handOver({"--capture", "screen"}), 0);
  ASSERT_TRUE(waitFor([&] { return !notice("Screen captured!").isEmpty(); }));
  ASSERT_EQ(savedPictures(), QStringList{"LumivexPhoto.png"});
  const QImage picture(QString::fromStdString((pictures / "LumivexPhoto.png").string()), "PNG");
  EXPECT_EQ(picture.convertToFormat(QImage::Format_RGB32), known);

  // The portal offers no active window: a plain warning, and no picture at all.
  EXPECT_EQ(handOver({"--capture", "window"}), 0);
  ASSERT_TRUE(waitFor([&] { return !notice("Active window").isEmpty(); }));
  const QJsonObject refusal = notice("Active window");
  EXPECT_EQ(refusal["body"].toString(),
            "This desktop does not let programs capture the active window. Use a full-screen or "
            "area capture instead.");
  EXPECT_EQ(refusal["icon"].toString(), "dialog-warning");
  runEventsFor(500);
  EXPECT_EQ(savedPictures(), QStringList{"LumivexPhoto.png"});
  EXPECT_EQ(app.state(), QProcess::Running);
}

// The stand-in portal steered like the desktop it plays.
void steerPortal(const QString& method, const QVariantList& arguments) {
  QDBusMessage control = QDBusMessage::createMethodCall(
      qEnvironmentVariable("DESK_PORTAL_CONTROL"), "/org/freedesktop/portal/desktop",
      "com.quorlan.LumivexTest.FakePortal", method);
  control.setArguments(arguments);
  const QDBusMessage answered = QDBusConnection::sessionBus().call(control, QDBus::Block, 5000);
  ASSERT_NE(answered.type(), QDBusMessage::ErrorMessage) << answered.errorMessage().toStdString();
}

// Run with PORTAL=fake: the desktop learns who asks, binds only some of the keys, and refuses
// a screenshot; the user hears about each.
TEST_F(CaptureCommand, OnThePortalPathTheDesktopKnowsLumivexAndItsAnswersAreTold) {
  ASSERT_EQ(qEnvironmentVariable("LUMIVEX_BACKEND"), "portal");
  steerPortal("SetBindAnswer", {QStringLiteral("area,timed")});
  steerPortal("SetScreenshotAnswer", {QStringLiteral("2"), QString()});
  saveCapturesInTheTestFolder();
  Lumivex app({}, environment);
  ASSERT_TRUE(waitFor([&] { return isTheInstance(app); }));
  const auto noticeObjectStarting = [&](const QString& start) {
    const QList<QJsonObject> all = probe::notices();
    const auto found = std::find_if(all.begin() + noticesBefore, all.end(), [&](const auto& n) {
      return n["body"].toString().startsWith(start);
    });
    return found == all.end() ? QJsonObject() : *found;
  };
  const auto noticeStarting = [&](const QString& start) {
    return noticeObjectStarting(start)["body"].toString();
  };
  ASSERT_TRUE(waitFor([&] { return !noticeStarting("Full screen").isEmpty(); }));
  steerPortal("SetBindAnswer", {QStringLiteral("all")});
  EXPECT_EQ(noticeStarting("Full screen"),
            "Full screen - no key\nScreen area - SHIFT+F2\nActive window - no key\n"
            "Timed capture - SHIFT+F4\nSwitch storage mode - no key\n------------\n"
            "Capture to file.");
  // The session was created under the application id registered before it.
  QJsonObject session;
  for (const QJsonObject& call : probe::portalCalls())
    if (call["call"].toString() == "CreateSession") session = call;
  EXPECT_EQ(session["app_id"].toString(), "com.quorlan.Lumivex");
  EXPECT_EQ(session["token"].toString(), "lumivex_shortcuts");
  EXPECT_TRUE(waitFor(
      [&] { return !noticeStarting("The desktop has bound no key for the captures").isEmpty(); }));
  // The hint stands beside the list it explains: a notification server drops a replaced notice.
  const QJsonObject hint = noticeObjectStarting("The desktop has bound no key for the captures");
  EXPECT_EQ(hint["replaces"].toInt(), 0);

  EXPECT_EQ(handOver({"--capture", "screen"}), 0);
  ASSERT_TRUE(waitFor([&] { return !notice("Screenshot not allowed").isEmpty(); }));
  const QJsonObject refused = notice("Screenshot not allowed");
  EXPECT_TRUE(refused["body"].toString().contains("privacy settings"));
  EXPECT_EQ(refused["icon"].toString(), "dialog-warning");
  runEventsFor(300);
  EXPECT_THAT(savedPictures(), ::testing::IsEmpty());
  EXPECT_TRUE(notice("Screen captured!").isEmpty());

  // No tray here (as on GNOME): the options still open on request.
  EXPECT_EQ(handOver({"--options"}), 0);
  EXPECT_TRUE(waitFor([&] { return visibleWindowOf(app.processId()); }));
}

// For desktops without a tray: the running Lumivex ends on request; with none running the
// command ends at once and starts nothing.
TEST_F(CaptureCommand, QuitEndsTheRunningInstanceAndStartsNone) {
  Lumivex app({}, environment);
  ASSERT_TRUE(waitFor([&] { return isTheInstance(app); }));
  EXPECT_EQ(handOver({"--quit"}), 0);
  ASSERT_TRUE(app.waitForFinished(10000));
  EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(app.exitCode(), 0);
  ASSERT_TRUE(waitFor([] { return !instanceRuns(); }));
  EXPECT_EQ(handOver({"--quit"}), 0);
  EXPECT_FALSE(instanceRuns());
}

// Run with TRAY=sni (a status-notifier watcher and host on the bus, as on KDE Plasma): the
// icon is an item the panel lists, under the application's id, and its menu works from there.
TEST_F(CaptureCommand, OnAStatusNotifierPanelTheItemRegistersAndItsMenuWorks) {
  ASSERT_EQ(qEnvironmentVariable("TRAY"), "sni");
  Lumivex app({}, environment);
  ASSERT_TRUE(waitFor([&] { return isTheInstance(app); }));
  const auto host = [](const QStringList& arguments) {
    QProcess script;
    script.start(QStringLiteral("/usr/bin/python3"),
                 QStringList{QStringLiteral(SNI_HOST_SCRIPT)} + arguments);
    script.waitForFinished(10000);
    return script.exitCode() == 0 ? QString::fromUtf8(script.readAllStandardOutput()) : QString();
  };
  QString shown;
  ASSERT_TRUE(waitFor([&] { return !(shown = host({"show"})).isEmpty(); }));
  const QJsonObject item = QJsonDocument::fromJson(shown.toUtf8()).object();
  EXPECT_EQ(item["title"].toString(), "Lumivex");
  EXPECT_EQ(item["status"].toString(), "Active");
  EXPECT_EQ(item["labels"].toArray().toVariantList(),
            QVariantList({"Options...", "Show hotkeys for capture", "Exit"}));

  host({"click", "Show hotkeys for capture"});
  EXPECT_TRUE(waitFor([&] { return !notice("Hotkeys to capture...").isEmpty(); }));
  host({"click", "Exit"});
  EXPECT_TRUE(app.waitForFinished(10000));
}

}  // namespace
