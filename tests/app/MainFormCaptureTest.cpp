// The main form's captures with the platform faked: what reaches the disk, the clipboard, the
// speaker, the notices and the after-capture action, and in which order.
#include "FileSizeLimit.h"
#include "TempDir.h"
#include "TestEnvironment.h"
#include "app/THidForm.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsTable.h"

#include <gif_lib.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QClipboard>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QStringList>
#include <QThread>

#include <cstring>
#include <memory>
#include <ostream>

// Readable failure messages.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out) { *out << text.toStdString(); }
QT_END_NAMESPACE

using namespace lumivex;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

using Way = platform::FakeNoticeService::Way;

// What happened, in order, across the sound player and the launcher.
struct EventLog {
  QStringList events;
};

// Notes when the shutter sounds. With holdForFile it plays until the picture file exists (3 s at
// most), as a long sound would, and notes whether the file came and how many notices came
// meanwhile. The capture touches the log only once the sound has ended.
class LoggingSound final : public platform::SoundPlayer {
 public:
  EventLog* log = nullptr;
  QString watchedFile;
  bool holdForFile = false;
  const QList<platform::FakeNoticeService::Notice>* notices = nullptr;
  void playWave(QByteArrayView) override {
    log->events << "sound";
    if (!holdForFile) return;
    const QDeadlineTimer deadline(3000);
    while (!QFile::exists(watchedFile) && !deadline.hasExpired()) QThread::msleep(5);
    log->events << QStringLiteral("sound ends %1 the file, after %2 notice(s)")
                       .arg(QFile::exists(watchedFile) ? "after" : "before")
                       .arg(notices->size());
  }
};

// Finds 7-Zip and notes each start with the number of notices shown by then.
class LoggingLauncher final : public platform::Launcher {
 public:
  EventLog* log = nullptr;
  const QList<platform::FakeNoticeService::Notice>* notices = nullptr;
  QString findExecutable(const QString& name) const override {
    return name == QLatin1String("7z") ? QStringLiteral("/usr/bin/7z") : QString();
  }
  bool startDetached(const QString&, const QStringList& arguments) override {
    log->events << QStringLiteral("action %1 after %2 notice(s)")
                       .arg(arguments.last())
                       .arg(notices->size());
    return true;
  }
};

struct CapturePlatform {
  platform::FakeHotkeyBackend hotkeys;
  platform::FakeNoticeService notices;
  platform::FakeClock clock;
  platform::FakeScreenGrabber screen;
  LoggingSound sound;
  platform::FakePointerControl pointer;
  platform::FakeAutostartEntry autostart;
};

// A picture whose every pixel differs from its neighbours.
QImage pattern(int width, int height) {
  QImage picture(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) picture.setPixel(x, y, qRgb(x * 5, y * 7, (x ^ y) * 3));
  return picture;
}

struct GifFile {
  int frames = 0;
  QList<int> delays;  // hundredths of a second
  bool loops = false;
};

// Read back with giflib, independent of the writer.
GifFile readGif(const QString& path) {
  GifFile out;
  int error = 0;
  GifFileType* gif = DGifOpenFileName(path.toLocal8Bit().constData(), &error);
  if (!gif) return out;
  if (DGifSlurp(gif) == GIF_OK) {
    out.frames = gif->ImageCount;
    for (int i = 0; i < gif->ImageCount; ++i) {
      GraphicsControlBlock control;
      if (DGifSavedExtensionToGCB(gif, i, &control) == GIF_OK) out.delays << control.DelayTime;
      const SavedImage& image = gif->SavedImages[i];
      for (int e = 0; e < image.ExtensionBlockCount; ++e) {
        const ExtensionBlock& block = image.ExtensionBlocks[e];
        if (block.Function == APPLICATION_EXT_FUNC_CODE && block.ByteCount == 11 &&
            std::memcmp(block.Bytes, "NETSCAPE2.0", 11) == 0)
          out.loops = true;
      }
    }
  }
  DGifCloseFile(gif, &error);
  return out;
}

class MainFormCapture : public ::testing::Test {
 protected:
  TempDir dir;
  platform::FakeUserEnvironment env = environmentIn(dir);
  RecordingErrorReporter errors;
  CapturePlatform platform;
  LoggingLauncher launcher;
  EventLog log;
  SettingsFile key{dir.path / "config/Quorlan Software/Vistrel.conf", kSettingsKey};
  std::unique_ptr<THidForm> form;
  QList<platform::FakeNoticeService::Notice>& notices = platform.notices.notices;
  const QImage screen = pattern(64, 40);
  const QString desktop = env.desktop;
  // The name the fake clock's start gives a PNG picture.
  const QString stampedPng = desktop + "/LumivexPhoto_2005_06_19 22_22_17.png";

  void SetUp() override {
    QDir().mkpath(desktop);
    platform.screen.setScreen(screen);
    platform.sound.log = &log;
    platform.sound.watchedFile = stampedPng;
    platform.sound.notices = &notices;
    launcher.log = &log;
    launcher.notices = &notices;
    // After-capture action: a ZIP archive beside the picture.
    key.write(settings::kDoAction, "True");
    key.write(settings::kAction, "3");
  }

  void start() {
    auto services = formServices(
        env, errors, QString::fromStdString((dir.path / "lang.txt").string()), platform);
    services.launcher = &launcher;
    form = std::make_unique<THidForm>(services);
    form->overview().delay().stop();
    cancelAreaSelections(*form);
  }

  QStringList desktopFiles() const { return QDir(desktop).entryList(QDir::Files); }
};

TEST_F(MainFormCapture, FullScreenIsNamedSoundedSavedNoticedThenActedOn) {
  start();
  form->CaptureScreen(false);
  EXPECT_THAT(errors.errors, IsEmpty());
  EXPECT_EQ(QImage(stampedPng).convertToFormat(QImage::Format_RGB32), screen);
  EXPECT_THAT(log.events, ElementsAre("sound", "action " + stampedPng + " after 1 notice(s)"));
  ASSERT_EQ(notices.size(), 1);
  EXPECT_EQ(notices[0].way, Way::Notification);
  EXPECT_EQ(notices[0].title, "Screen captured!");
  EXPECT_EQ(notices[0].text, "Picture saved as " + stampedPng);
  EXPECT_EQ(notices[0].iconKind, platform::kNoticeInfo);
  EXPECT_EQ(notices[0].timeoutMs, 60000);

  // The active window in file mode takes the same road.
  const QImage window = pattern(20, 12).mirrored();
  platform.screen.setActiveWindow(window);
  key.write(settings::kPictureType, "1");
  form->CaptureActiveWindow();
  const QString bmp = desktop + "/LumivexPhoto_2005_06_19 22_22_17.bmp";
  EXPECT_EQ(QImage(bmp).convertToFormat(QImage::Format_RGB32), window);
  EXPECT_EQ(log.events.last(), "action " + bmp + " after 2 notice(s)");
}

// The picture is written while the shutter sounds; the notice and the action wait for the end of
// the sound, so the user still hears the shutter, then is told.
TEST_F(MainFormCapture, ThePictureIsStoredWhileTheShutterSounds) {
  platform.sound.holdForFile = true;
  start();
  form->CaptureScreen(false);
  EXPECT_THAT(errors.errors, IsEmpty());
  EXPECT_THAT(log.events, ElementsAre("sound", "sound ends after the file, after 0 notice(s)",
                                      "action " + stampedPng + " after 1 notice(s)"));
}

TEST_F(MainFormCapture, ClipboardModeKeepsThePictureThereWritesNoFileAndStillActs) {
  key.write(settings::kClipboardMode, "True");
  key.write(settings::kAction, "1");      // FTP upload: it runs without a file
  key.write(settings::kFtpPort, "none");  // and stops at once on this port, saying so
  start();
  form->CaptureScreen(false);
  EXPECT_EQ(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32), screen);
  EXPECT_THAT(desktopFiles(), IsEmpty());
  ASSERT_EQ(notices.size(), 1);
  EXPECT_EQ(notices[0].text, "Picture stored in the clipboard");
  EXPECT_EQ(errors.errors.size(), 1) << "the upload was asked for";
  EXPECT_EQ(log.events, QStringList({"sound"}));

  const QImage window = pattern(30, 10);
  platform.screen.setActiveWindow(window);
  form->CaptureActiveWindow();
  EXPECT_EQ(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32), window);
  EXPECT_THAT(desktopFiles(), IsEmpty());
  EXPECT_EQ(notices.size(), 2);
}

// Each of these ends without a picture stored: nothing may say otherwise.
TEST_F(MainFormCapture, CapturesWithoutAPictureEndWithoutNoticeOrAction) {
  start();
  form->CaptureScreen(true);  // the area selection cancelled
  EXPECT_THAT(errors.errors, IsEmpty());
  EXPECT_THAT(log.events, IsEmpty());

  platform.screen.setScreen(QImage());                // the grab fails
  platform.hotkeys.press(platform::kModShift, 0x70);  // Shift+F1
  EXPECT_THAT(errors.errors, ElementsAre("The screen could not be captured."));

  platform.screen.refuseActiveWindow();
  form->CaptureActiveWindow();
  EXPECT_EQ(platform.screen.windowGrabs(), 0);
  EXPECT_THAT(log.events, IsEmpty());
  EXPECT_THAT(desktopFiles(), IsEmpty());
  ASSERT_EQ(notices.size(), 1);
  EXPECT_EQ(notices[0].title, "Active window");
  EXPECT_EQ(notices[0].text,
            "This desktop does not let programs capture the active window. Use a full-screen or "
            "area capture instead.");
  EXPECT_EQ(notices[0].iconKind, platform::kNoticeWarning);
}

// A write that fails after the grab shows its error alone: no notice names a missing file and no
// action archives it. Two captures in the same second keep both pictures.
TEST_F(MainFormCapture, AFailedWriteShowsItsErrorOnlyAndNoPictureReplacesAnother) {
  start();
  key.write(settings::kPictureType, "1");
  {
    const FileSizeLimit disk(1000);                     // the disk fills during the write
    platform.hotkeys.press(platform::kModShift, 0x70);  // Shift+F1
  }
  EXPECT_THAT(errors.errors, ElementsAre("Stream write error"));
  EXPECT_THAT(log.events, ElementsAre("sound"));
  EXPECT_THAT(notices, IsEmpty());
  EXPECT_THAT(desktopFiles(), IsEmpty());

  key.write(settings::kPictureType, "0");
  form->CaptureScreen(false);
  form->CaptureScreen(false);
  const QString second = desktop + "/LumivexPhoto_2005_06_19 22_22_17_1.png";
  EXPECT_THAT(desktopFiles(),
              ElementsAre(QFileInfo(stampedPng).fileName(), QFileInfo(second).fileName()));
  ASSERT_EQ(notices.size(), 2);
  EXPECT_EQ(notices[1].text, "Picture saved as " + second);
  EXPECT_EQ(log.events.last(), "action " + second + " after 2 notice(s)");
}

// A desktop that did not allow the picture (refused, or its question left unanswered): each
// refused grab says so once, as a warning with what to do, instead of an error or silence.
TEST_F(MainFormCapture, RefusedGrabsSayWhatToAllowOncePerRefusal) {
  key.write(settings::kIntervalUnit, "1");  // seconds
  start();
  platform.screen.refuseScreen();
  form->CaptureScreen(false);
  form->CaptureScreen(true);
  form->SetTimedCapture(true);
  platform.clock.advance(5000);  // one refused frame; the run goes on
  EXPECT_TRUE(form->timedRun().running());
  EXPECT_THAT(errors.errors, IsEmpty());
  EXPECT_THAT(log.events, IsEmpty()) << "no sound for a picture not taken";
  EXPECT_THAT(desktopFiles(), IsEmpty());
  ASSERT_EQ(notices.size(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(notices[i].title, "Screenshot not allowed");
    EXPECT_EQ(notices[i].text,
              "The desktop did not allow Lumivex to take the picture. Allow screenshots for "
              "Lumivex in the desktop's privacy settings, then try again.");
    EXPECT_EQ(notices[i].iconKind, platform::kNoticeWarning);
  }
}

TEST_F(MainFormCapture, TimedCaptureWritesOneLoopingGifNamedAtTheStop) {
  key.write(settings::kInterval, "2");
  key.write(settings::kIntervalUnit, "1");  // seconds
  start();
  form->SetTimedCapture(true);
  ASSERT_TRUE(form->timedRun().running());
  platform.clock.advance(1999);
  EXPECT_THAT(log.events, IsEmpty()) << "the first frame comes one interval after the start";
  platform.clock.advance(2 * 2000 + 1);
  platform.screen.setScreen(QImage());  // a refused grab adds no frame
  platform.clock.advance(2000);
  platform.screen.setScreen(screen);
  platform.clock.advance(2000);
  form->SetTimedCapture(false);
  EXPECT_FALSE(form->timedRun().running());

  const QString gif = desktop + "/LumivexPhoto_2005_06_19 22_22_27.gif";
  EXPECT_THAT(desktopFiles(), ElementsAre(QFileInfo(gif).fileName()));
  const GifFile written = readGif(gif);
  EXPECT_EQ(written.frames, 4);
  EXPECT_EQ(written.delays, QList<int>({200, 200, 200, 200}));
  EXPECT_TRUE(written.loops);
  EXPECT_EQ(log.events, QStringList({"sound", "sound", "sound", "sound"})) << "and no action";
  ASSERT_EQ(notices.size(), 1);
  EXPECT_EQ(notices[0].text, "Picture saved as " + gif);
  EXPECT_THAT(errors.errors, IsEmpty());
}

TEST_F(MainFormCapture, TimedCaptureRefusalsAndTheExitDuringARun) {
  key.write(settings::kInterval, "1");
  key.write(settings::kIntervalUnit, "0");  // minutes
  start();
  form->ToggleStorageMode();  // clipboard mode
  form->SetTimedCapture(true);
  EXPECT_FALSE(form->timedRun().running());
  ASSERT_EQ(notices.size(), 2);
  EXPECT_EQ(notices[1].title, "Command not available.");
  EXPECT_EQ(notices[1].text, "Timed capture is not available when storing pictures to clipboard.");
  EXPECT_EQ(notices[1].iconKind, platform::kNoticeWarning);
  EXPECT_EQ(notices[1].timeoutMs, 15000);

  form->ToggleStorageMode();
  key.write(settings::kInterval, "five");
  platform.hotkeys.press(platform::kModShift, 0x73);  // Shift+F4
  EXPECT_THAT(errors.errors, ElementsAre("'five' is not a valid integer value"));
  EXPECT_FALSE(form->timedRun().running());

  key.write(settings::kInterval, "1");
  form->SetTimedCapture(true);
  platform.clock.advance(3 * 60000);
  EXPECT_EQ(log.events.size(), 3);
  form.reset();  // the program exits during the run
  EXPECT_THAT(desktopFiles(), IsEmpty());
}

}  // namespace
