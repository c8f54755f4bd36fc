// Takes the pictures of the README and the AppStream metadata from the running program, as a
// user would see it in the test desktop: the tray menu, the options dialog and the notice after a
// capture. Run inside a desktop without a notification service (the notice is then the tray's
// own balloon): scripts/readme-screenshots.sh.
//   readme_screenshots LUMIVEX_EXECUTABLE OUTPUT_FOLDER
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>

#include <cstdio>

#include "DesktopProbe.h"

namespace {

constexpr int kMargin = 12;

// The screen's pixels inside `area` and `margin` around it (within the screen), saved as `file`.
bool shoot(const QRect& area, const QString& file, int margin = kMargin) {
  runEventsFor(500);  // menus and balloons fade in
  QScreen* screen = QGuiApplication::primaryScreen();
  const QRect shown =
      area.adjusted(-margin, -margin, margin, margin) & QRect(QPoint(0, 0), screen->size());
  const bool saved = screen->grabWindow(0, shown.x(), shown.y(), shown.width(), shown.height())
                         .save(file, "PNG", 9);
  std::fprintf(stderr, "%s %s (%dx%d)\n", saved ? "wrote" : "could not write", qPrintable(file),
               shown.width(), shown.height());
  return saved;
}

// Lumivex's visible windows other than `except`, once there are some (bounded wait).
QList<quint64> newWindows(qint64 pid, const QList<quint64>& except) {
  QList<quint64> found;
  runEventsUntil([&] {
    found = probe::visibleWindowsOf(pid);
    for (quint64 window : except) found.removeAll(window);
    return !found.isEmpty();
  });
  return found;
}

class Session {
 public:
  Session(const QString& executable, const QString& home) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("HOME", home);
    environment.insert("XDG_CONFIG_HOME", home + "/.config");
    QDir(home).mkpath("Desktop");
    lumivex_.setProcessEnvironment(environment);
    lumivex_.setProcessChannelMode(QProcess::ForwardedChannels);
    lumivex_.start(executable, {});
  }
  ~Session() {
    lumivex_.terminate();
    if (!lumivex_.waitForFinished(5000)) lumivex_.kill();
  }
  qint64 pid() const { return lumivex_.processId(); }

  // The tray icon, once it is docked (0 when it never comes).
  quint64 trayIcon() const {
    quint64 icon = 0;
    runEventsUntil([&] { return (icon = probe::dockedTrayIcon("lumivex")) != 0; });
    return icon;
  }

 private:
  QProcess lumivex_;
};

bool click(quint64 window, const QStringList& how) {
  return probe::xdotool({"mousemove", "--window", QString::number(window), "12", "12"}) &&
         probe::xdotool(QStringList{"click"} + how);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: readme_screenshots LUMIVEX_EXECUTABLE OUTPUT_FOLDER\n");
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[2]);
  QProcess::execute("xsetroot", {"-solid", "#3c5a78"});
  QTemporaryDir home(QDir::tempPath() + "/alice-XXXXXX");  // a short name: the notice shows it
  Session lumivex(QString::fromLocal8Bit(argv[1]), home.path());
  const quint64 icon = lumivex.trayIcon();
  if (icon == 0) {
    std::fprintf(stderr, "readme_screenshots: no tray icon\n");
    return 1;
  }
  const QRect iconRect = probe::screenRect(icon);
  bool ok = true;

  // The notice after Shift+F1; it takes the place of the hotkey overview shown at start.
  runEventsFor(1500);
  probe::xdotool({"key", "shift+F1"});
  runEventsFor(1500);
  QList<quint64> balloons = newWindows(lumivex.pid(), {icon});
  ok = !balloons.isEmpty() &&
       shoot(probe::screenRect(balloons.last()) | iconRect, out + "/notice.png") && ok;
  // A click on the balloon closes it; it would take the clicks meant for the icon.
  for (quint64 balloon : balloons) click(balloon, {"1"});
  runEventsUntil([&] { return newWindows(lumivex.pid(), {icon}).isEmpty(); }, 3000);

  // The tray menu, opened by a click on the icon.
  click(icon, {"3"});
  const QList<quint64> menus = newWindows(lumivex.pid(), {icon});
  ok = !menus.isEmpty() &&
       shoot(probe::screenRect(menus.first()) | iconRect, out + "/tray-menu.png") && ok;
  probe::xdotool({"key", "Escape"});

  // The options dialog, opened by a double click on the icon, with its window frame.
  runEventsFor(300);
  click(icon, {"--repeat", "2", "--delay", "80", "1"});
  const QList<quint64> dialogs = newWindows(lumivex.pid(), {icon});
  ok = !dialogs.isEmpty() &&
       shoot(probe::frameOf(dialogs.first()), out + "/options-dialog.png", 0) && ok;
  probe::xdotool({"key", "Return"});
  return ok ? 0 : 1;
}
