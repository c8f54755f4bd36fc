// The area overlay on the test desktop through its entry point, driven from outside by XTEST
// (xdotool, device pixels) with the real pointer confinement; run at scale 1 and at scale 2.
#include "EventLoop.h"
#include "capture/TAreaForm.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QScreen>
#include <QTimer>

#include <memory>

#include "AreaPicture.h"
#include "DesktopProbe.h"
#include "platform/x11/X11PointerControl.h"

using lumivex::capture::TAreaForm;

namespace {

class AreaOnDesktop : public ::testing::Test {
 protected:
  void SetUp() override {
    pointer = lumivex::platform::createX11PointerControl();
    ASSERT_TRUE(pointer) << "not on X11";
    QScreen* screen = QGuiApplication::primaryScreen();
    screenRect =
        QRect(screen->geometry().topLeft(), screen->geometry().size() * screen->devicePixelRatio());
    if (qEnvironmentVariable("QT_SCALE_FACTOR") == QLatin1String("2")) {
      ASSERT_EQ(screen->devicePixelRatio(), 2);
    }
    picture = areaTestPicture(screenRect.size());
  }

  // Opens the overlay and, once it has the keyboard, plays `input` on it like a user would.
  std::optional<QImage> select(const QStringList& input) {
    bool gaveUp = false;
    QTimer::singleShot(0, [&] {
      const bool ready = runEventsUntil([] {
        auto* form = qobject_cast<TAreaForm*>(QApplication::activeWindow());
        return form && form->hasFocus();
      });
      EXPECT_TRUE(ready) << "the overlay never became the active window";
      // The first paint may still be on its way to the display.
      runEventsUntil(
          [&] {
            shownOnScreen =
                QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(
                    QImage::Format_RGB32);
            return shownOnScreen == picture;
          },
          2000);
      EXPECT_TRUE(probe::xdotool(input));
    });
    QTimer safety;  // a selection that never ends must not hang the suite
    safety.setSingleShot(true);
    QObject::connect(&safety, &QTimer::timeout, [&] {
      gaveUp = true;
      for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<TAreaForm*>(w)) w->close();
    });
    safety.start(15000);
    std::optional<QImage> area = TAreaForm::SelectArea(picture, screenRect, *pointer);
    EXPECT_FALSE(gaveUp) << "the overlay did not end by itself";
    return area;
  }

  static QStringList drag(QPoint from, QPoint to) {
    const QPoint middle = (from + to) / 2;
    return {"mousemove",
            QString::number(from.x()),
            QString::number(from.y()),
            "mousedown",
            "1",
            "mousemove",
            QString::number(middle.x()),
            QString::number(middle.y()),
            "mousemove",
            QString::number(to.x()),
            QString::number(to.y()),
            "mouseup",
            "1"};
  }

  std::unique_ptr<lumivex::platform::PointerControl> pointer;
  QRect screenRect;
  QImage picture;
  QImage shownOnScreen;  // the display while the last overlay waited for input
};

TEST_F(AreaOnDesktop, DraggedAreaIsTheFrozenPictureInsideTheFrame) {
  const std::optional<QImage> upward = select(drag({1201, 701}, {301, 201}));
  const std::optional<QImage> downward = select(drag({301, 201}, {1201, 701}));
  // The frozen picture covers the primary screen, one picture pixel per device pixel.
  EXPECT_EQ(shownOnScreen, picture);
  ASSERT_TRUE(upward && downward);
  EXPECT_EQ(*upward, picture.copy(302, 202, 899, 499));
  EXPECT_EQ(*downward, *upward);
  // The narrowest frame with an interior: three pixels wide, one column inside.
  EXPECT_EQ(select(drag({601, 401}, {603, 455})), picture.copy(602, 402, 1, 53));
}

TEST_F(AreaOnDesktop, EscapeClickAndThinFramesGiveNoPicture) {
  EXPECT_FALSE(select({"key", "Escape"}));
  EXPECT_FALSE(select({"mousemove", "500", "500", "mousedown", "1", "mousemove", "700", "600",
                       "key", "Escape", "mouseup", "1"}))
      << "Escape during a drag";
  EXPECT_FALSE(select({"mousemove", "500", "500", "click", "1"}));
  EXPECT_FALSE(select(drag({500, 500}, {501, 800}))) << "a frame two pixels wide";
}

}  // namespace
