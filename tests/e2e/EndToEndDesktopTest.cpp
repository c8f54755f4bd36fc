// The whole program as a user meets it: the built executable started with a fresh home, driven
// only from outside through XTEST key presses and pointer drags, tray clicks, the clipboard read
// by another client, files on disk, the recorded notices, a real FTP server, a stand-in mail
// program and the real 7-Zip. Nothing of the program is linked into this test.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QImageReader>
#include <QJsonObject>
#include <QPixmap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QScreen>
#include <QUrl>

#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "DesktopProbe.h"
#include "FtpTestSupport.h"
#include "TempDir.h"
#include "actions/ArchiveHandOff.h"
#include "platform/posix/PosixLauncher.h"

namespace {

namespace fs = std::filesystem;
using lumivex::ftp::test::RealServer;

const QString kOverviewTitle = QStringLiteral("Hotkeys to capture...");
const QString kCapturedTitle = QStringLiteral("Screen captured!");

// A program run to its end (bounded); its standard output as bytes, or empty when it failed.
QByteArray output(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  runEventsUntil([&] { return process.state() == QProcess::NotRunning; }, 15000);
  if (process.state() != QProcess::NotRunning) {
    process.kill();
    process.waitForFinished(1000);
    return {};
  }
  if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) return {};
  return process.readAllStandardOutput();
}

// The screen as another client sees it now (Qt's own grab of the root window).
QImage screenNow() {
  return QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(
      QImage::Format_RGB32);
}

QImage picture(const fs::path& file) {
  return QImage(QString::fromStdString(file.string())).convertToFormat(QImage::Format_RGB32);
}

// The desktop's background: random dots of two colours, so that a picture cut from the wrong
// place cannot match by chance.
void paintNoisyBackground(const fs::path& folder) {
  constexpr int kSide = 256;
  std::string xbm =
      "#define noise_width 256\n#define noise_height 256\n"
      "static unsigned char noise_bits[] = {\n";
  QRandomGenerator random(14);
  for (int i = 0; i < kSide * kSide / 8; ++i) {
    const char* separator = i == 0 ? "" : i % 16 == 0 ? ",\n" : ",";  // Xlib reads short lines
    xbm += separator + QString::asprintf("0x%02x", random.bounded(256)).toStdString();
  }
  xbm += "};\n";
  const fs::path file = folder / "noise.xbm";
  std::ofstream(file) << xbm;
  ASSERT_EQ(QProcess::execute("xsetroot", {"-bitmap", QString::fromStdString(file.string()), "-fg",
                                           "#204060", "-bg", "#e0d0a0"}),
            0);
}

// Processes whose environment names `home` as HOME: the program and whatever it started.
QStringList processesOf(const fs::path& home) {
  QStringList found;
  const QByteArray needle = "HOME=" + QByteArray::fromStdString(home.string());
  for (const QString& pid : QDir("/proc").entryList(QDir::Dirs)) {
    if (pid.toInt() <= 0) continue;
    QFile environ("/proc/" + pid + "/environ");
    if (!environ.open(QIODevice::ReadOnly)) continue;
    if (environ.readAll().split('\0').contains(needle)) found << pid;
  }
  return found;
}

quint64 dockedTrayIcon() { return probe::dockedTrayIcon(QStringLiteral("lumivex")); }

// A user with a home of their own, and the Lumivex they run.
class EndToEnd : public ::testing::Test {
 protected:
  TempDir home;
  fs::path desktop = home.path / "Desktop";
  fs::path settings = home.path / ".config/Quorlan Software/Vistrel.conf";
  fs::path shutters = home.path / "shutters.log";
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  QProcess lumivex;
  qsizetype noticesAtStart = 0;

  static void SetUpTestSuite() {
    TempDir scratch;
    paintNoisyBackground(scratch.path);
  }

  EndToEnd() {
    fs::create_directories(desktop);
    environment.insert("HOME", QString::fromStdString(home.path.string()));
    environment.insert("XDG_CONFIG_HOME", QString::fromStdString((home.path / ".config").string()));
    environment.insert("XDG_DATA_HOME",
                       QString::fromStdString((home.path / ".local/share").string()));
    // Each shutter sound played on ALSA's "default" device adds a line to shutters.log.
    const fs::path alsa =
        home.write("asound.conf",
                   "pcm.!default { type file slave.pcm \"sink\" format \"raw\" file \"|cat "
                   ">/dev/null; echo shutter >>" +
                       shutters.string() + "\" }\npcm.sink { type null }\n");
    environment.insert("ALSA_CONFIG_PATH", QString::fromStdString(alsa.string()));
    lumivex.setProcessEnvironment(environment);
    lumivex.setProcessChannelMode(QProcess::ForwardedChannels);
  }

  ~EndToEnd() override {
    if (lumivex.state() != QProcess::NotRunning) {
      lumivex.terminate();
      if (!lumivex.waitForFinished(5000)) lumivex.kill();
      lumivex.waitForFinished(2000);
    }
  }

  // Starts Lumivex and waits for its first hotkey overview: by then its hotkeys are grabbed.
  void start() {
    noticesAtStart = probe::notices().size();
    lumivex.start(QStringLiteral(LUMIVEX_EXE), {});
    ASSERT_TRUE(lumivex.waitForStarted(5000));
    ASSERT_TRUE(runEventsUntil(
        [&] { return !noticesSince(noticesAtStart, kOverviewTitle).isEmpty(); }, 15000))
        << "no hotkey overview";
    ASSERT_TRUE(runEventsUntil([] { return dockedTrayIcon() != 0; })) << "no tray icon";
  }

  // A start that finds Lumivex running: it hands over and exits; its status.
  int startAgain() {
    QProcess second;
    second.setProcessEnvironment(environment);
    second.start(QStringLiteral(LUMIVEX_EXE), {});
    runEventsUntil([&] { return second.state() == QProcess::NotRunning; }, 10000);
    if (second.state() != QProcess::NotRunning) {
      second.kill();
      second.waitForFinished(2000);
      return -1;
    }
    return second.exitStatus() == QProcess::NormalExit ? second.exitCode() : -1;
  }

  // The notices since `from`, all or those titled `title`.
  static QList<QJsonObject> noticesSince(qsizetype from, const QString& title = {}) {
    QList<QJsonObject> out;
    const QList<QJsonObject> all = probe::notices();
    for (qsizetype i = from; i < all.size(); ++i)
      if (title.isEmpty() || all[i]["summary"].toString() == title) out.append(all[i]);
    return out;
  }
  static bool noticeSince(qsizetype from, const QString& title, const QString& body) {
    for (const QJsonObject& notice : noticesSince(from, title))
      if (notice["body"].toString() == body) return true;
    return false;
  }

  // The stored settings, name (in lower case) to value.
  QHash<QString, QString> storedSettings() const {
    QHash<QString, QString> values;
    const QString text = QString::fromStdString(home.read(settings));
    for (const QString& line : text.split('\n', Qt::SkipEmptyParts))
      if (!line.startsWith('#') && line.contains('='))
        values.insert(line.section('=', 0, 0).toLower(), line.section('=', 1));
    return values;
  }
  QString stored(const QString& name) const { return storedSettings().value(name.toLower()); }

  // Changes settings the way an editor would: the whole file replaced at once. Lumivex reads a
  // setting when it uses it, so the next capture sees the new values.
  void changeSettings(const QHash<QString, QString>& changes) const {
    QStringList lines = QString::fromStdString(home.read(settings)).split('\n', Qt::SkipEmptyParts);
    for (auto change = changes.begin(); change != changes.end(); ++change) {
      const QString line = change.key() + '=' + change.value();
      auto same = [&](const QString& l) {
        return l.section('=', 0, 0).compare(change.key(), Qt::CaseInsensitive) == 0;
      };
      auto at = std::find_if(lines.begin(), lines.end(), same);
      if (at == lines.end())
        lines << line;
      else
        *at = line;
    }
    const fs::path next = settings.string() + ".new";
    std::ofstream(next, std::ios::binary) << lines.join('\n').toStdString() << '\n';
    fs::permissions(next, fs::perms::owner_read | fs::perms::owner_write);
    fs::rename(next, settings);
  }

  int shutterCount() const {
    return int(QString::fromStdString(home.read(shutters)).count(QStringLiteral("shutter")));
  }

  // Presses keys and waits for the picture file they make.
  fs::path captureFile(const QString& keys) {
    const qsizetype mark = probe::notices().size();
    EXPECT_TRUE(probe::xdotool({"key", keys}));
    return savedPicture(mark);
  }
  // The picture named by the first completion notice since `mark`, once it has come: the
  // notice follows the written file.
  static fs::path savedPicture(qsizetype mark) {
    const QString prefix = QStringLiteral("Picture saved as ");
    fs::path saved;
    runEventsUntil(
        [&] {
          for (const QJsonObject& notice : noticesSince(mark, kCapturedTitle))
            if (notice["body"].toString().startsWith(prefix))
              return !(saved = notice["body"].toString().mid(prefix.size()).toStdString()).empty();
          return false;
        },
        15000);
    return saved;
  }
  static QString stem(const fs::path& file) {
    return QString::fromStdString(file.filename().string()).section('_', 0, 0);
  }

  // Pictures on the desktop, by name.
  QStringList desktopFiles() const {
    QStringList names;
    for (const auto& entry : fs::directory_iterator(desktop))
      names << QString::fromStdString(entry.path().filename().string());
    names.sort();
    return names;
  }

  // A visible window of Lumivex whose title contains `part` (0 when none shows).
  quint64 lumivexWindow(const QString& part) const {
    for (quint64 window : probe::visibleWindowsOf(lumivex.processId()))
      if (probe::windowName(window).contains(part)) return window;
    return 0;
  }

  // Waits for the options dialog to come up with the keyboard focus; whether it did.
  bool activeOptionsDialog() const {
    return runEventsUntil(
        [&] {
          const quint64 dialog = lumivexWindow(QStringLiteral("Options"));
          return dialog != 0 && probe::activeWindow() == dialog;
        },
        15000);
  }

  bool clickTrayIcon(const QStringList& click) const {
    const quint64 icon = dockedTrayIcon();
    return icon != 0 &&
           probe::xdotool({"mousemove", "--window", QString::number(icon), "12", "12"}) &&
           probe::xdotool(QStringList{"click"} + click);
  }
};

// Equal pictures; on a difference, where it starts.
::testing::AssertionResult samePixels(const QImage& expected, const QImage& actual) {
  if (expected.size() != actual.size())
    return ::testing::AssertionFailure()
           << "size " << actual.width() << "x" << actual.height() << ", expected "
           << expected.width() << "x" << expected.height();
  for (int y = 0; y < expected.height(); ++y)
    for (int x = 0; x < expected.width(); ++x)
      if (expected.pixel(x, y) != actual.pixel(x, y))
        return ::testing::AssertionFailure() << "first difference at " << x << "," << y;
  return ::testing::AssertionSuccess();
}

TEST_F(EndToEnd, FirstStartThenScreenAreaWindowAndClipboardCaptures) {
  RealServer ftp;
  ASSERT_GT(ftp.Port(), 0);
  fs::create_directories(fs::path(ftp.Root()) / "pics");

  // First start: every setting seeded, the hotkeys listed in a notice, the icon in the tray.
  ASSERT_FALSE(fs::exists(settings));
  start();
  const QHash<QString, QString> seeded = storedSettings();
  EXPECT_EQ(seeded.size(), 27);
  EXPECT_EQ(seeded.value("fpath1_text").toStdString(), desktop.string());
  EXPECT_EQ(seeded.value("hotkey1_hotkey"), "8304");
  EXPECT_EQ(fs::status(settings).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(noticesSince(noticesAtStart, kOverviewTitle).first()["body"].toString(),
            "Full screen - Shift+F1\nScreen area - Shift+F2\nActive window - Shift+F3\n"
            "Timed capture - Shift+F4\nSwitch storage mode - Ctrl+F5\n------------\n"
            "Capture to file.");

  // Shift+F1 in file mode with the FTP upload as the after-capture action.
  changeSettings({{"FtpServer1_Text", "127.0.0.1"},
                  {"FtpPort1_Text", QString::number(ftp.Port())},
                  {"DoAnonym_Checked", "False"},
                  {"user1_Text", "test"},
                  {"pass1_Text", "secret"},
                  {"RemFolder1_Text", "pics"},
                  {"DoFinal_Checked", "True"},
                  {"FAction_ItemIndex", "1"},
                  {"fName1_Text", "screen"}});
  qsizetype mark = probe::notices().size();
  const fs::path screen = captureFile("shift+F1");
  ASSERT_FALSE(screen.empty()) << "Shift+F1 saved nothing";
  EXPECT_EQ(screen.parent_path(), desktop);
  EXPECT_EQ(stem(screen), "screen");
  EXPECT_EQ(screen.extension(), ".png");
  EXPECT_TRUE(samePixels(screenNow(), picture(screen)));
  EXPECT_EQ(shutterCount(), 1);
  const fs::path uploaded = fs::path(ftp.Root()) / "pics" / screen.filename();
  EXPECT_TRUE(runEventsUntil(
      [&] { return !noticesSince(mark, QStringLiteral("Upload Complete")).isEmpty(); }, 20000));
  EXPECT_EQ(home.read(uploaded), home.read(screen)) << "the server's copy differs";

  // Shift+F2: an area dragged out on the frozen screen; the frame's inside is the picture.
  changeSettings({{"DoFinal_Checked", "False"}, {"fName1_Text", "area"}});
  const QImage before = screenNow();
  mark = probe::notices().size();
  ASSERT_TRUE(probe::xdotool({"key", "shift+F2"}));
  ASSERT_TRUE(runEventsUntil([&] {
    return probe::visibleWindowsOf(lumivex.processId()).size() >= 2;
  })) << "no selection overlay";
  ASSERT_TRUE(probe::xdotool({"mousemove", "--sync", "100", "150"}));
  ASSERT_TRUE(probe::xdotool({"mousedown", "1"}));
  ASSERT_TRUE(probe::xdotool({"mousemove", "--sync", "300", "250"}));
  ASSERT_TRUE(probe::xdotool({"mousemove", "--sync", "500", "450"}));
  ASSERT_TRUE(probe::xdotool({"mouseup", "1"}));
  const fs::path area = savedPicture(mark);
  ASSERT_EQ(stem(area), "area") << "the drag saved nothing";
  EXPECT_TRUE(samePixels(before.copy(101, 151, 399, 299), picture(area)));

  // Shift+F3: the active window of another program, with its frame, and the picture mailed.
  const fs::path mails = home.path / "mails.log";
  const fs::path mailer = home.write(
      "bin/standin-mailer", "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + mails.string() + "'\n");
  fs::permissions(mailer, fs::perms::owner_all);
  home.write(".local/share/applications/standin-mailer.desktop",
             "[Desktop Entry]\nType=Application\nName=Stand-in mailer\nExec=" + mailer.string() +
                 " %u\nMimeType=x-scheme-handler/mailto;\n");
  home.write(".config/mimeapps.list",
             "[Default Applications]\nx-scheme-handler/mailto=standin-mailer.desktop\n");
  changeSettings(
      {{"DoFinal_Checked", "True"}, {"FAction_ItemIndex", "2"}, {"fName1_Text", "window"}});
  QProcess other;
  other.start("xmessage",
              {"-name", "e2e-other-program", "-geometry", "+300+200", "another program's window"});
  QString client;
  ASSERT_TRUE(runEventsUntil([&] {
    client = QString::fromUtf8(output("xdotool", {"search", "--classname", "e2e-other-program"}))
                 .section('\n', 0, 0);
    return !client.isEmpty();
  }));
  ASSERT_TRUE(probe::xdotool({"windowactivate", "--sync", client}));
  const QRect frame = probe::frameOf(client.toULongLong());
  const QImage shown = screenNow();
  const fs::path window = captureFile("shift+F3");
  ASSERT_EQ(stem(window), "window") << "Shift+F3 saved nothing";
  EXPECT_TRUE(samePixels(shown.copy(frame), picture(window)));
  EXPECT_EQ(shutterCount(), 3);
  // The mail program was handed "mailto:?subject=…&body=…&attach=…". (The area's own action
  // may read the mail setting too: the test changes it as soon as the area's notice shows.)
  QString mail;
  const auto attachedWindow = [&] {
    mail = QString::fromStdString(home.read(mails));
    for (const QString& line : mail.split('\n', Qt::SkipEmptyParts)) {
      const QString attached = line.section("&attach=", 1, 1).section('&', 0, 0);
      if (QUrl::fromPercentEncoding(attached.toUtf8()).toStdString() == window.string())
        return true;
    }
    return false;
  };
  EXPECT_TRUE(runEventsUntil(attachedWindow)) << mail.toStdString();
  other.kill();
  other.waitForFinished(2000);

  // Ctrl+F5, then Shift+F1 puts the picture on the clipboard and writes no file.
  changeSettings({{"DoFinal_Checked", "False"}});
  mark = probe::notices().size();
  ASSERT_TRUE(probe::xdotool({"key", "ctrl+F5"}));
  EXPECT_TRUE(runEventsUntil(
      [&] { return noticeSince(mark, "New storage mode.", "Capture to clipboard."); }));
  EXPECT_EQ(stored("Radiobutton1_Checked"), "True");
  const QStringList filesBefore = desktopFiles();
  ASSERT_TRUE(probe::xdotool({"key", "shift+F1"}));
  ASSERT_TRUE(runEventsUntil(
      [&] { return noticeSince(mark, kCapturedTitle, "Picture stored in the clipboard"); }));
  const QImage onScreen = screenNow();  // the tray icon has turned red by now
  EXPECT_EQ(shutterCount(), 4);
  const QByteArray png = output("xclip", {"-selection", "clipboard", "-t", "image/png", "-o"});
  EXPECT_TRUE(
      samePixels(onScreen, QImage::fromData(png, "PNG").convertToFormat(QImage::Format_RGB32)));
  EXPECT_EQ(desktopFiles(), filesBefore);
  ASSERT_TRUE(probe::xdotool({"key", "ctrl+F5"}));
  EXPECT_TRUE(runEventsUntil([&] { return stored("Radiobutton1_Checked") == "False"; }));
}

TEST_F(EndToEnd, TimedCaptureOfThreeTicksAndAPictureArchivedBesideItself) {
  start();
  // One frame a second: after the third shutter sound Shift+F4 ends the run.
  changeSettings({{"IntList1_Text", "1"}, {"tmcType_ItemIndex", "1"}, {"fName1_Text", "timed"}});
  const int shuttersBefore = shutterCount();
  const qsizetype mark = probe::notices().size();
  ASSERT_TRUE(probe::xdotool({"key", "shift+F4"}));
  ASSERT_TRUE(runEventsUntil([&] { return shutterCount() == shuttersBefore + 3; }, 15000))
      << shutterCount() - shuttersBefore << " frames";
  ASSERT_TRUE(probe::xdotool({"key", "shift+F4"}));
  const fs::path gif = savedPicture(mark);
  ASSERT_EQ(stem(gif), "timed");
  EXPECT_EQ(gif.parent_path(), desktop);
  EXPECT_EQ(gif.extension(), ".gif");
  QImageReader frames(QString::fromStdString(gif.string()), "gif");
  EXPECT_EQ(frames.imageCount(), 3);
  EXPECT_EQ(frames.size(), QGuiApplication::primaryScreen()->size());
  EXPECT_EQ(shutterCount(), shuttersBefore + 3);

  // The after-capture action 3: 7-Zip puts the picture into a .zip of the same name beside it.
  changeSettings(
      {{"DoFinal_Checked", "True"}, {"FAction_ItemIndex", "3"}, {"fName1_Text", "kept"}});
  const fs::path kept = captureFile("shift+F1");
  ASSERT_EQ(stem(kept), "kept");
  fs::path zip = kept;
  zip.replace_extension(".zip");
  // The 7-Zip the program starts: Debian 12's 7zip has 7zz, Debian 13's 7z.
  const QString archiver = lumivex::actions::FindArchiver(lumivex::platform::PosixLauncher());
  ASSERT_FALSE(archiver.isEmpty()) << "no 7-Zip on the PATH";
  QString listing;
  EXPECT_TRUE(runEventsUntil(
      [&] {
        // 7-Zip has ended: Lumivex is the only process left of this user.
        if (!fs::exists(zip) ||
            processesOf(home.path) != QStringList{QString::number(lumivex.processId())})
          return false;
        listing =
            QString::fromUtf8(output(archiver, {"l", "-ba", QString::fromStdString(zip.string())}));
        return listing.contains(QString::fromStdString(kept.filename().string()));
      },
      15000))
      << listing.toStdString();
  const QByteArray packed = output(archiver, {"e", "-so", QString::fromStdString(zip.string())});
  EXPECT_EQ(packed.toStdString(), home.read(kept)) << "the archived picture differs";
}

TEST_F(EndToEnd, OptionsChangedThroughTheDialogAreUsedAndExitLeavesNothingBehind) {
  start();
  // A second start opens the options dialog of the running Lumivex; the file name is typed in.
  EXPECT_EQ(startAgain(), 0);
  ASSERT_TRUE(activeOptionsDialog()) << "no options dialog";
  // The focus starts in the first hotkey field: five fields, the storage mode, the picture type.
  ASSERT_TRUE(probe::xdotool(
      {"key", "--delay", "40", "Tab", "Tab", "Tab", "Tab", "Tab", "Tab", "Tab", "ctrl+a"}));
  ASSERT_TRUE(probe::xdotool({"type", "--delay", "20", "from dialog"}));
  ASSERT_TRUE(probe::xdotool({"key", "Return"}));
  EXPECT_TRUE(runEventsUntil([&] { return lumivexWindow("Options") == 0; }));
  EXPECT_TRUE(runEventsUntil([&] { return stored("fName1_Text") == "from dialog"; }))
      << stored("fName1_Text").toStdString();
  // Closed, the dialog gives the hotkeys back and lists them again.
  EXPECT_TRUE(
      runEventsUntil([&] { return noticesSince(noticesAtStart, kOverviewTitle).size() == 2; }));

  // A double click on the tray icon opens it again; the picture type becomes BMP.
  ASSERT_TRUE(clickTrayIcon({"--repeat", "2", "--delay", "80", "1"}));
  ASSERT_TRUE(activeOptionsDialog()) << "no options dialog";
  ASSERT_TRUE(probe::xdotool(
      {"key", "--delay", "40", "Tab", "Tab", "Tab", "Tab", "Tab", "Tab", "Down", "Tab", "Return"}));
  EXPECT_TRUE(runEventsUntil([&] { return stored("PicType_ItemIndex") == "1"; }));
  EXPECT_TRUE(
      runEventsUntil([&] { return noticesSince(noticesAtStart, kOverviewTitle).size() == 3; }));

  const fs::path bmp = captureFile("shift+F1");
  ASSERT_EQ(stem(bmp), "from dialog");
  EXPECT_EQ(bmp.extension(), ".bmp");
  EXPECT_EQ(home.read(bmp).substr(0, 2), "BM");
  EXPECT_EQ(picture(bmp).size(), QGuiApplication::primaryScreen()->size());

  // Exit from the tray menu: the menu's last item.
  ASSERT_TRUE(clickTrayIcon({"3"}));
  ASSERT_TRUE(runEventsUntil([&] {
    return probe::visibleWindowsOf(lumivex.processId()).size() >= 2;
  })) << "no tray menu";
  ASSERT_TRUE(probe::xdotool({"key", "--delay", "40", "Up", "Return"}));
  ASSERT_TRUE(runEventsUntil([&] { return lumivex.state() == QProcess::NotRunning; }));
  EXPECT_EQ(lumivex.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(lumivex.exitCode(), 0);
  EXPECT_TRUE(runEventsUntil([] { return dockedTrayIcon() == 0; })) << "the tray icon stayed";
  EXPECT_TRUE(runEventsUntil([&] { return processesOf(home.path).isEmpty(); }))
      << processesOf(home.path).join(' ').toStdString();
  // Another program can now have Shift+F1.
  QProcess holder;
  holder.start("/usr/bin/python3", {QStringLiteral(GRAB_KEY_SCRIPT), "F1", "1"});
  ASSERT_TRUE(runEventsUntil(
      [&] { return holder.canReadLine() || holder.state() == QProcess::NotRunning; }));
  EXPECT_EQ(holder.readLine().trimmed(), "held") << "Shift+F1 is still grabbed";
  holder.closeWriteChannel();
  if (!holder.waitForFinished(3000)) holder.kill();
}

// Pictures under bad input and ordinary faults, tried as a hostile tester would: entries planted
// under the coming names, a kill during the write, settings no write can work with. A picture
// is complete or absent, and success is shown only for a file that exists.
class PictureFiles : public EndToEnd {
 protected:
  // Presses keys, waits for the standard error box (a window of Lumivex that was not there
  // before; the tray icon's is) and closes it; whether one came.
  bool errorBoxAfter(const QString& keys) const {
    const QList<quint64> before = probe::visibleWindowsOf(lumivex.processId());
    if (!probe::xdotool({"key", keys})) return false;
    quint64 box = 0;
    auto newWindow = [&] {
      for (quint64 window : probe::visibleWindowsOf(lumivex.processId()))
        if (!before.contains(window)) return (box = window) != 0;
      return false;
    };
    if (!runEventsUntil(newWindow, 15000)) return false;
    probe::xdotool({"windowactivate", "--sync", QString::number(box)});
    probe::xdotool({"key", "Return"});
    return runEventsUntil(
        [&] { return !probe::visibleWindowsOf(lumivex.processId()).contains(box); });
  }
  // The pictures named by the completion notices since `mark`.
  static QStringList savedPictures(qsizetype mark) {
    const QString prefix = QStringLiteral("Picture saved as ");
    QStringList saved;
    for (const QJsonObject& notice : noticesSince(mark, kCapturedTitle))
      if (notice["body"].toString().startsWith(prefix))
        saved << notice["body"].toString().mid(prefix.size());
    return saved;
  }
  // Whether the file is a picture of the whole screen.
  static bool wholeScreenPicture(const fs::path& file) {
    return QImage(QString::fromStdString(file.string())).size() ==
           QGuiApplication::primaryScreen()->size();
  }
};

TEST_F(PictureFiles, EntriesUnderTheComingNamesAreNeverReplacedFollowedOrOpened) {
  start();
  changeSettings({{"CheckBox2_Checked", "False"}, {"fName1_Text", "shot"}});
  // For each of the coming seconds, in turns under the stamped name and the two after it: a
  // picture taken earlier in that second, a link to a file of the user's, and a FIFO, which
  // blocks whoever opens it for writing.
  const fs::path victim = home.write("victim-file", "precious");
  const QDateTime now = QDateTime::currentDateTime();
  constexpr int kSeconds = 45;
  for (int second = 0; second < kSeconds; ++second) {
    const std::string stem =
        (desktop / ("shot_" + now.addSecs(second).toString("yyyy_MM_dd HH_mm_ss").toStdString()))
            .string();
    const std::string names[] = {stem + ".png", stem + "_1.png", stem + "_2.png"};
    std::ofstream(names[second % 3]) << "earlier picture";
    fs::create_symlink(victim, names[(second + 1) % 3]);
    ASSERT_EQ(mkfifo(names[(second + 2) % 3].c_str(), 0666), 0);
  }
  const qsizetype mark = probe::notices().size();
  ASSERT_TRUE(probe::xdotool({"key", "shift+F1", "shift+F1"}));
  ASSERT_TRUE(runEventsUntil([&] { return savedPictures(mark).size() == 2; }, 30000))
      << "the captures did not both finish";
  const QStringList saved = savedPictures(mark);
  EXPECT_NE(saved[0], saved[1]);
  for (const QString& name : saved) {
    EXPECT_TRUE(name.endsWith("_3.png") || name.endsWith("_4.png")) << name.toStdString();
    EXPECT_FALSE(fs::is_symlink(name.toStdString()));
    EXPECT_TRUE(wholeScreenPicture(name.toStdString())) << name.toStdString();
  }
  EXPECT_EQ(home.read(victim), "precious");
  int links = 0, fifos = 0, earlier = 0, pictures = 0;
  for (const auto& entry : fs::directory_iterator(desktop))
    ++(entry.is_symlink()                             ? links
       : entry.is_fifo()                              ? fifos
       : home.read(entry.path()) == "earlier picture" ? earlier
                                                      : pictures);
  EXPECT_EQ(links, kSeconds);
  EXPECT_EQ(fifos, kSeconds);
  EXPECT_EQ(earlier, kSeconds);
  EXPECT_EQ(pictures, 2);
}

// Each of these fails: its error is all the user sees, with no notice naming a missing file. A
// failure known before the grab comes without the shutter sound.
TEST_F(PictureFiles, AFailedCaptureShowsItsErrorOnly) {
  start();
  changeSettings({{"CheckBox2_Checked", "False"}});
  struct Case {
    QHash<QString, QString> settings;
    int sounds;  // the shutter sounds only for a failure after the grab
  };
  const Case cases[] = {
      {{{"PNGCompr1_Position", "high"}}, 0},
      {{{"PNGCompr1_Position", "9"}, {"PicType_ItemIndex", "5"}}, 0},
      {{{"PicType_ItemIndex", "0"}, {"fName1_Text", "../escape"}}, 0},
      {{{"fName1_Text", QString(300, 'n')}}, 1},  // longer than a file name may be
  };
  for (const Case& failing : cases) {
    SCOPED_TRACE(failing.settings.keys().join(' ').toStdString());
    changeSettings(failing.settings);
    const int soundsBefore = shutterCount();
    const qsizetype mark = probe::notices().size();
    EXPECT_TRUE(errorBoxAfter(QStringLiteral("shift+F1")));
    EXPECT_TRUE(noticesSince(mark, kCapturedTitle).isEmpty());
    EXPECT_EQ(shutterCount(), soundsBefore + failing.sounds);
    EXPECT_TRUE(desktopFiles().isEmpty()) << desktopFiles().join(' ').toStdString();
  }
  for (const auto& entry : fs::directory_iterator(home.path))
    EXPECT_FALSE(entry.path().filename().string().starts_with("escape"));
}

// Killed while the picture is written (a large screen at the strongest PNG level): no
// half-written file stays under a picture's name.
TEST_F(PictureFiles, AKillDuringTheWriteLeavesNoPartialPicture) {
  start();  // PNG at level 9, as seeded
  // The shutter sound ends right before the write begins.
  ASSERT_TRUE(probe::xdotool({"key", "shift+F1"}));
  ASSERT_TRUE(runEventsUntil([&] { return shutterCount() == 1; }, 15000));
  ::kill(pid_t(lumivex.processId()), SIGKILL);
  ASSERT_TRUE(lumivex.waitForFinished(5000));
  for (const auto& entry : fs::directory_iterator(desktop))
    EXPECT_TRUE(wholeScreenPicture(entry.path())) << entry.path();
}

}  // namespace
