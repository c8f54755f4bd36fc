// The main form's hotkey dispatch and notices with an injected hotkey backend, no desktop.
#include "TempDir.h"
#include "TestEnvironment.h"
#include "app/THidForm.h"
#include "options/HotkeyOverview.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsTable.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <memory>

using namespace lumivex;
using platform::kModControl;
using platform::kModShift;

namespace {

using Way = platform::FakeNoticeService::Way;

class MainFormShell : public ::testing::Test {
 protected:
  TempDir dir;
  platform::FakeUserEnvironment env = environmentIn(dir);
  RecordingErrorReporter errors;
  FakePlatform platform;
  platform::FakeHotkeyBackend& hotkeys = platform.hotkeys;
  QList<platform::FakeNoticeService::Notice>& notices = platform.notices.notices;
  SettingsFile key{dir.path / "config/Quorlan Software/Vistrel.conf", kSettingsKey};
  std::unique_ptr<THidForm> form;
  QStringList actions;
  // An old shell unless the test says otherwise: notices are message boxes.
  void start(bool stopOverview = true) {
    platform.notices.notifications = false;
    platform.notices.balloons = false;
    const auto lang = QString::fromStdString((dir.path / "lang.txt").string());
    form = std::make_unique<THidForm>(formServices(env, errors, lang, platform));
    if (stopOverview) form->overview().delay().stop();  // each test asks for the overview itself
    QObject::connect(form.get(), &THidForm::captureRequested,
                     [this](bool area) { actions << (area ? "area" : "screen"); });
    QObject::connect(form.get(), &THidForm::activeWindowCaptureRequested,
                     [this] { actions << "window"; });
    QObject::connect(form.get(), &THidForm::timedCaptureRequested,
                     [this](bool on) { actions << (on ? "timed on" : "timed off"); });
    cancelAreaSelections(*form);
  }
};

TEST_F(MainFormShell, RegistersTheFiveStoredCombinationsInOrder) {
  key.write(settings::kHotkey2, std::to_string(0x8000 | 0x4000 | 0x2C));  // Ctrl+Alt+Print
  start();
  const auto& r = hotkeys.registrations();
  ASSERT_EQ(r.size(), 5);
  EXPECT_EQ(r[0].virtualKey, 0x70u);
  EXPECT_EQ(r[0].modifiers, unsigned(kModShift));
  EXPECT_EQ(r[1].virtualKey, 0x2Cu);
  EXPECT_EQ(r[1].modifiers, unsigned(kModControl | platform::kModAlt));
  EXPECT_EQ(r[4].virtualKey, 0x74u);
  EXPECT_EQ(r[4].modifiers, unsigned(kModControl));
}

TEST_F(MainFormShell, DispatchComparesWithTheSettingsOfTheMomentNotTheRegistrations) {
  platform.screen.setScreen(QImage(8, 8, QImage::Format_RGB32));
  key.write(settings::kClipboardMode, "True");  // no files
  start();
  hotkeys.press(kModShift, 0x70);
  EXPECT_EQ(actions, QStringList({"screen"}));
  // Changed behind the registrations' back, as while the options dialog is open.
  key.write(settings::kHotkey1, "8305");
  key.write(settings::kHotkey3, "8304");
  hotkeys.press(kModShift, 0x70);
  hotkeys.press(kModShift, 0x71);
  EXPECT_EQ(actions, QStringList({"screen", "window", "screen", "area"}));
}

TEST_F(MainFormShell, TimedCaptureHotkeyStartsOrStopsByTheTimersState) {
  start();
  hotkeys.press(kModShift, 0x73);
  EXPECT_TRUE(form->timedRun().running());
  hotkeys.press(kModShift, 0x73);
  EXPECT_FALSE(form->timedRun().running());
  EXPECT_EQ(actions, QStringList({"timed on", "timed off"}));
  // Stopped before the first frame: nothing to write, and no notice.
  EXPECT_EQ(errors.errors, QStringList({"No GIF Data to write"}));
  EXPECT_TRUE(notices.isEmpty());
}

TEST_F(MainFormShell, OptionsDialogsNewCombinationReplacesTheOldOne) {
  start();
  // The user types Ctrl+Q into the first hotkey field.
  answerOptionsDialogs(*form, [](options::TOptForm& dialog) {
    dialog.findChild<QWidget*>("HotKey1")->setProperty("hotKey", 0x4000 | 0x51);
  });
  form->onTrayDoubleClick();
  EXPECT_FALSE(hotkeys.press(kModShift, 0x70));
  EXPECT_TRUE(hotkeys.press(kModControl, 0x51));
  EXPECT_EQ(actions, QStringList({"screen"}));
  EXPECT_EQ(hotkeys.registrations().size(), 5);
}

TEST_F(MainFormShell, OldShellNoticesAreMessageBoxes) {
  start();
  EXPECT_TRUE(form->oldShellSystem());
  form->ToggleStorageMode();
  ASSERT_EQ(notices.size(), 1);
  EXPECT_EQ(notices[0].way, Way::MessageBox);
  EXPECT_EQ(notices[0].title, "Lumivex");
  EXPECT_EQ(notices[0].text, "Capture to clipboard.");
  EXPECT_EQ(notices[0].iconKind, platform::kNoticeInfo);
  EXPECT_EQ(form->trayIcon().IconIndex(), 1);

  form->overview().Show();
  ASSERT_EQ(notices.size(), 2);
  EXPECT_EQ(notices[1].way, Way::MessageBox);
  EXPECT_EQ(notices[1].title, "Hotkey to caputre...");
  EXPECT_EQ(notices[1].text,
            "Full screen - Shift+F1\r\nScreen area - Shift+F2\r\nActive window - Shift+F3\r\n"
            "Timed capture - Shift+F4\r\nSwitch storage mode - Ctrl+F5\r\n------------\r\n"
            "Capture to clipboard.");
  EXPECT_EQ(form->trayIcon().IconIndex(), 1);
}

// The overview comes once, its delay after the start, and a second request while it is pending
// does not push it back.
TEST_F(MainFormShell, OverviewFollowsTheStartAfterItsDelay) {
  start(false);
  platform.clock.advance(options::kOverviewDelayMs - 100);
  form->onShowHotkeysClicked();
  platform.clock.advance(99);
  EXPECT_TRUE(notices.isEmpty());
  platform.clock.advance(1);
  ASSERT_EQ(notices.size(), 1);
  EXPECT_EQ(notices[0].title, "Hotkey to caputre...");
  platform.clock.advance(10 * options::kOverviewDelayMs);
  EXPECT_EQ(notices.size(), 1);
}

// With a notification service the same notice goes there, under its balloon title.
TEST_F(MainFormShell, NoticesGoToTheNotificationServiceWhereThereIsOne) {
  start();
  platform.notices.notifications = true;  // came up after the start: the form stays old-shell
  form->ToggleStorageMode();
  ASSERT_EQ(notices.size(), 1);
  EXPECT_EQ(notices[0].way, Way::MessageBox);

  form.reset();
  form = std::make_unique<THidForm>(formServices(
      env, errors, QString::fromStdString((dir.path / "lang.txt").string()), platform));
  EXPECT_FALSE(form->oldShellSystem());
  form->ToggleStorageMode();
  ASSERT_EQ(notices.size(), 2);
  EXPECT_EQ(notices[1].way, Way::Notification);
  EXPECT_EQ(notices[1].title, "New storage mode.");
  EXPECT_EQ(notices[1].text, "Capture to file.");
  EXPECT_EQ(notices[1].timeoutMs, 15000);
}

TEST_F(MainFormShell, OverviewBringsTheTrayPictureInLineWithTheStoredMode) {
  start();
  key.write(settings::kClipboardMode, "TRUE");
  form->overview().Show();
  EXPECT_EQ(form->trayIcon().IconIndex(), 1);
  key.write(settings::kClipboardMode, "anything");
  form->overview().Show();
  EXPECT_EQ(form->trayIcon().IconIndex(), 0);
  ASSERT_EQ(notices.size(), 2);
  EXPECT_TRUE(notices[1].text.endsWith("\r\n------------\r\nCapture to file."));
  // "TRUE" counts as clipboard for the overview but not as "false" for the switch.
  key.write(settings::kClipboardMode, "TRUE");
  form->ToggleStorageMode();
  EXPECT_EQ(key.read(settings::kClipboardMode), "False");
  EXPECT_EQ(notices.last().text, "Capture to file.");
}

// The overview lists the keys the desktop bound, not the settings: where it bound none for a
// capture (no global shortcuts at all, a refusal, an empty or partial answer) that line says so
// and every such overview is followed by how to bind the capture commands instead.
TEST_F(MainFormShell, OverviewTellsWhichCapturesTheDesktopLeftWithoutAKey) {
  hotkeys.available = false;
  start();
  form->overview().Show();
  form->overview().Show();
  ASSERT_EQ(notices.size(), 4);
  EXPECT_TRUE(notices[0].text.startsWith("Full screen - no key\r\nScreen area - no key"));
  EXPECT_TRUE(notices[1].text.startsWith("The desktop has bound no key for the captures marked"));
  EXPECT_TRUE(notices[1].text.contains("\"lumivex --capture KIND\""));
  EXPECT_TRUE(notices[1].text.endsWith("toggle-mode."));  // whole: it fits a notice
  EXPECT_EQ(notices[3].text, notices[1].text);

  // A desktop that bound the full-screen capture to keys of the user's choice and left the
  // storage-mode switch out.
  notices.clear();
  hotkeys.available = true;
  hotkeys.desktopBinds = true;
  for (unsigned vk = 0x70; vk < 0x74; ++vk)
    hotkeys.desktopKeys.insert(quint64(kModShift) << 32 | vk,
                               QStringLiteral("Shift+F%1").arg(vk - 0x6F));
  hotkeys.desktopKeys.insert(quint64(kModShift) << 32 | 0x70, "Meta+Print");
  form->overview().Show();
  ASSERT_EQ(notices.size(), 2);
  EXPECT_TRUE(notices[0].text.startsWith("Full screen - Meta+Print\r\nScreen area - Shift+F2\r\n"));
  EXPECT_TRUE(notices[0].text.contains("Switch storage mode - no key\r\n"));
  // Everything bound: the overview alone.
  hotkeys.desktopKeys.insert(quint64(platform::kModControl) << 32 | 0x74, "Ctrl+F5");
  form->overview().Show();
  EXPECT_EQ(notices.size(), 3);
}

// The shortcuts reach the desktop named by capture and described in the user's language; an
// overview due while the desktop is still deciding (its dialog may be open) follows its answer.
TEST_F(MainFormShell, DesktopLearnsWhatEachKeyDoesAndTheOverviewWaitsForItsAnswer) {
  dir.write("lang.txt", "[lumivex_it]\n280=Area dello schermo\n");
  hotkeys.desktopBinds = true;
  hotkeys.pending = true;
  start(false);
  ASSERT_EQ(hotkeys.purposes.size(), 5);
  QStringList names;
  for (const platform::HotkeyPurpose& p : hotkeys.purposes) names << p.name;
  EXPECT_EQ(names, QStringList({"screen", "area", "window", "timed", "toggle-mode"}));
  EXPECT_EQ(hotkeys.purposes[1].description, "Area dello schermo");
  EXPECT_EQ(hotkeys.purposes[4].modifiers, unsigned(platform::kModControl));
  EXPECT_EQ(hotkeys.purposes[4].virtualKey, 0x74u);

  platform.clock.advance(600);
  EXPECT_TRUE(notices.isEmpty());
  hotkeys.pending = false;
  hotkeys.changeBindings();
  platform.clock.advance(600);
  ASSERT_EQ(notices.size(), 2);  // the overview, all "no key", and the way out
  EXPECT_TRUE(notices[0].text.startsWith("Full screen - no key"));
  hotkeys.changeBindings();  // a later change shows nothing by itself
  platform.clock.advance(600);
  EXPECT_EQ(notices.size(), 2);
}

TEST_F(MainFormShell, LanguageFileTitlesTheNotices) {
  dir.write("lang.txt", "[lumivex_it]\n260=Tasti di scelta rapida\n790=Cattura negli appunti.\n");
  start();
  form->ToggleStorageMode();
  form->overview().Show();
  ASSERT_EQ(notices.size(), 2);
  EXPECT_EQ(notices[0].text, "Cattura negli appunti.");
  EXPECT_EQ(notices[1].title, "Tasti di scelta rapida");
}

}  // namespace
