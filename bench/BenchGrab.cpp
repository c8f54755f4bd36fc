// "grab": one picture of the primary monitor from the X server, through shared memory and through
// a plain GetImage, with Qt's own screen grab as the anchor. Skipped without an X display.
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "Bench.h"
#include "platform/x11/X11ScreenGrabber.h"

namespace {

using Clock = std::chrono::steady_clock;
using lumivex::platform::createX11ScreenGrabber;
using lumivex::platform::X11GrabTransfer;

// Median milliseconds of one grab; at most 60 grabs or 5 s. Negative when a grab failed.
double medianGrabMs(const std::function<QImage()>& grab) {
  std::vector<double> times;
  const auto end = Clock::now() + std::chrono::seconds(5);
  while (times.size() < 60 && (times.size() < 5 || Clock::now() < end)) {
    const auto start = Clock::now();
    const QImage picture = grab();
    times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    if (picture.isNull()) return -1;
  }
  std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
  return times[times.size() / 2];
}

void printRow(const char* name, double ms) {
  if (ms < 0)
    std::printf("  %-28s failed\n", name);
  else
    std::printf("  %-28s %8.2f ms\n", name, ms);
}

int runGrab() {
  if (qEnvironmentVariableIsEmpty("DISPLAY")) {
    std::printf("  skipped: no X display (DISPLAY is not set)\n");
    return 0;
  }
  // Falls back to the offscreen platform when the display cannot be opened.
  qputenv("QT_QPA_PLATFORM", "xcb;offscreen");
  static int argc = 1;
  static char name[] = "lumivex-bench";
  static char* argv[] = {name, nullptr};
  QGuiApplication app(argc, argv);
  const auto getImage = createX11ScreenGrabber(X11GrabTransfer::kGetImage);
  if (!getImage) {
    std::printf("  skipped: the display is not an X11 display Qt can open\n");
    return 0;
  }
  const QRect primary = getImage->primaryScreenRect();
  std::printf("  primary monitor %dx%d at %d,%d, median of one grab:\n", primary.width(),
              primary.height(), primary.x(), primary.y());
  int failures = 0;
  if (const auto shared = createX11ScreenGrabber(X11GrabTransfer::kSharedMemory)) {
    const double ms = medianGrabMs([&] { return shared->grabPrimaryScreen(); });
    printRow("MIT-SHM (picture in place)", ms);
    failures += ms < 0;
  } else {
    std::printf("  %-28s not offered by this server\n", "MIT-SHM");
  }
  const double getImageMs = medianGrabMs([&] { return getImage->grabPrimaryScreen(); });
  printRow("GetImage (picture in reply)", getImageMs);
  failures += getImageMs < 0;
  // Anchor: Qt's grab of the root window (logical coordinates, copies into its own image).
  QScreen* screen = QGuiApplication::primaryScreen();
  printRow("QScreen::grabWindow (anchor)",
           medianGrabMs([&] { return screen->grabWindow(0).toImage(); }));
  return failures;
}

bench::Register grabSuite("grab", runGrab);

}  // namespace
