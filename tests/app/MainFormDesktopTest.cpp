// The main form in the test desktop: hotkeys pressed in another application's window, the tray
// icon clicked, the notices read from the recording notification service.
#include "DesktopProbe.h"
#include "TempDir.h"
#include "TestEnvironment.h"
#include "app/THidForm.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsTable.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QCursor>
#include <QProcess>
#include <QStringList>

#include <memory>

using namespace lumivex;

namespace {

class MainFormDesktop : public ::testing::Test {
 protected:
  TempDir dir;
  platform::FakeUserEnvironment env = environmentIn(dir);
  RecordingErrorReporter errors;
  DesktopPlatform platform;
  SettingsFile key{dir.path / "config/Quorlan Software/Vistrel.conf", kSettingsKey};
  std::unique_ptr<THidForm> form;
  QStringList actions;
  QProcess focusWindow;
  qsizetype noticesBefore = 0;  // one desktop serves every test of this binary
  ~MainFormDesktop() override {
    form.reset();
    if (focusWindow.state() != QProcess::NotRunning) {
      focusWindow.kill();
      focusWindow.waitForFinished(2000);
    }
  }

  void start() {
    noticesBefore = probe::notices().size();
    const auto lang = QString::fromStdString((dir.path / "lang.txt").string());
    form = std::make_unique<THidForm>(formServices(env, errors, lang, platform));
    QObject::connect(form.get(), &THidForm::captureRequested,
                     [this](bool area) { actions << (area ? "area" : "screen"); });
    QObject::connect(form.get(), &THidForm::activeWindowCaptureRequested,
                     [this] { actions << "window"; });
    QObject::connect(form.get(), &THidForm::timedCaptureRequested, [this] { actions << "timed"; });
    QObject::connect(form.get(), &THidForm::storageModeToggleRequested,
                     [this] { actions << "storage"; });
    QObject::connect(form.get(), &THidForm::optionsDialogRequested,
                     [this] { actions << "options"; });
  }

  // Another program's window has the keyboard focus.
  void focusAnotherProgram() {
    focusWindow.start(QStringLiteral("xmessage"), {"-name", "focus-taker", "another program"});
    ASSERT_TRUE(focusWindow.waitForStarted());
    QString window;
    ASSERT_TRUE(runEventsUntil([&] {
      window = probe::run("xdotool", {"search", "--classname", "focus-taker"}).section('\n', 0, 0);
      return !window.isEmpty();
    }));
    ASSERT_TRUE(probe::xdotool({"windowactivate", "--sync", window}));
    EXPECT_EQ(probe::run("xdotool", {"getactivewindow"}).trimmed(), window);
  }

  // The notices since the start of this test's form (or since `from`) titled `title`.
  QList<QJsonObject> noticesTitled(const QString& title, qsizetype from = -1) const {
    QList<QJsonObject> out;
    const QList<QJsonObject> all = probe::notices();
    for (qsizetype i = from < 0 ? noticesBefore : from; i < all.size(); ++i)
      if (all[i]["summary"].toString() == title) out.append(all[i]);
    return out;
  }

  bool press(const QString& keys, int expectedActions) {
    return probe::xdotool({"key", keys}) &&
           runEventsUntil([&] { return actions.size() >= expectedActions; });
  }
};

const QString kOverviewTitle = QStringLiteral("Hotkeys to capture...");
const QString kDefaultOverview = QStringLiteral(
    "Full screen - Shift+F1\nScreen area - Shift+F2\nActive window - Shift+F3\n"
    "Timed capture - Shift+F4\nSwitch storage mode - Ctrl+F5\n------------\nCapture to file.");

TEST_F(MainFormDesktop, OverviewAfterStartUpListsTheDefaultsAndOneRequestPerHalfSecond) {
  start();
  ASSERT_TRUE(runEventsUntil([&] { return !noticesTitled(kOverviewTitle).isEmpty(); }));
  const QJsonObject overview = noticesTitled(kOverviewTitle).first();
  EXPECT_EQ(overview["body"].toString(), kDefaultOverview);
  EXPECT_EQ(overview["icon"].toString(), "dialog-information");
  EXPECT_EQ(overview["timeout"].toInt(), 60000);
  EXPECT_EQ(form->trayIcon().IconIndex(), 0);
  EXPECT_TRUE(errors.errors.isEmpty());

  const qsizetype before = probe::notices().size();
  form->trayMenu().actions().at(1)->trigger();  // ShowHotkeys1
  runEventsUntil([] { return false; }, 200);
  form->trayMenu().actions().at(1)->trigger();  // ShowHotkeys1
  ASSERT_TRUE(runEventsUntil([&] { return probe::notices().size() > before; }));
  runEventsUntil([] { return false; }, 700);  // a second overview would be due by now
  EXPECT_EQ(noticesTitled(kOverviewTitle, before).size(), 1);
}

TEST_F(MainFormDesktop, DefaultHotkeysReachTheirActionsFromAnotherProgramsWindow) {
  start();
  focusAnotherProgram();
  ASSERT_TRUE(press("shift+F1", 1));
  ASSERT_TRUE(press("shift+F2", 2));
  ASSERT_TRUE(press("shift+F3", 3));
  ASSERT_TRUE(press("shift+F4", 4));
  ASSERT_TRUE(press("ctrl+F5", 5));
  EXPECT_EQ(actions, QStringList({"screen", "area", "window", "timed", "storage"}));
}

TEST_F(MainFormDesktop, StorageModeHotkeyWritesThePairSwitchesTheIconAndSaysSo) {
  start();
  ASSERT_TRUE(runEventsUntil([&] { return !noticesTitled(kOverviewTitle).isEmpty(); }));
  const QImage red = shell::TTrayIcon::StoragePictures()[1].pixmap(16).toImage();
  const QImage grey = shell::TTrayIcon::StoragePictures()[0].pixmap(16).toImage();
  EXPECT_EQ(form->trayIcon().TrayIcon().icon().pixmap(16).toImage(), grey);

  ASSERT_TRUE(press("ctrl+F5", 1));
  EXPECT_EQ(key.read(settings::kClipboardMode), "True");
  EXPECT_EQ(key.read(settings::kFileMode), "False");
  EXPECT_EQ(form->trayIcon().TrayIcon().icon().pixmap(16).toImage(), red);
  QList<QJsonObject> said = noticesTitled("New storage mode.");
  ASSERT_EQ(said.size(), 1);
  EXPECT_EQ(said[0]["body"].toString(), "Capture to clipboard.");
  EXPECT_EQ(said[0]["timeout"].toInt(), 15000);

  ASSERT_TRUE(press("ctrl+F5", 2));
  EXPECT_EQ(key.read(settings::kClipboardMode), "False");
  EXPECT_EQ(key.read(settings::kFileMode), "True");
  EXPECT_EQ(form->trayIcon().TrayIcon().icon().pixmap(16).toImage(), grey);
  said = noticesTitled("New storage mode.");
  ASSERT_EQ(said.size(), 2);
  EXPECT_EQ(said[1]["body"].toString(), "Capture to file.");
  EXPECT_EQ(said[1]["replaces"].toInt(), said[0]["id"].toInt());
}

TEST_F(MainFormDesktop, TwoSettingsWithOneCombinationBothRunInTableOrder) {
  key.write(settings::kHotkey3, "8304");  // active window on Shift+F1 as well
  start();
  ASSERT_TRUE(press("shift+F1", 2));
  runEventsUntil([] { return false; }, 200);
  EXPECT_EQ(actions, QStringList({"screen", "window"}));
  EXPECT_TRUE(errors.errors.isEmpty());
}

TEST_F(MainFormDesktop, CombinationHeldByAnotherProgramIsRefusedSilently) {
  QProcess holder;
  holder.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(GRAB_KEY_SCRIPT), "F2", "1"});
  ASSERT_TRUE(runEventsUntil([&] { return holder.canReadLine(); }));
  ASSERT_EQ(holder.readLine().trimmed(), "held");
  start();
  EXPECT_EQ(form->hotkeys().Count(), 4);
  focusAnotherProgram();
  ASSERT_TRUE(press("shift+F2", 0));
  ASSERT_TRUE(press("shift+F3", 1));
  EXPECT_EQ(actions, QStringList({"window"}));
  EXPECT_TRUE(errors.errors.isEmpty());
  // The overview lists the settings, refused or not.
  ASSERT_TRUE(runEventsUntil([&] { return !noticesTitled(kOverviewTitle).isEmpty(); }));
  EXPECT_EQ(noticesTitled(kOverviewTitle).first()["body"].toString(), kDefaultOverview);
  holder.closeWriteChannel();
  if (!holder.waitForFinished(3000)) holder.kill();
}

TEST_F(MainFormDesktop, TrayPressesOpenTheMenuAndDoubleClickOpensOptions) {
  start();
  ASSERT_TRUE(runEventsUntil([&] { return probe::embeddedTrayIcon() != 0; }));
  const QPoint centre = form->trayIcon().TrayIcon().geometry().center();
  ASSERT_TRUE(
      probe::xdotool({"mousemove", QString::number(centre.x()), QString::number(centre.y())}));
  for (const char* button : {"1", "3"}) {
    ASSERT_TRUE(probe::xdotool({"click", button}));
    ASSERT_TRUE(runEventsUntil([&] { return form->trayMenu().isVisible(); })) << button;
    form->trayMenu().hide();
    QCursor::pos();  // a round trip: the menu's pointer grab is released before the next click
  }
  ASSERT_TRUE(probe::xdotool({"click", "--repeat", "2", "--delay", "80", "1"}));
  ASSERT_TRUE(runEventsUntil([&] { return actions.contains("options"); }));
  EXPECT_EQ(actions, QStringList({"options"}));
  EXPECT_FALSE(form->trayMenu().isVisible());
}

}  // namespace
