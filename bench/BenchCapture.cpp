// "capture": from the capture request to the closed file, on test displays of 1920x1080 and
// 3840x2160 that show the corpus screenshots, side by side with scrot and maim writing the same
// screen to the same format; the grab's share of a PNG capture; the peak memory of a 100-frame
// timed capture; the time from a key press to the notice with the sound on.
// "outside": the lumivex program itself, from a key press sent through the X server to the
// picture file's close, beside whole runs of scrot and maim at their defaults, and the
// program's memory during a capture.
//   LUMIVEX_CORPUS   folder of screenshots (text/ui/photo-1080/2160.png); default ../shared/corpus
//   LUMIVEX_PROGRAM  the program "outside" runs; default the one built with the bench
// The bench starts its own Xvfb per size and measures each size in a child process with its own
// Qt application and main form on that display. Without Xvfb, without Qt's X11 platform, or
// without scrot or maim, the parts that need them print "skipped".
#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/prctl.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QRasterWindow>
#include <QStandardPaths>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Bench.h"
#include "app/RecordingErrorReporter.h"
#include "app/THidForm.h"
#include "codecs/GifImage.h"
#include "output/PictureOutput.h"
#include "output/ShutterSound.h"
#include "platform/DisplaySession.h"
#include "platform/FakeAutostartEntry.h"
#include "platform/FakeNoticeService.h"
#include "platform/FakeUserEnvironment.h"
#include "platform/ScreenGrabber.h"
#include "platform/WaveFile.h"
#include "platform/qt/QtClock.h"
#include "platform/x11/X11ScreenGrabber.h"
#include "settings/Registry.h"
#include "settings/SettingsTable.h"

#ifdef LUMIVEX_BENCH_PROGRAM
#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>
#include <xcb/xcbext.h>
#endif

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using lumivex::Registry;
using lumivex::THidForm;
using lumivex::output::PictureType;
using lumivex::platform::ScreenGrabber;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
  if (values.empty()) return -1;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// ---- the main form being measured --------------------------------------------------------

// A wave's length as played: whole frames / rate; negative for bytes that are no playable wave.
double WaveMs(QByteArrayView wave) {
  const auto sound = lumivex::platform::parseWave(wave);
  if (!sound || sound->blockAlign <= 0 || sound->samplesPerSecond <= 0) return -1;
  return 1000.0 * double(sound->samples.size() / sound->blockAlign) / sound->samplesPerSecond;
}

// Takes a sound's length the way a real device does, for machines whose ALSA "default" returns
// at once (no card, or a file device that is not paced).
class PacedSoundPlayer final : public lumivex::platform::SoundPlayer {
 public:
  void playWave(QByteArrayView wave) override {
    const double ms = WaveMs(wave);
    if (ms > 0) std::this_thread::sleep_for(std::chrono::duration<double, std::milli>(ms));
  }
};

// Whether `player` takes at least most of the shutter sound's length to play it (plays it once).
bool PlaysInRealTime(lumivex::platform::SoundPlayer& player) {
  const QByteArray wave = lumivex::output::CameraSound();
  const auto start = Clock::now();
  player.playWave(wave);
  return MsSince(start) >= 0.8 * WaveMs(wave);
}

// The test desktop's fake notice service, with the moment the last notice was recorded.
class StampedNotices final : public lumivex::platform::NoticeService {
 public:
  bool notificationsAvailable() override { return recorded.notificationsAvailable(); }
  bool notify(const QString& title, const QString& text, int iconKind, int timeoutMs,
              lumivex::platform::NoticePlace place) override {
    const bool shown = recorded.notify(title, text, iconKind, timeoutMs, place);
    last = Clock::now();
    return shown;
  }
  bool balloonsAvailable() override { return recorded.balloonsAvailable(); }
  bool showBalloon(QSystemTrayIcon& tray, const QString& title, const QString& text, int iconKind,
                   int timeoutMs) override {
    const bool shown = recorded.showBalloon(tray, title, text, iconKind, timeoutMs);
    last = Clock::now();
    return shown;
  }
  void showMessageBox(const QString& caption, const QString& text, int iconKind) override {
    recorded.showMessageBox(caption, text, iconKind);
    last = Clock::now();
  }

  lumivex::platform::FakeNoticeService recorded;
  Clock::time_point last;
};

// The main form as main() builds it on X11, but with the notices recorded and a user whose
// settings live in <dir>/config and whose pictures go to <dir>/pictures/capture.<ext> (no stamp,
// no user name, file mode, no after-capture action, sound and notice off until switched on).
class BenchForm {
 public:
  BenchForm(lumivex::platform::PlatformServices desktop, const std::string& dir)
      : desktop_(std::move(desktop)),
        pictures_(dir + "/pictures"),
        settings_(dir + "/config", dir + "/config-system") {
    environment_.desktop = QString::fromStdString(pictures_);
    environment_.user = QStringLiteral("bench");
    environment_.config = QString::fromStdString(dir + "/config");
    environment_.systemConfig = QString::fromStdString(dir + "/config-system");
    std::filesystem::create_directories(pictures_);
    realTimeDevice_ = PlaysInRealTime(*desktop_.sound);
    const Registry& settings = settings_;
    namespace s = lumivex::settings;
    for (const char* off : {s::kSoundOn, s::kBalloonOn, s::kDoAction, s::kClipboardMode,
                            s::kAddStamp, s::kAddUserName})
      settings.WriteRegistryText(lumivex::kSettingsKey, off, "False");
    settings.WriteRegistryText(lumivex::kSettingsKey, s::kFolder, pictures_);
    settings.WriteRegistryText(lumivex::kSettingsKey, s::kBaseName, "capture");
    form_ = std::make_unique<THidForm>(THidForm::Services{
        environment_, errors_, QString::fromStdString(dir + "/lang.txt"), *desktop_.hotkeys,
        notices_, clock_, *desktop_.screen, realTimeDevice_ ? *desktop_.sound : pacedSound_,
        *desktop_.pointer, autostart_});
    form_->overview().delay().stop();  // no hotkey overview notice in the measured notices
    if (!errors_.errors.isEmpty())
      throw std::runtime_error("the main form: " + errors_.errors.front().toStdString());
  }

  THidForm& form() { return *form_; }
  const Registry& registry() const { return settings_; }
  ScreenGrabber& screen() { return *desktop_.screen; }
  StampedNotices& notices() { return notices_; }
  // Whether the desktop's sound device takes the sound's length (otherwise PacedSoundPlayer does).
  bool realTimeDevice() const { return realTimeDevice_; }
  std::string pictureFile(const char* extension) const {
    return pictures_ + "/capture." + extension;
  }
  void write(const char* name, const std::string& value) const {
    settings_.WriteRegistryText(lumivex::kSettingsKey, name, value);
  }

 private:
  lumivex::platform::PlatformServices desktop_;
  std::string pictures_;
  Registry settings_;  // the user's settings, beside the form's own reader
  lumivex::platform::FakeUserEnvironment environment_;
  lumivex::platform::FakeAutostartEntry autostart_;
  lumivex::RecordingErrorReporter errors_;
  StampedNotices notices_;
  lumivex::platform::QtClock clock_;
  PacedSoundPlayer pacedSound_;
  bool realTimeDevice_ = false;
  std::unique_ptr<THidForm> form_;  // last: goes before the services it uses
};

// Measured: the main form's full-screen capture, from the request to the closed file.
void CaptureOnceToFile(BenchForm& bench, const std::string& file) {
  bench.form().CaptureScreen(false);
  if (!std::filesystem::exists(file)) throw std::runtime_error("the capture wrote no " + file);
}

// ---- the formats and the peers' nearest settings --------------------------------------------

struct Format {
  const char* name;
  PictureType type;
  int level;  // PNG level or JPEG quality; unused for BMP
  const char* extension;
  // scrot: -q 1..100; for PNG imlib2 turns it into the zlib level 9 - q/10 (checked on the
  // zlib header's FLEVEL bits of its files), for JPEG it is the quality.
  const char* scrotQuality;
  // maim: -m 1..10; for PNG the zlib level m - 1, for JPEG about (m - 1) x 100 / 9 (its
  // quantisation tables read 77 for -m 8 and 88 for -m 9, the nearest to 85); no effect on BMP.
  const char* maimQuality;
};

constexpr Format kFormats[] = {
    {"PNG-1", PictureType::Png, 1, "png", "80", "2"},
    {"PNG-6", PictureType::Png, 6, "png", "30", "7"},
    {"PNG-9", PictureType::Png, 9, "png", "1", "10"},
    {"BMP", PictureType::Bmp, 0, "bmp", nullptr, nullptr},
    {"JPG-85", PictureType::Jpg, 85, "jpg", "85", "9"},
};
// The format a new user's captures take: PNG at the seeded level 9.
constexpr const Format& kDefaultFormat = kFormats[2];
static_assert(kDefaultFormat.type == PictureType::Png && kDefaultFormat.level == 9);

// The picture type and its PNG level or JPEG quality, read by the form at its next capture.
void WriteFormat(const Registry& settings, const Format& format) {
  namespace s = lumivex::settings;
  const auto write = [&](const char* name, int value) {
    settings.WriteRegistryText(lumivex::kSettingsKey, name, std::to_string(value));
  };
  write(s::kPictureType, int(format.type));
  if (format.type == PictureType::Png) write(s::kPngLevel, format.level);
  if (format.type == PictureType::Jpg) write(s::kJpegQuality, format.level);
}
void WriteFormat(const BenchForm& bench, const Format& format) {
  WriteFormat(bench.registry(), format);
}

// ---- other programs ----------------------------------------------------------------------

// Runs a program with its output thrown away; the wall time until it has exited, negative when
// it could not start or failed.
double RunProgram(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const auto start = Clock::now();
  pid_t pid = 0;
  const int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) return -1;
  int status = 0;
  ::waitpid(pid, &status, 0);
  const double ms = MsSince(start);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ms : -1;
}

// An Xvfb of its own on a free display number; stopped with the object.
class TestDisplay {
 public:
  TestDisplay(int width, int height) {
    int fds[2];
    if (::pipe(fds) != 0) return;
    const std::string fd = std::to_string(fds[1]);
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
    std::fflush(stdout);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // never outlives the bench
      ::close(fds[0]);
      const int null = ::open("/dev/null", O_WRONLY);
      ::dup2(null, 1), ::dup2(null, 2);
      // -noreset: the server stays as it is between the short-lived clients (scrot, maim).
      ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(),
               "-nolisten", "tcp", "-noreset", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(fds[1]);
    pollfd ready{fds[0], POLLIN, 0};
    char number[16] = {};
    if (pid_ > 0 && ::poll(&ready, 1, 10000) == 1 && ::read(fds[0], number, 15) > 0)
      display_ = ":" + std::to_string(std::atoi(number));
    ::close(fds[0]);
  }
  ~TestDisplay() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
  TestDisplay(const TestDisplay&) = delete;
  TestDisplay& operator=(const TestDisplay&) = delete;

  // ":N", or empty when the server did not start.
  const std::string& name() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

// A runtime folder made for Qt in a child process, if any.
std::string runtimeFolder;

void RemoveRuntimeFolder() {
  std::error_code ignored;
  if (!runtimeFolder.empty()) std::filesystem::remove_all(runtimeFolder, ignored);
}

// Runs `body` in a child process (its own Qt application, a clean peak-memory figure); returns
// the child's exit status, or -1.
int InChild(const std::function<int()>& body) {
  std::fflush(stdout);
  const pid_t pid = ::fork();
  if (pid == 0) {
    int result = 1;
    try {
      result = body();
    } catch (const std::exception& e) {
      std::printf("  failed: %s\n", e.what());
    }
    std::fflush(stdout);
    RemoveRuntimeFolder();
    ::_exit(result);
  }
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// ---- the scenes on the display -----------------------------------------------------------

// LUMIVEX_CORPUS, else ../shared/corpus from the working folder, else beside the source tree.
QString CorpusFolder() {
  const QString env = qEnvironmentVariable("LUMIVEX_CORPUS");
  if (!env.isEmpty()) return env;
  if (QDir(QStringLiteral("../shared/corpus")).exists()) return QStringLiteral("../shared/corpus");
  return QStringLiteral(LUMIVEX_BENCH_SOURCE_DIR "/../shared/corpus");
}

struct Scene {
  QString name;
  QImage picture;  // Format_RGB32
};

// A screen-like picture for machines without the corpus: a gradient desktop with windows of
// text-like lines.
QImage GeneratedScreen(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < width; ++x) {
      const int t = 255 * (x + y) / (width + height);
      row[x] = qRgb(0x1B + t / 4, 0x2A + t / 3, 0x41 + t / 2);
    }
  }
  const int k = width / 1920;
  std::uint32_t seed = 12345;
  for (int w = 0; w < 4; ++w) {
    const QRect frame(k * (20 + 420 * w), k * (30 + 60 * w), k * 700, k * 600);
    const QRgb background = (w & 1) ? qRgb(0xFD, 0xF6, 0xE3) : qRgb(0x1C, 0x1C, 0x1C);
    for (int y = frame.top(); y <= std::min(frame.bottom(), height - 1); ++y) {
      auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
      const bool textRow = (y - frame.top()) % (16 * k) > 3 * k;
      for (int x = frame.left(); x <= std::min(frame.right(), width - 1); ++x) {
        seed = seed * 1664525u + 1013904223u;
        const bool ink = textRow && (seed >> 29) == 0;
        row[x] = ink ? (background ^ 0xD0D0D0) : background;
      }
    }
  }
  return image;
}

std::vector<Scene> Scenes(int width, int height) {
  std::vector<Scene> scenes;
  for (const char* name : {"text", "ui", "photo"}) {
    const QString file = CorpusFolder() + QStringLiteral("/%1-%2.png").arg(name).arg(height);
    QImage picture(file);
    if (picture.width() == width && picture.height() == height)
      scenes.push_back({name, picture.convertToFormat(QImage::Format_RGB32)});
  }
  if (scenes.empty()) scenes.push_back({"generated", GeneratedScreen(width, height)});
  return scenes;
}

// A borderless window over the whole screen that shows one picture 1:1 (no window manager
// runs, so it sits at 0,0 as asked).
class SceneWindow : public QRasterWindow {
 public:
  explicit SceneWindow(const QImage& picture) : picture_(picture) {
    setFlags(Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
    setGeometry(0, 0, picture.width(), picture.height());
  }

 protected:
  void paintEvent(QPaintEvent*) override { QPainter(this).drawImage(0, 0, picture_); }

 private:
  QImage picture_;
};

// The red, green and blue of every pixel agree (the fourth byte of a grab is the display's).
bool SamePixels(const QImage& grabbed, const QImage& shown) {
  if (grabbed.size() != shown.size() || grabbed.format() != QImage::Format_RGB32) return false;
  for (int y = 0; y < shown.height(); ++y) {
    const auto* a = reinterpret_cast<const QRgb*>(grabbed.constScanLine(y));
    const auto* b = reinterpret_cast<const QRgb*>(shown.constScanLine(y));
    for (int x = 0; x < shown.width(); ++x)
      if (((a[x] ^ b[x]) & 0xFFFFFF) != 0) return false;
  }
  return true;
}

// Shows the scene and waits (at most 10 s) until a grab returns it pixel for pixel.
bool ShowScene(SceneWindow& window, const Scene& scene, ScreenGrabber& grabber) {
  window.show();
  window.update();
  const auto start = Clock::now();
  while (MsSince(start) < 10000) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (SamePixels(grabber.grabPrimaryScreen(), scene.picture)) return true;
  }
  return false;
}

// A Qt application on `display`, for a child process; offscreen when Qt cannot open it (the
// grabbers then report no screen and the parts say "skipped").
std::unique_ptr<QApplication> OpenDisplay(const std::string& display) {
  ::setenv("DISPLAY", display.c_str(), 1);
  ::unsetenv("WAYLAND_DISPLAY");
  qputenv("QT_QPA_PLATFORM", "xcb;offscreen");
  // No session bus: the form's notices are recorded, and its tray icon must neither reach the
  // user's desktop nor make libdbus start a bus for the test display.
  ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/lumivex-bench-no-bus", 1);
  if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
    // Qt wants one (mode 0700) and warns without it; removed when the child ends.
    char folder[] = "/tmp/lumivex-bench-runtime-XXXXXX";
    if (::mkdtemp(folder) != nullptr) {
      runtimeFolder = folder;
      ::setenv("XDG_RUNTIME_DIR", folder, 1);
    }
  }
  static int argc = 1;
  static char name[] = "lumivex-bench";
  static char* argv[] = {name, nullptr};
  return std::make_unique<QApplication>(argc, argv);
}

// ---- the comparison with scrot and maim --------------------------------------------------

struct Peers {
  QString scrot = QStandardPaths::findExecutable(QStringLiteral("scrot"));
  QString maim = QStandardPaths::findExecutable(QStringLiteral("maim"));
};

std::vector<std::string> ScrotCommand(const Peers& peers, const Format& f, const std::string& out) {
  if (peers.scrot.isEmpty()) return {};
  std::vector<std::string> args = {peers.scrot.toStdString(), "-o", "-z"};
  if (f.scrotQuality != nullptr) args.insert(args.end(), {"-q", f.scrotQuality});
  args.push_back(out);
  return args;
}

std::vector<std::string> MaimCommand(const Peers& peers, const Format& f, const std::string& out) {
  if (peers.maim.isEmpty()) return {};
  std::vector<std::string> args = {peers.maim.toStdString(), "-u", "-f", f.extension};
  if (f.maimQuality != nullptr) args.insert(args.end(), {"-m", f.maimQuality});
  args.push_back(out);
  return args;
}

std::uint64_t FileSize(const std::string& path) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  return ec ? 0 : size;
}

struct Row {
  double ours = -1, scrot = -1, maim = -1;  // median wall ms
  std::uint64_t oursBytes = 0, scrotBytes = 0, maimBytes = 0;
  int rounds = 0;
};

// Our capture and the peers' in turn, so that load from other processes falls on all alike; at
// most 15 rounds, fewer when `budgetMs` is used up (the slowest peer settings take seconds).
Row CompareFormat(BenchForm& bench, const Peers& peers, const Format& f, const std::string& dir,
                  double budgetMs) {
  WriteFormat(bench, f);
  const std::string ours = bench.pictureFile(f.extension);
  const std::string scrotOut = dir + "/scrot." + f.extension;
  const std::string maimOut = dir + "/maim." + f.extension;
  const auto scrot = ScrotCommand(peers, f, scrotOut);
  const auto maim = MaimCommand(peers, f, maimOut);
  std::vector<double> oursMs, scrotMs, maimMs;
  bool scrotOk = !scrot.empty(), maimOk = !maim.empty();
  const auto start = Clock::now();
  Row row;
  while (row.rounds < 15 && (row.rounds == 0 || MsSince(start) < budgetMs)) {
    std::filesystem::remove(ours);  // the same name again, not the next free number
    const auto t0 = Clock::now();
    CaptureOnceToFile(bench, ours);
    oursMs.push_back(MsSince(t0));
    if (scrotOk) {
      const double ms = RunProgram(scrot);
      scrotOk = ms >= 0;
      scrotMs.push_back(ms);
    }
    if (maimOk) {
      const double ms = RunProgram(maim);
      maimOk = ms >= 0;
      maimMs.push_back(ms);
    }
    ++row.rounds;
  }
  row.ours = Median(oursMs);
  row.oursBytes = FileSize(ours);
  if (scrotOk) row.scrot = Median(scrotMs), row.scrotBytes = FileSize(scrotOut);
  if (maimOk) row.maim = Median(maimMs), row.maimBytes = FileSize(maimOut);
  return row;
}

std::string Cell(double ms) {
  char text[32];
  if (ms < 0) return "skipped";
  std::snprintf(text, sizeof text, "%.1f", ms);
  return text;
}

std::string Ratio(double ours, double theirs) {
  char text[32];
  if (ours < 0 || theirs <= 0) return "-";
  std::snprintf(text, sizeof text, "%.2fx%s", ours / theirs, ours < theirs ? "" : " !");
  return text;
}

// Median wall time of one grab; at most 60 grabs or 3 s.
double GrabMs(ScreenGrabber& grabber) {
  std::vector<double> times;
  const auto start = Clock::now();
  while (times.size() < 60 && (times.size() < 5 || MsSince(start) < 3000)) {
    const auto t0 = Clock::now();
    const QImage picture = grabber.grabPrimaryScreen();
    times.push_back(MsSince(t0));
  }
  return Median(times);
}

double ForkExecMs() {
  std::vector<double> times;
  for (int i = 0; i < 30; ++i) times.push_back(RunProgram({"/bin/true"}));
  return Median(times);
}

// Key press to notice with the sound on, PNG level 9 (the default): the form's hotkey handler
// called with Shift+F1's stored value, until the notice naming the file is recorded. Median of
// 3 to 9 presses, as many as `budgetMs` allows.
double KeyToNoticeMs(BenchForm& bench, double budgetMs) {
  namespace s = lumivex::settings;
  WriteFormat(bench, kDefaultFormat);
  bench.write(s::kSoundOn, "True");
  bench.write(s::kBalloonOn, "True");
  const std::string file = bench.pictureFile("png");
  auto& notices = bench.notices().recorded.notices;
  std::vector<double> times;
  const auto start = Clock::now();
  while (times.size() < 9 && (times.size() < 3 || MsSince(start) < budgetMs)) {
    std::filesystem::remove(file);
    const auto seen = notices.size();
    const auto t0 = Clock::now();
    bench.form().onHotkeyPressed(quint32(s::kHotkeyDefaults[0]));
    if (notices.size() != seen + 1 || !notices.back().text.endsWith(QString::fromStdString(file)))
      throw std::runtime_error("Shift+F1 showed no notice naming " + file);
    times.push_back(std::chrono::duration<double, std::milli>(bench.notices().last - t0).count());
  }
  bench.write(s::kSoundOn, "False");
  bench.write(s::kBalloonOn, "False");
  return Median(times);
}

struct Latency {
  QString scene;
  double grab = -1, capturePng9 = -1, keyToNotice = -1;
};

void PrintLatencies(const std::vector<Latency>& latencies, bool realTimeDevice) {
  const double sound = WaveMs(lumivex::output::CameraSound());
  std::printf(
      "key press to notice, sound on, PNG-9 (the default), median: the form's handler for\n"
      "Shift+F1 (8304) until the notice is recorded (the key's way through the X server is not in\n"
      "it); the shutter sound (%.1f ms) %s\n",
      sound,
      realTimeDevice ? "played by ALSA's \"default\" device"
                     : "slept for by a bench player (ALSA's \"default\" device here\n"
                       "returns at once: no sound card, or a file device)");
  for (const Latency& l : latencies)
    std::printf("  %-6s %7.1f ms (capture without the sound %.1f + sound %.1f = %.1f)\n",
                qPrintable(l.scene), l.keyToNotice, l.capturePng9, sound, l.capturePng9 + sound);
}

// One display size: every scene, every format, against the peers; then the key-to-notice time.
int MeasureSize(const std::string& display, int width, int height) {
  const auto app = OpenDisplay(display);
  auto desktop = lumivex::platform::createPlatformServices(lumivex::platform::DisplayBackend::kX11);
  if (desktop.screen->primaryScreenRect().isEmpty()) {
    std::printf("  skipped: Qt cannot open the test display %s\n", display.c_str());
    return 0;
  }
  const std::string dir = (std::filesystem::temp_directory_path() /
                           ("lumivex-bench-capture-" + std::to_string(::getpid())))
                              .string();
  struct RemoveDir {
    std::string dir;
    ~RemoveDir() {
      std::error_code ignored;
      std::filesystem::remove_all(dir, ignored);
    }
  } removeDir{dir};
  BenchForm bench(std::move(desktop), dir);
  ScreenGrabber& grabber = bench.screen();
  const Peers peers;
  const double budget = height > 1080 ? 12000 : 6000;
  const double exec = ForkExecMs();
  std::printf(
      "\n%dx%d (Xvfb %s); scrot %s, maim %s; fork+exec of /bin/true: %.2f ms median\n"
      "%-6s %-7s %9s %9s %9s %9s %9s %9s %11s %11s %11s %6s\n",
      width, height, display.c_str(), peers.scrot.isEmpty() ? "absent: skipped" : "present",
      peers.maim.isEmpty() ? "absent: skipped" : "present", exec, "scene", "format", "ours ms",
      "+exec ms", "scrot ms", "maim ms", "/scrot", "/maim", "ours bytes", "scrot bytes",
      "maim bytes", "rounds");
  int failures = 0;
  std::vector<Latency> latencies;
  for (const Scene& scene : Scenes(width, height)) {
    SceneWindow window(scene.picture);
    if (!ShowScene(window, scene, grabber)) {
      std::printf("%-6s FAILED: the display does not show the picture\n", qPrintable(scene.name));
      ++failures;
      continue;
    }
    Latency latency{scene.name, GrabMs(grabber)};
    for (const Format& f : kFormats) {
      const Row r = CompareFormat(bench, peers, f, dir, budget);
      if (f.type == PictureType::Png && f.level == 9) latency.capturePng9 = r.ours;
      std::printf("%-6s %-7s %9.1f %9.1f %9s %9s %9s %9s %11llu %11llu %11llu %6d\n",
                  qPrintable(scene.name), f.name, r.ours, r.ours + exec, Cell(r.scrot).c_str(),
                  Cell(r.maim).c_str(), Ratio(r.ours, r.scrot).c_str(),
                  Ratio(r.ours, r.maim).c_str(), static_cast<unsigned long long>(r.oursBytes),
                  static_cast<unsigned long long>(r.scrotBytes),
                  static_cast<unsigned long long>(r.maimBytes), r.rounds);
      std::fflush(stdout);
      if (f.type == PictureType::Png)
        std::printf("%-6s %-7s grab %.2f ms = %.1f %% of the PNG capture (goal < 2 %%)\n", "",
                    f.name, latency.grab, 100 * latency.grab / r.ours);
    }
    latency.keyToNotice = KeyToNoticeMs(bench, budget / 2);
    latencies.push_back(latency);
  }
  PrintLatencies(latencies, bench.realTimeDevice());
  return failures;
}

// ---- the timed capture's memory ----------------------------------------------------------

// 100 grabbed frames appended to the GIF as they arrive, then the file; peak resident memory
// above the state before the first grab, against three raw frames plus the file.
int MeasureTimedCapture(const std::string& display) {
  const auto app = OpenDisplay(display);
  const auto grabber = lumivex::platform::createX11ScreenGrabber();
  if (!grabber) {
    std::printf("  skipped: Qt cannot open the test display %s\n", display.c_str());
    return 0;
  }
  const Scene scene = Scenes(1920, 1080).front();
  SceneWindow window(scene.picture);
  if (!ShowScene(window, scene, *grabber)) {
    std::printf("  FAILED: the display does not show the picture\n");
    return 1;
  }
  const std::string file = (std::filesystem::temp_directory_path() /
                            ("lumivex-bench-timed-" + std::to_string(::getpid()) + ".gif"))
                               .string();
  const long base = bench::ResetPeak();
  const auto start = Clock::now();
  codecs::TGIFImage image;
  image.SetLooping(true);
  for (int i = 0; i < 100; ++i) {
    const QImage picture = grabber->grabPrimaryScreen();
    const lumivex::output::WriterPicture frame(picture, PictureType::Png);
    image.Frame(image.AddFrame(frame.view())).SetDisplayTime(5000);
  }
  image.SaveToFile(file);
  const double ms = MsSince(start);
  const long peak = bench::StatusKiB("VmHWM:");
  const std::uint64_t bytes = FileSize(file);
  std::filesystem::remove(file);
  const double rawKiB = 1920.0 * 1080 * 4 / 1024;
  const double boundKiB = 3 * rawKiB + bytes / 1024.0;
  if (base < 0 || peak < 0) {
    std::printf("  %s: %.0f ms, file %llu bytes; peak n/a (no /proc)\n", qPrintable(scene.name), ms,
                static_cast<unsigned long long>(bytes));
    return 0;
  }
  const long peakKiB = peak - base;
  std::printf(
      "  scene %s: %.0f ms (%.1f ms/frame: grab + colour reduction + LZW), file %llu bytes\n"
      "  peak above the start %.1f MiB; bound 3 raw frames (3 x %.1f MiB) + file = %.1f MiB: %s\n",
      qPrintable(scene.name), ms, ms / 100, static_cast<unsigned long long>(bytes),
      peakKiB / 1024.0, rawKiB / 1024, boundKiB / 1024, peakKiB < boundKiB ? "met" : "MISSED");
  return peakKiB < boundKiB ? 0 : 1;
}

// ---- the suite ---------------------------------------------------------------------------

void PrintLoad() {
  double load[3] = {-1, -1, -1};
  if (::getloadavg(load, 3) == 3)
    std::printf("load average %.2f %.2f %.2f on %ld processors\n", load[0], load[1], load[2],
                ::sysconf(_SC_NPROCESSORS_ONLN));
}

// A display of that size that Qt opens, or empty. On a shared machine a number Xvfb took can
// still answer with another session's server (X clients try the abstract socket of that number
// first): another server, started while the others keep their numbers, gets the next one.
std::string StartUsableDisplay(int width, int height,
                               std::vector<std::unique_ptr<TestDisplay>>& servers) {
  for (int attempt = 0; attempt < 5; ++attempt) {
    servers.push_back(std::make_unique<TestDisplay>(width, height));
    const std::string& name = servers.back()->name();
    const bool opens =
        !name.empty() && InChild([&] {
                           const auto app = OpenDisplay(name);
                           return QGuiApplication::platformName() == QLatin1String("xcb") ? 0 : 1;
                         }) == 0;
    if (opens) return name;
  }
  return {};
}

// Runs `measure` (display, width, height) for 1920x1080 and 3840x2160, each on an Xvfb of its
// own, between two readings of the load; the number of sizes whose measuring failed.
int OnEachScreenSize(const std::function<int(const std::string&, int, int)>& measure) {
  PrintLoad();
  if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) {
    std::printf("  skipped: no Xvfb (Debian package xvfb) to show the screens on\n");
    return 0;
  }
  int failures = 0;
  for (const auto& [width, height] : {std::pair{1920, 1080}, std::pair{3840, 2160}}) {
    std::vector<std::unique_ptr<TestDisplay>> servers;
    const std::string display = StartUsableDisplay(width, height, servers);
    if (display.empty()) {
      std::printf("  %dx%d skipped: no Xvfb that Qt could open\n", width, height);
      continue;
    }
    failures += measure(display, width, height) != 0;
  }
  PrintLoad();
  return failures;
}

int RunCapture() {
  std::printf(
      "From the request to the closed file (sound and notice off), median wall time of our\n"
      "capture in this process and of the whole scrot / maim -u run (their process start, X\n"
      "connection and exit included: compare '+exec', ours plus one fork+exec of /bin/true).\n"
      "Peer settings: scrot -q 80/30/1 = zlib 1/6/9, -q 85 JPEG; maim -m 2/7/10 = zlib 1/6/9,\n"
      "-m 9 = JPEG quality 88 (nearest to 85); BMP has no setting. '!' marks a ratio >= 1.\n"
      "corpus: %s\n",
      qPrintable(CorpusFolder()));
  return OnEachScreenSize([](const std::string& display, int width, int height) {
    int failed = InChild([&] { return MeasureSize(display, width, height); });
    if (height == 1080) {
      std::printf("\ntimed capture, 100 frames of 1920x1080 into one GIF:\n");
      failed |= InChild([&] { return MeasureTimedCapture(display); });
    }
    return failed;
  });
}

bench::Register captureSuite("capture", RunCapture);

// ---- from outside: the program itself, a key press, the file's close -----------------------

#ifdef LUMIVEX_BENCH_PROGRAM

// Keys sent through the X server's XTEST extension, as xdotool sends them: grabs see them as
// real keys. Spoken with plain xcb requests (the extension's xcb library is not needed).
class XTestKeys {
 public:
  explicit XTestKeys(const std::string& display)
      : connection_(xcb_connect(display.c_str(), nullptr)) {
    if (xcb_connection_has_error(connection_) != 0) return;
    xcb_key_symbols_t* symbols = xcb_key_symbols_alloc(connection_);
    shift_ = Keycode(symbols, 0xFFE1);  // Shift_L
    f1_ = Keycode(symbols, 0xFFBE);     // F1
    xcb_key_symbols_free(symbols);
    const xcb_query_extension_reply_t* xtest = xcb_get_extension_data(connection_, &extension_);
    usable_ = xtest != nullptr && xtest->present != 0 && shift_ != 0 && f1_ != 0;
  }
  ~XTestKeys() { xcb_disconnect(connection_); }
  XTestKeys(const XTestKeys&) = delete;
  XTestKeys& operator=(const XTestKeys&) = delete;

  bool usable() const { return usable_; }
  // Shift+F1 pressed and released, sent at once.
  void pressShiftF1() {
    constexpr std::uint8_t kPress = 2, kRelease = 3;  // KeyPress, KeyRelease
    fakeInput(kPress, shift_);
    fakeInput(kPress, f1_);
    fakeInput(kRelease, f1_);
    fakeInput(kRelease, shift_);
    xcb_flush(connection_);
  }

 private:
  static std::uint8_t Keycode(xcb_key_symbols_t* symbols, xcb_keysym_t keysym) {
    xcb_keycode_t* codes = xcb_key_symbols_get_keycode(symbols, keysym);
    const std::uint8_t code = codes != nullptr ? codes[0] : 0;
    std::free(codes);
    return code;
  }
  // XTEST FakeInput (minor request 2): 36 bytes, the first 4 filled in by xcb.
  void fakeInput(std::uint8_t type, std::uint8_t keycode) {
    std::uint8_t request[36] = {};
    request[4] = type;
    request[5] = keycode;
    iovec parts[4] = {};
    parts[2].iov_base = request;
    parts[2].iov_len = sizeof request;
    const xcb_protocol_request_t kind = {1, &extension_, 2, 1};
    xcb_send_request(connection_, 0, parts + 2, &kind);
  }

  xcb_connection_t* connection_;
  xcb_extension_t extension_ = {"XTEST", 0};
  std::uint8_t shift_ = 0, f1_ = 0;
  bool usable_ = false;
};

// Waits for a file of one folder to be closed after writing (inotify, no polling of the disk).
// The program writes a picture unnamed and links it under its name only when it is complete
// (elsewhere it renames a hidden file): the name's arrival is when the file is there to open.
// A file the program names is never written after that.
class CloseWatch {
 public:
  explicit CloseWatch(const std::string& folder) : fd_(inotify_init1(IN_CLOEXEC | IN_NONBLOCK)) {
    if (fd_ >= 0 &&
        inotify_add_watch(fd_, folder.c_str(), IN_CLOSE_WRITE | IN_CREATE | IN_MOVED_TO) < 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~CloseWatch() {
    if (fd_ >= 0) ::close(fd_);
  }
  CloseWatch(const CloseWatch&) = delete;
  CloseWatch& operator=(const CloseWatch&) = delete;

  bool usable() const { return fd_ >= 0; }
  // Forgets the closes seen so far.
  void drain() {
    alignas(inotify_event) char buffer[4096];
    while (::read(fd_, buffer, sizeof buffer) > 0) {
    }
  }
  // The moment `name` arrived complete, or nothing after `timeoutMs`.
  std::optional<Clock::time_point> wait(const std::string& name, double timeoutMs) {
    const auto start = Clock::now();
    alignas(inotify_event) char buffer[4096];
    while (MsSince(start) < timeoutMs) {
      pollfd ready{fd_, POLLIN, 0};
      if (::poll(&ready, 1, 50) != 1) continue;
      const auto now = Clock::now();
      const ssize_t n = ::read(fd_, buffer, sizeof buffer);
      for (ssize_t at = 0; at < n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        if (event->len > 0 && name == event->name) return now;
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      }
    }
    return std::nullopt;
  }

 private:
  int fd_;
};

// LUMIVEX_PROGRAM (another build, to compare), else the program built with this bench.
std::string ProgramPath() {
  const char* other = std::getenv("LUMIVEX_PROGRAM");
  return other != nullptr && *other != 0 ? other : LUMIVEX_BENCH_PROGRAM;
}

// The lumivex program as a user starts it, in a home of its own on `display`: pictures in
// PNG 9 (the default) to <home>/pictures/capture.png, sound, notices and actions off, no bus.
class Program {
 public:
  Program(const std::string& display, const std::string& home) : pictures_(home + "/pictures") {
    std::filesystem::create_directories(pictures_);
    std::filesystem::create_directories(home + "/config-system");
    const Registry settings(home + "/.config", home + "/config-system");
    namespace s = lumivex::settings;
    for (const char* off : {s::kSoundOn, s::kBalloonOn, s::kDoAction, s::kClipboardMode,
                            s::kAddStamp, s::kAddUserName})
      settings.WriteRegistryText(lumivex::kSettingsKey, off, "False");
    settings.WriteRegistryText(lumivex::kSettingsKey, s::kFolder, pictures_);
    settings.WriteRegistryText(lumivex::kSettingsKey, s::kBaseName, "capture");
    WriteFormat(settings, kDefaultFormat);
    std::vector<std::string> variables = {
        "DISPLAY=" + display,
        "HOME=" + home,
        "XDG_CONFIG_HOME=" + home + "/.config",
        "XDG_CONFIG_DIRS=" + home + "/config-system",
        "XDG_DATA_HOME=" + home + "/data",
        "XDG_RUNTIME_DIR=" + home,
        "QT_QPA_PLATFORM=xcb",
        "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/lumivex-bench-no-bus"};
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string_view v(*e);
      const auto name = v.substr(0, v.find('=') + 1);
      const bool replaced = std::any_of(variables.begin(), variables.end(), [&](const auto& x) {
        return x.compare(0, name.size(), name) == 0;
      });
      if (!replaced && name != "WAYLAND_DISPLAY=") variables.emplace_back(v);
    }
    std::vector<char*> envp;
    for (auto& v : variables) envp.push_back(v.data());
    envp.push_back(nullptr);
    std::string program = ProgramPath();
    char* argv[] = {program.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv, envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Program() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  bool running() const { return pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG) == 0; }
  const std::string& pictures() const { return pictures_; }
  // A field of the program's /proc status in KiB, -1 when unreadable.
  long statusKiB(const char* field) const {
    std::FILE* f = std::fopen(("/proc/" + std::to_string(pid_) + "/status").c_str(), "r");
    if (f == nullptr) return -1;
    char line[256];
    long value = -1;
    while (std::fgets(line, sizeof line, f) != nullptr) {
      if (std::strncmp(line, field, std::strlen(field)) == 0)
        value = std::atol(line + std::strlen(field));
    }
    std::fclose(f);
    return value;
  }
  // Sets the program's peak resident size to its current size; true when done.
  bool resetPeak() const {
    const int fd = ::open(("/proc/" + std::to_string(pid_) + "/clear_refs").c_str(), O_WRONLY);
    const bool done = fd >= 0 && ::write(fd, "5", 1) == 1;
    if (fd >= 0) ::close(fd);
    return done;
  }

 private:
  std::string pictures_;
  pid_t pid_ = -1;
};

struct Outside {
  double ours = -1, scrot = -1, maim = -1;  // median ms
  std::uint64_t oursBytes = 0, scrotBytes = 0, maimBytes = 0;
  bool oursExact = false, scrotExact = false, maimExact = false;
  long captureKiB = -1;  // peak resident size during a capture above the size before the first
  int rounds = 0;
};

// Whether a picture file holds exactly the scene's pixels (read back by Qt's PNG reader).
bool FileShows(const std::string& file, const Scene& scene) {
  QImage picture(QString::fromStdString(file));
  return SamePixels(picture.convertToFormat(QImage::Format_RGB32), scene.picture);
}

// One key press to the complete capture.png; negative when no file came within 10 s.
double KeyToFileMs(XTestKeys& keys, CloseWatch& watch, const std::string& file) {
  std::filesystem::remove(file);
  watch.drain();
  const auto t0 = Clock::now();
  keys.pressShiftF1();
  const auto closed = watch.wait(std::filesystem::path(file).filename().string(), 10000);
  return closed ? std::chrono::duration<double, std::milli>(*closed - t0).count() : -1;
}

// Up to 7 rounds (fewer when `budgetMs` is used up) of our key press, scrot and maim -u at
// their defaults, in turn; every tool's last file is checked against the scene.
Outside CompareOutside(Program& program, XTestKeys& keys, CloseWatch& watch, const Peers& peers,
                       const Scene& scene, const std::string& dir, long idleKiB, double budgetMs) {
  const std::string ours = program.pictures() + "/capture.png";
  const std::string scrotOut = dir + "/scrot-default.png", maimOut = dir + "/maim-default.png";
  std::vector<std::string> scrot, maim;
  if (!peers.scrot.isEmpty()) scrot = {peers.scrot.toStdString(), "-o", "-z", scrotOut};
  if (!peers.maim.isEmpty()) maim = {peers.maim.toStdString(), "-u", maimOut};
  Outside row;
  std::vector<double> oursMs, scrotMs, maimMs;
  const auto start = Clock::now();
  while (row.rounds < 7 && (row.rounds < 3 || MsSince(start) < budgetMs)) {
    const double ms = KeyToFileMs(keys, watch, ours);
    if (ms < 0) return row;
    oursMs.push_back(ms);
    if (!scrot.empty()) scrotMs.push_back(RunProgram(scrot));
    if (!maim.empty()) maimMs.push_back(RunProgram(maim));
    ++row.rounds;
  }
  const auto ok = [](const std::vector<double>& v) {
    return !v.empty() && std::none_of(v.begin(), v.end(), [](double ms) { return ms < 0; });
  };
  row.ours = Median(oursMs), row.oursBytes = FileSize(ours), row.oursExact = FileShows(ours, scene);
  if (ok(scrotMs))
    row.scrot = Median(scrotMs), row.scrotBytes = FileSize(scrotOut),
    row.scrotExact = FileShows(scrotOut, scene);
  if (ok(maimMs))
    row.maim = Median(maimMs), row.maimBytes = FileSize(maimOut),
    row.maimExact = FileShows(maimOut, scene);
  // Memory: one more capture with the program's peak reset to its present size.
  if (idleKiB >= 0 && program.resetPeak() && KeyToFileMs(keys, watch, ours) >= 0) {
    const long peak = program.statusKiB("VmHWM:");
    if (peak >= 0) row.captureKiB = peak - idleKiB;
  }
  return row;
}

int MeasureOutside(const std::string& display, int width, int height) {
  const auto app = OpenDisplay(display);
  const auto grabber = lumivex::platform::createX11ScreenGrabber();
  XTestKeys keys(display);
  if (!grabber || !keys.usable()) {
    std::printf("  skipped: no X11 screen or no XTEST on %s\n", display.c_str());
    return 0;
  }
  char home[] = "/tmp/lumivex-bench-outside-XXXXXX";
  if (::mkdtemp(home) == nullptr) return 1;
  struct RemoveHome {
    std::string dir;
    ~RemoveHome() {
      std::error_code ignored;
      std::filesystem::remove_all(dir, ignored);
    }
  } removeHome{home};
  const Peers peers;
  Program program(display, home);
  CloseWatch watch(program.pictures());
  if (!watch.usable()) {
    std::printf("  skipped: no inotify\n");
    return 0;
  }
  const double raw = double(width) * height * 4 / 1048576;
  std::printf(
      "\n%dx%d (Xvfb %s): key press to closed file, median ms; scrot, maim -u whole runs\n"
      "%-6s %8s %8s %8s %7s %7s %10s %10s %10s %6s %9s %s\n",
      width, height, display.c_str(), "scene", "ours", "scrot", "maim", "/scrot", "/maim",
      "ours bytes", "scrot", "maim", "/scrot", "capture", "pixels exact (ours scrot maim)");
  // The first capture also waits for the program to have grabbed its keys; the program's size
  // just before it is what its captures are measured against.
  long idleKiB = -1;
  const auto start = Clock::now();
  bool ready = false;
  while (!ready && program.running() && MsSince(start) < 20000) {
    idleKiB = program.statusKiB("VmRSS:");
    ready = KeyToFileMs(keys, watch, program.pictures() + "/capture.png") >= 0;
  }
  if (!ready) {
    std::printf("  FAILED: Shift+F1 wrote no picture\n");
    return 1;
  }
  int failures = 0;
  for (const Scene& scene : Scenes(width, height)) {
    SceneWindow window(scene.picture);
    // The program's hotkey overview may cover the scene for a while after its start.
    const auto shown = Clock::now();
    bool exact = false;
    while (!exact && MsSince(shown) < 40000) exact = ShowScene(window, scene, *grabber);
    if (!exact) {
      std::printf("%-6s FAILED: the display does not show the picture\n", qPrintable(scene.name));
      ++failures;
      continue;
    }
    const Outside r = CompareOutside(program, keys, watch, peers, scene, home, idleKiB,
                                     height > 1080 ? 25000 : 10000);
    const auto yes = [](bool same, double ms) { return ms < 0 ? "-" : same ? "yes" : "NO"; };
    char bytesRatio[16] = "-";
    if (r.scrotBytes > 0)
      std::snprintf(bytesRatio, sizeof bytesRatio, "%.2f", double(r.oursBytes) / r.scrotBytes);
    std::printf(
        "%-6s %8.1f %8s %8s %7s %7s %10llu %10llu %10llu %6s %7.1fMi %s %s %s (%d rounds)\n",
        qPrintable(scene.name), r.ours, Cell(r.scrot).c_str(), Cell(r.maim).c_str(),
        Ratio(r.ours, r.scrot).c_str(), Ratio(r.ours, r.maim).c_str(),
        static_cast<unsigned long long>(r.oursBytes), static_cast<unsigned long long>(r.scrotBytes),
        static_cast<unsigned long long>(r.maimBytes), bytesRatio, r.captureKiB / 1024.0,
        yes(r.oursExact, r.ours), yes(r.scrotExact, r.scrot), yes(r.maimExact, r.maim), r.rounds);
    std::fflush(stdout);
    failures += r.ours < 0 || !r.oursExact;
  }
  std::printf(
      "capture = the program's peak resident memory during a capture above its size before\n"
      "its first capture; the grabbed picture alone is %.1f MiB\n",
      raw);
  return failures;
}

int RunOutside() {
  std::printf(
      "From outside: Shift+F1 sent through XTEST to the complete picture file (inotify),\n"
      "the lumivex program at its default (PNG 9) on its own Xvfb per size showing the corpus\n"
      "screenshots, sound and notices off; scrot (-o -z) and maim -u at their default settings\n"
      "timed as whole processes, in turn with ours. corpus: %s\nprogram: %s\n",
      qPrintable(CorpusFolder()), ProgramPath().c_str());
  return OnEachScreenSize([](const std::string& display, int width, int height) {
    return InChild([&] { return MeasureOutside(display, width, height); });
  });
}

bench::Register outsideSuite("outside", RunOutside);

#endif  // LUMIVEX_BENCH_PROGRAM

}  // namespace
