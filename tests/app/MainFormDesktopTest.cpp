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
#include <QDir>
#include <QPainter>
#include <QProcess>
#include <QStringList>
#include <QWidget>

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
    QDir().mkpath(env.desktop);  // where the captures go
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
    answerOptionsDialogs(*form, [this](options::TOptForm&) { actions << "options"; });
    cancelAreaSelections(*form);
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

// Pixels that differ from their neighbours, so any shift or mix-up shows.
QImage pattern(QSize size) {
  QImage image(size, QImage::Format_RGB32);
  for (int y = 0; y < size.height(); ++y)
    for (int x = 0; x < size.width(); ++x) {
      quint32 h = (quint32(x) * 0x9E3779B1u) ^ (quint32(y) * 0x85EBCA77u);
      h ^= h >> 15;
      h *= 0x2C1B3C6Du;
      image.setPixel(x, y, 0xFF000000u | ((h ^ (h >> 12)) & 0xFFFFFFu));
    }
  return image;
}

// A picture over the whole test desktop (one unscaled monitor), above every window.
class PictureWindow : public QWidget {
 public:
  explicit PictureWindow(QImage picture) : picture_(std::move(picture)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setWindowFlags(Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
    setGeometry(QRect(QPoint(0, 0), picture_.size()));
  }

 protected:
  void paintEvent(QPaintEvent*) override { QPainter(this).drawImage(QPoint(0, 0), picture_); }

 private:
  QImage picture_;
};

bool samePixels(const QImage& a, const QImage& b) {
  return a.size() == b.size() &&
         a.convertToFormat(QImage::Format_RGB32) == b.convertToFormat(QImage::Format_RGB32);
}

// Another X client's reading of the clipboard as `type`, while this process serves it.
QByteArray clipboardOfAnotherClient(const QString& type) {
  QProcess xclip;
  xclip.start(QStringLiteral("xclip"), {"-selection", "clipboard", "-t", type, "-o"});
  if (!xclip.waitForStarted() ||
      !runEventsUntil([&] { return xclip.state() == QProcess::NotRunning; }))
    return {};
  return xclip.readAllStandardOutput();
}

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
  EXPECT_TRUE(errors.errors.isEmpty()) << errors.errors.join(" | ").toStdString();

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
  focusAnotherProgram();
  ASSERT_TRUE(press("shift+F1", 2));
  runEventsUntil([] { return false; }, 200);
  EXPECT_EQ(actions, QStringList({"screen", "window"}));
  EXPECT_TRUE(errors.errors.isEmpty()) << errors.errors.join(" | ").toStdString();
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
  EXPECT_TRUE(errors.errors.isEmpty()) << errors.errors.join(" | ").toStdString();
  // The overview lists the settings, refused or not.
  ASSERT_TRUE(runEventsUntil([&] { return !noticesTitled(kOverviewTitle).isEmpty(); }));
  EXPECT_EQ(noticesTitled(kOverviewTitle).first()["body"].toString(), kDefaultOverview);
  holder.closeWriteChannel();
  if (!holder.waitForFinished(3000)) holder.kill();
}

TEST_F(MainFormDesktop, FullScreenHotkeySavesTheScreenOrHandsItToOtherProgramsByTheClipboard) {
  key.write(settings::kSoundOn, "False");
  start();
  const QImage shown = pattern(QSize(1920, 1080));  // the test desktop's primary monitor
  PictureWindow window(shown);
  window.show();
  ASSERT_TRUE(probe::xdotool({"mousemove", "200", "100"}));  // the pointer is not in the picture
  ASSERT_TRUE(runEventsUntil(
      [&] { return samePixels(platform.desktop.screen->grabPrimaryScreen(), shown); }));

  ASSERT_TRUE(press("shift+F1", 1));
  const QDir desktop(env.desktop);
  const QStringList files = desktop.entryList({"*.png"}, QDir::Files);
  ASSERT_EQ(files.size(), 1);
  EXPECT_TRUE(samePixels(QImage(desktop.filePath(files[0])), shown));
  EXPECT_TRUE(errors.errors.isEmpty()) << errors.errors.join(" | ").toStdString();

  key.write(settings::kClipboardMode, "True");
  ASSERT_TRUE(press("shift+F1", 2));
  EXPECT_TRUE(samePixels(QImage::fromData(clipboardOfAnotherClient("image/png"), "PNG"), shown));
  EXPECT_EQ(desktop.entryList(QDir::Files).size(), 1) << "no second file";
  EXPECT_EQ(noticesTitled("Screen captured!").size(), 2);
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
