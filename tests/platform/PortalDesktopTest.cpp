// The Wayland backend against a desktop portal on the test session bus: the stand-in front end
// (PORTAL=fake) or Debian's xdg-desktop-portal with a stand-in back end (PORTAL=xdp), both from
// tests/desktop/fake_portal.py. Grabs, refusals, silence, shortcut activations, and what the
// backend says it cannot do.
#include "EventLoop.h"
#include "platform/AppIdentity.h"
#include "platform/DisplaySession.h"
#include "platform/portal/PortalHotkeyBackend.h"
#include "platform/portal/PortalRegistry.h"
#include "platform/portal/PortalScreenGrabber.h"
#include "platform/x11/X11ServerProbe.h"

#include "DesktopProbe.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScreen>
#include <QThread>

using namespace lumivex::platform;
using namespace std::chrono_literals;

namespace {

constexpr unsigned kF1 = 0x70;

// The stand-in's control interface, called with plain method calls: a QDBusInterface would
// introspect it, and Qt never frees the meta-objects it builds from that (LeakSanitizer).
class FakePortalControl {
 public:
  bool isValid() const {
    return QDBusConnection::sessionBus().interface()->isServiceRegistered(service()).value();
  }

  template <typename... Args>
  QDBusMessage call(const QString& method, const Args&... args) const {
    QDBusMessage message = QDBusMessage::createMethodCall(
        service(), QStringLiteral("/org/freedesktop/portal/desktop"),
        QStringLiteral("com.quorlan.LumivexTest.FakePortal"), method);
    message.setArguments({QVariant(args)...});
    return QDBusConnection::sessionBus().call(message);
  }

 private:
  // The stand-in front end itself, or the back end behind the real xdg-desktop-portal.
  static QString service() {
    return qEnvironmentVariable("DESK_PORTAL_CONTROL",
                                QStringLiteral("org.freedesktop.portal.Desktop"));
  }
};

FakePortalControl fakePortal() { return {}; }

void answerScreenshots(const QString& answer, const QString& picture = {}) {
  const QDBusMessage reply =
      fakePortal().call(QStringLiteral("SetScreenshotAnswer"), answer, picture);
  ASSERT_NE(reply.type(), QDBusMessage::ErrorMessage) << reply.errorMessage().toStdString();
}

QImage pattern(QSize size) {
  QImage image(size, QImage::Format_RGB32);
  for (int y = 0; y < size.height(); ++y)
    for (int x = 0; x < size.width(); ++x)
      image.setPixel(x, y, 0xFF000000u | ((quint32(x) * 0x9E3779B1u) ^ (quint32(y) * 0x85EBCA77u)));
  return image;
}

qsizetype countCalls(const QString& name) {
  const QList<QJsonObject> calls = probe::portalCalls();
  return std::count_if(calls.begin(), calls.end(),
                       [&](const QJsonObject& c) { return c.value("call").toString() == name; });
}

class PortalGrab : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fakePortal().isValid()) << "the fake portal is missing: run with PORTAL=fake";
  }
  TempDir dir;
};

}  // namespace

TEST_F(PortalGrab, FullScreenIsThePortalsPictureOfTheSingleMonitorAndItsFileIsGone) {
  const QSize screen = QGuiApplication::primaryScreen()->size();
  const QImage known = pattern(screen);
  const QString file = QString::fromStdString((dir.path / "known.png").string());
  ASSERT_TRUE(known.save(file));
  answerScreenshots("0", file);

  PortalScreenGrabber grabber(QDBusConnection::sessionBus(), 10s);
  for (int frame = 0; frame < 2; ++frame) {  // timed captures grab again and again
    const QImage picture = grabber.grabPrimaryScreen();
    ASSERT_FALSE(picture.isNull());
    EXPECT_FALSE(grabber.lastGrabRefused());
    EXPECT_EQ(picture.format(), QImage::Format_RGB32);
    EXPECT_EQ(picture, known);
  }
  EXPECT_EQ(grabber.primaryScreenRect(), QRect(QPoint(0, 0), screen));
  // The copies the portal made for us are removed; the picture it was asked for stays.
  qsizetype copies = 0;
  for (const QJsonObject& call : probe::portalCalls())
    if (call.value("call").toString() == "Screenshot.file") {
      ++copies;
      EXPECT_FALSE(QFile::exists(call.value("path").toString()));
    }
  EXPECT_EQ(copies, 2);
  EXPECT_TRUE(QFile::exists(file));
}

// A 1280x1024 monitor left of the primary 1920x1080 one, Qt scaling its windows by 2: the
// portal's picture of the whole desktop is cut to the primary monitor's device pixels.
TEST_F(PortalGrab, MultiMonitorPictureIsCutToThePrimaryMonitor) {
  const QRect primary(1280, 0, 1920, 1080);
  probe::run("xrandr", {"--setmonitor", "left", "1280/339x1024/271+0+0", "none"});
  probe::run("xrandr", {"--setmonitor", "*primary", "1920/508x1080/286+1280+0", "none"});
  // Xvfb keeps its whole-screen monitor beside the two.
  const bool twoScreens = runEventsUntil([] {
    return QGuiApplication::screens().size() >= 2 &&
           QGuiApplication::primaryScreen()->geometry().x() > 0;
  });
  PortalScreenGrabber grabber(QDBusConnection::sessionBus(), 10s);
  const QRect reported = grabber.primaryScreenRect();
  const QImage desktop = pattern({3200, 1080});
  const QString file = QString::fromStdString((dir.path / "desktop.png").string());
  ASSERT_TRUE(desktop.save(file));
  answerScreenshots("0", file);
  const QImage picture = grabber.grabPrimaryScreen();
  probe::run("xrandr", {"--delmonitor", "primary"});
  probe::run("xrandr", {"--delmonitor", "left"});
  ASSERT_TRUE(twoScreens) << "the toolkit did not see the two monitors";
  EXPECT_EQ(reported, primary);
  EXPECT_EQ(picture, desktop.copy(primary));
}

TEST_F(PortalGrab, RefusalFailureAndSilenceGiveNoPicture) {
  PortalScreenGrabber grabber(QDBusConnection::sessionBus(), 500ms);
  for (const char* answer : {"1", "2"}) {
    answerScreenshots(answer);
    EXPECT_TRUE(grabber.grabPrimaryScreen().isNull()) << "portal answer " << answer;
    EXPECT_TRUE(grabber.lastGrabRefused()) << "portal answer " << answer;
  }
  answerScreenshots("never");
  const qsizetype closedBefore = countCalls("Request.Close");
  QElapsedTimer clock;
  clock.start();
  EXPECT_TRUE(grabber.grabPrimaryScreen().isNull());
  EXPECT_TRUE(grabber.lastGrabRefused()) << "a permission question left unanswered";
  EXPECT_LT(clock.elapsed(), 10'000);  // bounded by the grabber's wait, not by the portal
  // The abandoned request is closed so the desktop can drop any dialog it shows.
  EXPECT_TRUE(runEventsUntil([&] { return countCalls("Request.Close") == closedBefore + 1; }));
}

TEST_F(PortalGrab, ActiveWindowIsUnsupportedAndAsksThePortalNothing) {
  const PlatformServices services = createPlatformServices(DisplayBackend::kPortal);
  const qsizetype before = countCalls("Screenshot");
  EXPECT_FALSE(services.screen->canGrabActiveWindow());
  EXPECT_TRUE(services.screen->grabActiveWindow().isNull());
  EXPECT_EQ(countCalls("Screenshot"), before);
  // The X11 backend on the same desktop can.
  EXPECT_TRUE(createPlatformServices(DisplayBackend::kX11).screen->canGrabActiveWindow());
}

// What the main form says about its five hotkeys.
QList<HotkeyPurpose> fivePurposes(const QString& suffix = {}) {
  QList<HotkeyPurpose> purposes;
  const char* names[] = {"screen", "area", "window", "timed", "toggle-mode"};
  for (unsigned i = 0; i < 5; ++i)
    purposes.append({i < 4 ? unsigned(kModShift) : unsigned(kModControl), kF1 + i,
                     QString::fromLatin1(names[i]), QStringLiteral("Capture %1").arg(i) + suffix});
  return purposes;
}

void registerFive(HotkeyBackend& hotkeys) {
  for (unsigned i = 0; i < 5; ++i)
    hotkeys.registerHotKey(int(11 + i), i < 4 ? kModShift : kModControl, kF1 + i);
}

QJsonObject boundSessions() {
  return QJsonDocument::fromJson(QDBusReply<QString>(fakePortal().call("Bound")).value().toUtf8())
      .object();
}

class PortalHotkeys : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fakePortal().isValid());
    fakePortal().call(QStringLiteral("OfferGlobalShortcuts"), true);
    fakePortal().call(QStringLiteral("SetBindAnswer"), QStringLiteral("all"));
    hotkeys = createPortalHotkeyBackend(QDBusConnection::sessionBus());
    ASSERT_TRUE(hotkeys->isAvailable());
    portal = dynamic_cast<PortalHotkeyBackend*>(hotkeys.get());
    ASSERT_NE(portal, nullptr);
    QObject::connect(portal, &PortalHotkeyBackend::bindFinished,
                     [this](int response) { binds.append(response); });
    hotkeys->setBindingsChangedHandler([this] { ++changes; });
  }
  void TearDown() override {
    fakePortal().call(QStringLiteral("SetBindAnswer"), QStringLiteral("all"));
  }

  bool waitForBinds(qsizetype count) {
    return runEventsUntil([&] { return binds.size() >= count; }, 10'000);
  }

  std::unique_ptr<HotkeyBackend> hotkeys;
  PortalHotkeyBackend* portal = nullptr;
  QList<int> binds;
  int changes = 0;
};

TEST_F(PortalHotkeys, ShortcutsAreNamedByCaptureUnderOneTokenAndActivationsArePresses) {
  QList<std::tuple<int, unsigned, unsigned>> presses;
  const auto record = [&](int id, unsigned mods, unsigned vk) { presses.append({id, mods, vk}); };
  hotkeys->setPressedHandler(record);
  const qsizetype sessionsBefore = countCalls("CreateSession");
  hotkeys->describeHotKeys(fivePurposes());
  registerFive(*hotkeys);
  EXPECT_FALSE(hotkeys->registerHotKey(16, kModControl, kF1 + 4));  // held here already
  EXPECT_FALSE(hotkeys->registerHotKey(17, kModShift, 0xFF));       // no name for the portal
  ASSERT_TRUE(waitForBinds(1));
  runEventsUntil([] { return false; }, 200);  // time for a second bind, which must not come
  EXPECT_EQ(binds, QList<int>{0});            // the five went together
  EXPECT_EQ(countCalls("CreateSession"), sessionsBefore + 1);

  QStringList ids, triggers, descriptions;
  for (const auto& shortcut : boundSessions().value(portal->boundSession()).toArray()) {
    ids << shortcut.toArray().at(0).toString();
    const QJsonObject properties = shortcut.toArray().at(1).toObject();
    triggers << properties.value("preferred_trigger").toString();
    descriptions << properties.value("description").toString();
  }
  EXPECT_EQ(ids, (QStringList{"screen", "area", "window", "timed", "toggle-mode"}));
  EXPECT_EQ(triggers, (QStringList{"SHIFT+F1", "SHIFT+F2", "SHIFT+F3", "SHIFT+F4", "CTRL+F5"}));
  EXPECT_EQ(descriptions.front(), "Capture 0");
  EXPECT_EQ(hotkeys->boundKeys(kModShift, kF1), "SHIFT+F1");

  ASSERT_TRUE(QDBusReply<bool>(fakePortal().call("Activate", "area")).value());
  ASSERT_TRUE(runEventsUntil([&] { return presses.size() == 1; }));
  EXPECT_EQ(presses.front(), std::make_tuple(12, unsigned(kModShift), kF1 + 1));

  // The options dialog lets go of the keys and takes the same ones back: the desktop keeps
  // its session and whatever keys the user gave it.
  const QString first = portal->boundSession();
  for (int id = 15; id >= 11; --id) hotkeys->unregisterHotKey(id);
  runEventsUntil([] { return false; }, 100);
  registerFive(*hotkeys);
  runEventsUntil([] { return false; }, 300);
  EXPECT_EQ(binds.size(), 1);
  EXPECT_EQ(countCalls("CreateSession"), sessionsBefore + 1);
  EXPECT_EQ(portal->boundSession(), first);

  // A new combination for the area capture: bound afresh under the same token and ids, the
  // old session closed.
  const qsizetype closedBefore = countCalls("Session.Close");
  hotkeys->unregisterHotKey(12);
  QList<HotkeyPurpose> purposes = fivePurposes();
  purposes[1].modifiers = kModControl;
  hotkeys->describeHotKeys(purposes);
  EXPECT_TRUE(hotkeys->registerHotKey(12, kModControl, kF1 + 1));
  runEventsUntil([] { return false; }, 20);  // the old session's Close is out
  purposes = fivePurposes(QStringLiteral(" again"));
  purposes[1].modifiers = kModControl;
  hotkeys->describeHotKeys(purposes);  // and a second change waits for its answer too
  ASSERT_TRUE(waitForBinds(2));
  EXPECT_EQ(binds.back(), 0);
  EXPECT_EQ(countCalls("Session.Close"), closedBefore + 1);
  // Not before the old session's Close is answered: the new one has the same name.
  QStringList order;
  for (const QJsonObject& call : probe::portalCalls()) order << call.value("call").toString();
  const qsizetype closed = order.lastIndexOf("Session.Closed");
  EXPECT_TRUE(closed >= 0 && closed < order.lastIndexOf("CreateSession"))
      << "the new session was asked for before the old one's Close was answered";
  EXPECT_EQ(portal->boundSession(), first);  // named after the token, which stays
  for (const QJsonObject& call : probe::portalCalls()) {
    if (call.value("call").toString() == "CreateSession") {
      EXPECT_EQ(call.value("token").toString(), kShortcutSessionToken);
    }
  }
  ASSERT_TRUE(QDBusReply<bool>(fakePortal().call("Activate", "area")).value());
  ASSERT_TRUE(runEventsUntil([&] { return presses.size() == 2; }));
  EXPECT_EQ(presses.back(), std::make_tuple(12, unsigned(kModControl), kF1 + 1));
}

// What the overview lists comes from the desktop's answer: all, some or none of the keys, a
// refusal, a cancelled dialog; each answer is waited for and announced.
TEST_F(PortalHotkeys, BoundKeysFollowTheDesktopsAnswer) {
  struct Round {
    const char* answer;
    int response;
    QStringList keys;  // of the five, in order
  };
  const QList<Round> rounds = {
      {"all", 0, {"SHIFT+F1", "SHIFT+F2", "SHIFT+F3", "SHIFT+F4", "CTRL+F5"}},
      {"area,timed", 0, {"", "SHIFT+F2", "", "SHIFT+F4", ""}},
      {"empty", 0, {"", "", "", "", ""}},
      {"2", 2, {"", "", "", "", ""}},
      {"1", 1, {"", "", "", "", ""}},
  };
  registerFive(*hotkeys);
  for (qsizetype round = 0; round < rounds.size(); ++round) {
    const Round& r = rounds[round];
    fakePortal().call(QStringLiteral("SetBindAnswer"), QString::fromLatin1(r.answer));
    // The bind starts from the event loop, so counting from here sees both announcements
    // however quickly the desktop answers.
    const int changesBefore = changes;
    // Other descriptions (another language) are a new set to bind.
    hotkeys->describeHotKeys(fivePurposes(QString::number(round)));
    // Pending until the answer comes; a quick desktop may have answered before the first look.
    ASSERT_TRUE(runEventsUntil([&] { return hotkeys->bindingPending() || binds.size() > round; }))
        << r.answer;
    ASSERT_TRUE(waitForBinds(round + 1)) << r.answer;
    EXPECT_FALSE(hotkeys->bindingPending());
    EXPECT_EQ(changes, changesBefore + 2) << "the bind's start and its answer are announced";
    EXPECT_EQ(binds.back(), r.response) << r.answer;
    QStringList keys;
    for (unsigned i = 0; i < 5; ++i)
      keys << hotkeys->boundKeys(i < 4 ? kModShift : kModControl, kF1 + i).value_or("(own)");
    EXPECT_EQ(keys, r.keys) << r.answer;
  }
  EXPECT_EQ(hotkeys->boundKeys(kModAlt, kF1), "") << "never registered";
}

TEST_F(PortalHotkeys, KeysTheUserChangesInTheDesktopAreTheOnesListed) {
  hotkeys->describeHotKeys(fivePurposes());
  registerFive(*hotkeys);
  ASSERT_TRUE(waitForBinds(1));
  const int changesBefore = changes;
  fakePortal().call(QStringLiteral("ChangeKeys"),
                    QStringLiteral(R"({"screen": "Meta+Print", "window": "Ctrl+Alt+W"})"));
  ASSERT_TRUE(runEventsUntil([&] { return changes > changesBefore; }));
  EXPECT_EQ(hotkeys->boundKeys(kModShift, kF1), "Meta+Print");
  EXPECT_EQ(hotkeys->boundKeys(kModShift, kF1 + 1), "");
  EXPECT_EQ(hotkeys->boundKeys(kModShift, kF1 + 2), "Ctrl+Alt+W");
}

TEST(PortalHotkeysAbsent, APortalWithoutGlobalShortcutsLeavesThemUnavailable) {
  ASSERT_TRUE(fakePortal().isValid());
  fakePortal().call(QStringLiteral("OfferGlobalShortcuts"), false);
  const std::unique_ptr<HotkeyBackend> hotkeys =
      createPortalHotkeyBackend(QDBusConnection::sessionBus());
  fakePortal().call(QStringLiteral("OfferGlobalShortcuts"), true);
  EXPECT_FALSE(hotkeys->isAvailable());
  EXPECT_TRUE(hotkeys->registerHotKey(1, kModShift, kF1));  // accepted, never pressed
  EXPECT_EQ(hotkeys->keyName(kF1, false), "F1");
  EXPECT_EQ(hotkeys->boundKeys(kModShift, kF1), "") << "no key for any capture";
}

// The application id goes to the portal's Registry on a connection that has not talked to the
// portal yet; the desktop then files the shortcut session under it. A portal without the
// Registry, and a second registration, leave the program running without one.
TEST(PortalRegistry, TheAppIdIsRegisteredBeforeTheFirstPortalCall) {
  ASSERT_TRUE(fakePortal().isValid());
  fakePortal().call(QStringLiteral("OfferGlobalShortcuts"), true);
  QDBusConnection fresh =
      QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("registry"));
  EXPECT_EQ(registerAppWithPortal(fresh, QString::fromLatin1(kAppId)),
            RegistryOutcome::kRegistered);
  EXPECT_EQ(registerAppWithPortal(fresh, QString::fromLatin1(kAppId)), RegistryOutcome::kFailed);
  {
    PortalHotkeyBackend hotkeys(fresh);
    QList<int> binds;
    QObject::connect(&hotkeys, &PortalHotkeyBackend::bindFinished,
                     [&](int response) { binds.append(response); });
    hotkeys.registerHotKey(1, kModShift, kF1);
    ASSERT_TRUE(runEventsUntil([&] { return !binds.isEmpty(); }, 10'000));
  }
  const QList<QJsonObject> calls = probe::portalCalls();
  const auto session = std::find_if(calls.rbegin(), calls.rend(), [](const QJsonObject& c) {
    return c.value("call").toString() == "CreateSession";
  });
  ASSERT_NE(session, calls.rend());
  EXPECT_EQ(session->value("app_id").toString(), "com.quorlan.Lumivex");

  fakePortal().call(QStringLiteral("OfferRegistry"), false);
  QDBusConnection older =
      QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("older"));
  EXPECT_EQ(registerAppWithPortal(older, QString::fromLatin1(kAppId)),
            RegistryOutcome::kNotOffered);
  fakePortal().call(QStringLiteral("OfferRegistry"), true);
  QDBusConnection::disconnectFromBus(QStringLiteral("registry"));
  QDBusConnection::disconnectFromBus(QStringLiteral("older"));
}

TEST(X11ServerProbe, TheTestDesktopsXvfbOwnsItsScreen) {
  EXPECT_EQ(probeX11Server(), XServerKind::kOwn);
  qputenv("WAYLAND_DISPLAY", "wayland-test");
  EXPECT_EQ(detectDisplayBackend(), DisplayBackend::kX11);
  qunsetenv("WAYLAND_DISPLAY");
}

// Run behind Debian 12's xdg-desktop-portal 1.16 (PORTAL=xdp), which has no Registry: the
// program goes on without an identity, as on that desktop.
TEST(PortalRegistryOlderPortal, AMissingRegistryIsNoFailure) {
  QDBusMessage introspect = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.portal.Desktop"),
      QStringLiteral("/org/freedesktop/portal/desktop"),
      QStringLiteral("org.freedesktop.DBus.Introspectable"), QStringLiteral("Introspect"));
  const QDBusMessage answer = QDBusConnection::sessionBus().call(introspect);
  if (answer.arguments().value(0).toString().contains("org.freedesktop.host.portal.Registry"))
    GTEST_SKIP() << "this machine's xdg-desktop-portal (1.19 or later) has a Registry";
  EXPECT_EQ(registerAppWithPortal(QDBusConnection::sessionBus(), QString::fromLatin1(kAppId)),
            RegistryOutcome::kNotOffered);
}
