// Grabs of what the test desktop really shows: known patterns in windows, compared pixel for pixel.
#include "EventLoop.h"
#include "platform/x11/X11ScreenGrabber.h"

#include "DesktopProbe.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPainter>
#include <QRegularExpression>
#include <QScreen>
#include <QWidget>

#include <memory>
#include <string>

using namespace lumivex::platform;

namespace {

// Pixels that differ from their neighbours and between seeds, so any shift or mix-up shows.
QImage pattern(QSize size, quint32 seed) {
  QImage image(size, QImage::Format_RGB32);
  for (int y = 0; y < size.height(); ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < size.width(); ++x) {
      quint32 h = (quint32(x) * 0x9E3779B1u) ^ (quint32(y) * 0x85EBCA77u) ^ seed;
      h ^= h >> 15;
      h *= 0x2C1B3C6Du;
      h ^= h >> 12;
      row[x] = 0xFF000000u | (h & 0xFFFFFFu);
    }
  }
  return image;
}

// Where the pictures first differ; empty when the pictures are equal (the fourth byte of an
// RGB32 pixel is no colour and is ignored).
std::string difference(const QImage& actual, const QImage& expected) {
  if (actual.size() != expected.size())
    return "size " + std::to_string(actual.width()) + "x" + std::to_string(actual.height());
  const QImage a = actual.convertToFormat(QImage::Format_RGB32);
  const QImage e = expected.convertToFormat(QImage::Format_RGB32);
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x)
      if ((a.pixel(x, y) ^ e.pixel(x, y)) & 0xFFFFFFu)
        return "first difference at " + std::to_string(x) + "," + std::to_string(y);
  return {};
}

// Shows a picture 1:1 in physical pixels, whatever scale factor Qt applies.
class PictureWindow : public QWidget {
 public:
  explicit PictureWindow(QImage picture) : picture_(std::move(picture)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
  }
  // Covers `physical` (root pixels) without a window manager's frame or placement.
  void showAt(const QRect& physical) {
    setWindowFlags(Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
    const qreal scale = QGuiApplication::primaryScreen()->devicePixelRatio();
    setGeometry(QRect(physical.topLeft() / scale, physical.size() / scale));
    show();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QImage scaled = picture_;
    scaled.setDevicePixelRatio(devicePixelRatioF());
    QPainter(this).drawImage(QPoint(0, 0), scaled);
  }

 private:
  QImage picture_;
};

// The picture grabs give once the desktop has painted what the test shows.
QImage settledGrab(const std::function<QImage()>& grab, const QImage& expected) {
  QImage picture;
  runEventsUntil([&] {
    picture = grab();
    return difference(picture, expected).empty();
  });
  return picture;
}

class FullScreen : public ::testing::TestWithParam<X11GrabTransfer> {};

TEST_P(FullScreen, IsThePatternShownOnThePrimaryMonitor) {
  const auto grabber = createX11ScreenGrabber(GetParam());
  ASSERT_TRUE(grabber) << "no X11 display or no shared memory";
  const QRect primary = grabber->primaryScreenRect();
  EXPECT_EQ(primary, QRect(0, 0, 1920, 1080));  // the test desktop's single monitor
  const QImage shown = pattern(primary.size(), 1);
  PictureWindow window(shown);
  window.showAt(primary);
  ASSERT_TRUE(probe::xdotool({"mousemove", "200", "100"}));  // the pointer is not in the picture
  const QImage picture = settledGrab([&] { return grabber->grabPrimaryScreen(); }, shown);
  EXPECT_EQ(picture.format(), QImage::Format_RGB32);
  EXPECT_EQ(difference(picture, shown), "");
}

// Shared memory and the plain request must give identical pixels: both against one pattern.
INSTANTIATE_TEST_SUITE_P(EachTransfer, FullScreen,
                         ::testing::Values(X11GrabTransfer::kSharedMemory,
                                           X11GrabTransfer::kGetImage));

// A picture in shared memory is the grab's alone: later grabs and the grabber's end leave it be.
TEST(SharedMemoryPictures, KeepTheirPixelsWhileHeld) {
  auto grabber = createX11ScreenGrabber(X11GrabTransfer::kSharedMemory);
  ASSERT_TRUE(grabber);
  const QRect primary = grabber->primaryScreenRect();
  const QImage first = pattern(primary.size(), 7), second = pattern(primary.size(), 8);
  PictureWindow firstWindow(first);
  firstWindow.showAt(primary);
  const QImage held = settledGrab([&] { return grabber->grabPrimaryScreen(); }, first);
  PictureWindow secondWindow(second);
  secondWindow.showAt(primary);
  const QImage next = settledGrab([&] { return grabber->grabPrimaryScreen(); }, second);
  grabber.reset();
  EXPECT_EQ(difference(held, first), "");
  EXPECT_EQ(difference(next, second), "");
}

// Runs in a 3200x1080 desktop under QT_SCALE_FACTOR=2: a 1280x1024 monitor, then the primary
// 1920x1080 one to its right, each showing its own pattern.
TEST(MultiMonitor, GrabIsThePrimaryMonitorsPixelsAtItsPhysicalSize) {
  const qreal scale = qEnvironmentVariable("QT_SCALE_FACTOR", "1").toDouble();
  EXPECT_EQ(QGuiApplication::primaryScreen()->devicePixelRatio(), scale);
  const auto grabber = createX11ScreenGrabber();
  ASSERT_TRUE(grabber);
  const QRect left(0, 0, 1280, 1024), primary(1280, 0, 1920, 1080);
  ASSERT_TRUE(QRect(QPoint(0, 0), QGuiApplication::primaryScreen()->geometry().size() * scale)
                  .contains(primary))
      << "the desktop is too small for two monitors";
  probe::run("xrandr", {"--setmonitor", "left", "1280/339x1024/271+0+0", "none"});
  // RandR makes a monitor primary when its name starts with "*".
  probe::run("xrandr", {"--setmonitor", "*primary", "1920/508x1080/286+1280+0", "none"});
  EXPECT_TRUE(runEventsUntil([&] { return grabber->primaryScreenRect() == primary; }))
      << "primary monitor reported at " << grabber->primaryScreenRect().x() << ","
      << grabber->primaryScreenRect().y();

  PictureWindow leftWindow(pattern(left.size(), 2));
  leftWindow.showAt(left);
  const QImage shown = pattern(primary.size(), 3);
  PictureWindow primaryWindow(shown);
  primaryWindow.showAt(primary);
  const QImage picture = settledGrab([&] { return grabber->grabPrimaryScreen(); }, shown);
  EXPECT_EQ(difference(picture, shown), "");

  probe::run("xrandr", {"--delmonitor", "primary"});
  probe::run("xrandr", {"--delmonitor", "left"});
}

// Four numbers of an X property as xprop prints them ("NAME(CARDINAL) = 1, 1, 20, 5").
QList<int> cardinals(quint64 window, const QString& property) {
  QList<int> values;
  const QString text = probe::run("xprop", {"-id", QString::number(window), property});
  static const QRegularExpression number(QStringLiteral("\\b\\d+\\b"));
  const QString list = text.section('=', 1);
  for (auto it = number.globalMatch(list); it.hasNext();)
    values.append(it.next().captured().toInt());
  return values;
}

// The root-window rectangle of an X window as xwininfo reports it.
QRect rootRect(quint64 window) {
  const QString info = probe::run("xwininfo", {"-id", QString::number(window)});
  auto field = [&](const char* name) {
    const QRegularExpression re(QString::fromLatin1(name) + QStringLiteral(":\\s+(-?\\d+)"));
    return re.match(info).captured(1).toInt();
  };
  return QRect(field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"),
               field("Height"));
}

TEST(ActiveWindow, IsTheWindowWithItsFrameAsTheScreenShowsIt) {
  const auto grabber = createX11ScreenGrabber();
  ASSERT_TRUE(grabber);
  const QImage client = pattern(QSize(320, 200), 4);
  PictureWindow window(client);
  window.setFixedSize(client.size());
  window.show();
  window.activateWindow();
  ASSERT_TRUE(runEventsUntil([&] { return window.isActiveWindow(); }));

  const QList<int> extents = cardinals(window.winId(), "_NET_FRAME_EXTENTS");
  ASSERT_EQ(extents.size(), 4) << "the window manager frames no window";
  const int left = extents[0], right = extents[1], top = extents[2], bottom = extents[3];
  const QSize framed(client.width() + left + right, client.height() + top + bottom);
  QImage picture;
  EXPECT_TRUE(runEventsUntil([&] {
    picture = grabber->grabActiveWindow();
    return picture.size() == framed &&
           difference(picture.copy(QRect(QPoint(left, top), client.size())), client).empty();
  })) << difference(picture, QImage(framed, QImage::Format_RGB32));

  // The frame and title bar are the screen's pixels around the window.
  QList<quint64> chain = probe::parentChain(window.winId());  // ..., frame, root, none
  chain.removeAll(0);
  ASSERT_GE(chain.size(), 2);
  const QRect frame = rootRect(chain[chain.size() - 2]);
  EXPECT_EQ(frame.size(), framed);
  // The window manager may still be painting its title bar (a newer openbox draws it after the
  // window is active): both grabs are taken again until the frame has settled.
  EXPECT_TRUE(runEventsUntil([&] {
    picture = grabber->grabActiveWindow();
    return difference(picture, grabber->grabPrimaryScreen().copy(frame)).empty();
  })) << difference(picture, grabber->grabPrimaryScreen().copy(frame));
}

TEST(ActiveWindow, NoneWhenNoWindowIsActive) {
  const auto grabber = createX11ScreenGrabber();
  ASSERT_TRUE(grabber);
  {
    PictureWindow window(pattern(QSize(100, 100), 5));
    window.show();
    window.activateWindow();
    ASSERT_TRUE(runEventsUntil([&] { return !grabber->grabActiveWindow().isNull(); }));
  }
  EXPECT_TRUE(runEventsUntil([&] { return grabber->grabActiveWindow().isNull(); }));
}

}  // namespace

// Runs on desktops of depth 15 and 16: the picture equals what Qt's own grab reads of the pattern
// the display shows (quantised by the display), through either transfer.
TEST(OtherDepths, PictureEqualsQtsOwnGrab) {
  const QRect primary(QPoint(0, 0), QGuiApplication::primaryScreen()->geometry().size());
  const int depth = QGuiApplication::primaryScreen()->depth();
  ASSERT_EQ(depth, qEnvironmentVariableIntValue("LUMIVEX_TEST_DEPTH"));
  PictureWindow window(pattern(primary.size(), 6));
  window.showAt(primary);
  QImage shown;
  ASSERT_TRUE(runEventsUntil([&] {
    const QImage before = shown;
    shown = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
    return !before.isNull() && before == shown && shown.pixel(0, 0) != qRgb(0, 0, 0);
  }));
  for (X11GrabTransfer transfer : {X11GrabTransfer::kSharedMemory, X11GrabTransfer::kGetImage}) {
    const auto grabber = createX11ScreenGrabber(transfer);
    ASSERT_TRUE(grabber);
    const QImage picture = grabber->grabPrimaryScreen();
    EXPECT_EQ(picture.format(), depth == 15 ? QImage::Format_RGB555 : QImage::Format_RGB32);
    EXPECT_EQ(difference(picture, shown), "");
  }
}

// Runs on a desktop without a window manager: the window with the keyboard focus, no frame.
TEST(NoWindowManager, ActiveWindowIsTheFocusWindow) {
  const auto grabber = createX11ScreenGrabber();
  ASSERT_TRUE(grabber);
  const QImage client = pattern(QSize(240, 160), 9);
  PictureWindow window(client);
  window.setGeometry(QRect(QPoint(50, 60), client.size()));
  window.show();
  window.activateWindow();
  const QImage picture = settledGrab([&] { return grabber->grabActiveWindow(); }, client);
  EXPECT_EQ(difference(picture, client), "");
}
