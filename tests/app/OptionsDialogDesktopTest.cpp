// The options dialog in the test desktop: opened by a second start of the real executable,
// edited by real key presses, and the new hotkey grabbed once it has closed.
#include "DesktopProbe.h"
#include "EventLoop.h"
#include "TempDir.h"
#include "TestEnvironment.h"
#include "app/THidForm.h"
#include "options/TOptForm.h"
#include "platform/dbus/SingleInstance.h"
#include "settings/SettingsFile.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QTimer>

using namespace lumivex;
using lumivex::platform::SingleInstance;

namespace {

// Acts on the options dialog from inside its modal loop, like a user at the keyboard.
class DialogUser : public QObject {
 public:
  QStringList steps;  // what was done, for the failure message
  explicit DialogUser(std::function<void(options::TOptForm&)> act) : act_(std::move(act)) {
    timer_.setInterval(50);
    connect(&timer_, &QTimer::timeout, this, [this] { poll(); });
    timer_.start();
  }

 private:
  void poll() {
    auto* dialog = qobject_cast<options::TOptForm*>(QApplication::activeModalWidget());
    if (!dialog || !dialog->isActiveWindow()) return;
    timer_.stop();
    act_(*dialog);
  }
  std::function<void(options::TOptForm&)> act_;
  QTimer timer_;
};

QString clickAt(QWidget& widget) {
  const QPoint centre = widget.mapToGlobal(widget.rect().center());
  probe::xdotool({"mousemove", "--sync", QString::number(centre.x()), QString::number(centre.y())});
  probe::xdotool({"click", "1"});
  return widget.objectName();
}

TEST(OptionsDialogDesktop, SecondStartOpensItAndATypedHotkeyReplacesTheOldOne) {
  TempDir dir;
  platform::FakeUserEnvironment env = environmentIn(dir);
  RecordingErrorReporter errors;
  SettingsFile key{dir.path / "config/Quorlan Software/Vistrel.conf", kSettingsKey};
  const auto lang = QString::fromStdString((dir.path / "lang.txt").string());
  DesktopPlatform platform;
  THidForm::Services services = formServices(env, errors, lang, platform);
  QDir().mkpath(env.desktop);  // where the captures go
  THidForm form(services);
  cancelAreaSelections(form);
  QStringList captures;
  QObject::connect(&form, &THidForm::captureRequested,
                   [&](bool area) { captures << (area ? "area" : "screen"); });

  SingleInstance instance({});
  instance.onShowOptions = [&] { form.onTrayDoubleClick(); };
  ASSERT_EQ(instance.claim(), SingleInstance::Claim::Owned);

  bool typed = false;
  QString typedOurs;
  DialogUser user([&](options::TOptForm& dialog) {
    clickAt(*dialog.findChild<QWidget*>("HotKey1"));
    // A combination that is a hotkey of ours reaches the field, not the capture.
    probe::xdotool({"key", "shift+F2"});
    runEventsUntil([&] { return dialog.findChild<QLineEdit*>("HotKey1")->text() == "Shift+F2"; });
    typedOurs = dialog.findChild<QLineEdit*>("HotKey1")->text();
    probe::xdotool({"key", "F7"});  // plain F7: the field makes it Shift+F7
    probe::xdotool({"key", "Return"});
    typed = true;
  });
  QProcess second;
  second.start(QStringLiteral(LUMIVEX_EXE));
  ASSERT_TRUE(runEventsUntil([&] { return typed; }, 20000)) << "the dialog never came up";
  ASSERT_TRUE(runEventsUntil([&] { return !form.optionsDialogOpen(); }, 10000));
  ASSERT_TRUE(runEventsUntil([&] { return second.state() == QProcess::NotRunning; }));
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_EQ(typedOurs.toStdString(), "Shift+F2");
  EXPECT_TRUE(captures.isEmpty()) << "the grabs were released while the dialog was open";
  EXPECT_EQ(key.read("HotKey1_HotKey"), std::to_string(0x2000 | 0x76));

  ASSERT_TRUE(probe::xdotool({"key", "shift+F7"}));
  EXPECT_TRUE(runEventsUntil([&] { return captures.size() == 1; }));
  ASSERT_TRUE(probe::xdotool({"key", "shift+F1"}));
  ASSERT_TRUE(probe::xdotool({"key", "shift+F2"}));
  EXPECT_TRUE(runEventsUntil([&] { return captures.size() >= 2; }));
  runEventsUntil([] { return false; }, 300);
  EXPECT_EQ(captures.join(u' ').toStdString(), "screen area") << "Shift+F1 must no longer capture";
  EXPECT_TRUE(errors.errors.isEmpty());
}

}  // namespace
