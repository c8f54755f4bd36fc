// The main form's hotkey dispatch and notices with an injected hotkey backend, no desktop.
#include "TempDir.h"
#include "TestEnvironment.h"
#include "app/THidForm.h"
#include "platform/FakeHotkeyBackend.h"
#include "settings/SettingsFile.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

#include <memory>

using namespace lumivex;
using platform::kModControl;
using platform::kModShift;

namespace {

struct Box {
  QString caption, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Answers the next message box, keeping what it showed.
class BoxCloser {
 public:
  BoxCloser() {
    QObject::connect(&poll_, &QTimer::timeout, [this] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        boxes.append({box->windowTitle(), box->text(), box->icon()});
        box->accept();
      }
    });
    poll_.start(10);
  }
  QList<Box> boxes;

 private:
  QTimer poll_;
};

class MainFormShell : public ::testing::Test {
 protected:
  TempDir dir;
  platform::FakeUserEnvironment env = environmentIn(dir);
  RecordingErrorReporter errors;
  platform::FakeHotkeyBackend hotkeys;
  SettingsFile key{dir.path / "config/Quorlan Software/Vistrel.conf", kSettingsKey};
  std::unique_ptr<THidForm> form;
  QStringList actions;
  void start() {
    const auto lang = QString::fromStdString((dir.path / "lang.txt").string());
    form = std::make_unique<THidForm>(THidForm::Services{env, errors, lang, &hotkeys});
    form->Timer3.stop();  // each test asks for the overview itself
    form->oldShellSystem = true;
    QObject::connect(form.get(), &THidForm::captureRequested,
                     [this](bool area) { actions << (area ? "area" : "screen"); });
    QObject::connect(form.get(), &THidForm::activeWindowCaptureRequested,
                     [this] { actions << "window"; });
    QObject::connect(form.get(), &THidForm::timedCaptureRequested,
                     [this](bool on) { actions << (on ? "timed on" : "timed off"); });
  }
};

TEST_F(MainFormShell, RegistersTheFiveStoredCombinationsInOrder) {
  key.write("Hotkey2_HotKey", std::to_string(0x8000 | 0x4000 | 0x2C));  // Ctrl+Alt+Print
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
  start();
  hotkeys.press(kModShift, 0x70);
  EXPECT_EQ(actions, QStringList({"screen"}));
  // Changed behind the registrations' back, as while the options dialog is open.
  key.write("Hotkey1_HotKey", "8305");
  key.write("Hotkey3_HotKey", "8304");
  hotkeys.press(kModShift, 0x70);
  hotkeys.press(kModShift, 0x71);
  EXPECT_EQ(actions, QStringList({"screen", "window", "screen", "area"}));
}

TEST_F(MainFormShell, TimedCaptureHotkeyStartsOrStopsByTheTimersState) {
  start();
  hotkeys.press(kModShift, 0x73);
  form->Timer1.start();
  hotkeys.press(kModShift, 0x73);
  form->Timer1.stop();
  EXPECT_EQ(actions, QStringList({"timed on", "timed off"}));
}

TEST_F(MainFormShell, OptionsDialogsNewCombinationReplacesTheOldOne) {
  start();
  QObject::connect(form.get(), &THidForm::optionsDialogRequested,
                   [this] { key.write("Hotkey1_HotKey", std::to_string(0x4000 | 0x51)); });
  form->cti1DblClick();
  EXPECT_FALSE(hotkeys.press(kModShift, 0x70));
  EXPECT_TRUE(hotkeys.press(kModControl, 0x51));
  EXPECT_EQ(actions, QStringList({"screen"}));
  EXPECT_EQ(hotkeys.registrations().size(), 5);
}

TEST_F(MainFormShell, OldShellNoticesAreMessageBoxes) {
  start();
  BoxCloser closer;
  form->ToggleStorageMode();
  ASSERT_EQ(closer.boxes.size(), 1);
  EXPECT_EQ(closer.boxes[0].caption, "Lumivex");
  EXPECT_EQ(closer.boxes[0].text, "Capture to clipboard.");
  EXPECT_EQ(closer.boxes[0].icon, QMessageBox::Information);
  EXPECT_EQ(form->cti1.IconIndex(), 1);

  form->Timer3Timer();
  ASSERT_EQ(closer.boxes.size(), 2);
  EXPECT_EQ(closer.boxes[1].caption, "Hotkey to caputre...");
  EXPECT_EQ(closer.boxes[1].text,
            "Full screen - Shift+F1\r\nScreen area - Shift+F2\r\nActive window - Shift+F3\r\n"
            "Timed capture - Shift+F4\r\nSwitch storage mode - Ctrl+F5\r\n------------\r\n"
            "Capture to clipboard.");
  EXPECT_EQ(form->cti1.IconIndex(), 1);
}

TEST_F(MainFormShell, OverviewBringsTheTrayPictureInLineWithTheStoredMode) {
  start();
  BoxCloser closer;
  key.write("Radiobutton1_Checked", "TRUE");
  form->Timer3Timer();
  EXPECT_EQ(form->cti1.IconIndex(), 1);
  key.write("Radiobutton1_Checked", "anything");
  form->Timer3Timer();
  EXPECT_EQ(form->cti1.IconIndex(), 0);
  ASSERT_EQ(closer.boxes.size(), 2);
  EXPECT_TRUE(closer.boxes[1].text.endsWith("\r\n------------\r\nCapture to file."));
  // "TRUE" counts as clipboard for the overview but not as "false" for the switch.
  key.write("Radiobutton1_Checked", "TRUE");
  form->ToggleStorageMode();
  EXPECT_EQ(key.read("Radiobutton1_Checked"), "False");
  EXPECT_EQ(closer.boxes.last().text, "Capture to file.");
}

TEST_F(MainFormShell, LanguageFileTitlesTheNotices) {
  dir.write("lang.txt", "[lumivex_it]\n260=Tasti di scelta rapida\n790=Cattura negli appunti.\n");
  start();
  BoxCloser closer;
  form->ToggleStorageMode();
  form->Timer3Timer();
  ASSERT_EQ(closer.boxes.size(), 2);
  EXPECT_EQ(closer.boxes[0].text, "Cattura negli appunti.");
  EXPECT_EQ(closer.boxes[1].caption, "Tasti di scelta rapida");
}

}  // namespace
