// The area overlay on Qt's offscreen platform, driven with mouse and key events; the suite runs
// at scale 1 and under QT_SCALE_FACTOR=2, where every position below is in device pixels.
#include "capture/TAreaForm.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>

#include <memory>

#include "AreaPicture.h"
#include "platform/FakePointerControl.h"

using lumivex::capture::TAreaForm;
using lumivex::platform::FakePointerControl;

namespace {

class AreaOverlay : public ::testing::Test {
 protected:
  void SetUp() override {
    QScreen* screen = QGuiApplication::primaryScreen();
    ratio = screen->devicePixelRatio();
    if (qEnvironmentVariable("QT_SCALE_FACTOR") == QLatin1String("2")) {
      ASSERT_EQ(ratio, 2);
    }
    screenRect = QRect(screen->geometry().topLeft(), screen->geometry().size() * ratio);
    picture = areaTestPicture(screenRect.size());
  }

  std::unique_ptr<TAreaForm> openForm() {
    auto form = std::make_unique<TAreaForm>(picture, screenRect, pointer);
    form->showOverScreen();
    return form;
  }

  // A mouse event at a device pixel of the overlay.
  void mouse(TAreaForm& form, QEvent::Type type, QPoint at, Qt::MouseButton button,
             Qt::MouseButtons held) {
    const QPointF local = QPointF(at) / ratio;
    QMouseEvent event(type, local, form.mapToGlobal(local), button, held, Qt::NoModifier);
    QApplication::sendEvent(&form, &event);
  }
  void press(TAreaForm& form, QPoint at, Qt::MouseButton button = Qt::LeftButton) {
    mouse(form, QEvent::MouseButtonPress, at, button, button);
  }
  void moveHeld(TAreaForm& form, QPoint at, Qt::MouseButton button = Qt::LeftButton) {
    mouse(form, QEvent::MouseMove, at, Qt::NoButton, button);
  }
  void release(TAreaForm& form, QPoint at, Qt::MouseButton button = Qt::LeftButton) {
    mouse(form, QEvent::MouseButtonRelease, at, button, Qt::NoButton);
  }
  void escape(TAreaForm& form) {
    QKeyEvent event(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&form, &event);
  }

  std::optional<QImage> drag(QPoint from, QPoint to, Qt::MouseButton button = Qt::LeftButton) {
    auto form = openForm();
    press(*form, from, button);
    moveHeld(*form, (from + to) / 2, button);
    moveHeld(*form, to, button);
    release(*form, to, button);
    EXPECT_TRUE(form->isFinished());
    return form->ResultBitmap();
  }

  // What the overlay shows, in device pixels.
  static QImage shown(TAreaForm& form) {
    return form.grab().toImage().convertToFormat(QImage::Format_RGB32);
  }

  qreal ratio = 1;
  QRect screenRect;
  QImage picture;
  FakePointerControl pointer;
};

// Drag directions, clicks, thin frames and Escape run on the test desktop too; here the right
// button, and the overlay's state after a cancel in the middle of a drag.
TEST_F(AreaOverlay, RightButtonAndEscapeDuringADragGiveNoPicture) {
  // The right button starts and ends a selection, but only the left one moves the frame.
  EXPECT_FALSE(drag({100, 100}, {300, 300}, Qt::RightButton));
  EXPECT_FALSE(drag({200, 200}, {300, 201})) << "a frame two pixels high";

  auto form = openForm();
  press(*form, {100, 100});
  moveHeld(*form, {300, 300});
  escape(*form);
  EXPECT_TRUE(form->isFinished());
  EXPECT_FALSE(pointer.confinedTo());
  release(*form, {300, 300});
  EXPECT_FALSE(form->ResultBitmap());
}

TEST_F(AreaOverlay, PointerStaysConfinedWhileAButtonIsHeld) {
  auto form = openForm();
  EXPECT_FALSE(pointer.confinedTo());
  press(*form, {100, 100});
  EXPECT_EQ(pointer.confinedTo(), form->windowHandle());
  moveHeld(*form, {300, 200});
  release(*form, {300, 200});
  EXPECT_FALSE(pointer.confinedTo());

  // Another program holds the pointer: the selection still works, unconfined.
  pointer.refuse();
  EXPECT_EQ(drag({10, 10}, {20, 20}), picture.copy(11, 11, 9, 9));
}

TEST_F(AreaOverlay, DottedFrameIsDrawnOverThePictureAndMovesTwoPixelsPerTick) {
  auto form = openForm();
  const QPoint anchor(120, 80), corner(360, 240);
  press(*form, anchor);
  moveHeld(*form, corner);
  // The top edge as drawn, from the anchor along the drag.
  auto topEdge = [&](const QImage& image) {
    QList<QRgb> dots;
    for (int x = anchor.x(); x < corner.x(); ++x) dots.append(image.pixel(x, anchor.y()));
    return dots;
  };
  const QImage first = shown(*form);
  const QList<QRgb> phase0 = topEdge(first);
  // Five black dots, then three white, over and over, on around the corner.
  auto dot = [](int i) { return i % 8 < 5 ? qRgb(0, 0, 0) : qRgb(255, 255, 255); };
  for (int i = 0; i < phase0.size(); ++i) ASSERT_EQ(phase0[i], dot(i)) << "dot " << i;
  for (int i = 0; i < 8; ++i)
    ASSERT_EQ(first.pixel(corner.x(), anchor.y() + i), dot(240 + i)) << "dot " << 240 + i;
  // Inside and outside the frame the picture shows unchanged, one pixel per device pixel.
  EXPECT_EQ(first.copy(anchor.x() + 1, anchor.y() + 1, 239, 159),
            picture.copy(anchor.x() + 1, anchor.y() + 1, 239, 159));
  EXPECT_EQ(first.copy(0, 0, 400, anchor.y()), picture.copy(0, 0, 400, anchor.y()));

  // Each tick the dots advance two pixels along the outline; after four ticks all is as before.
  form->Timer1Timer();
  const QList<QRgb> phase1 = topEdge(shown(*form));
  EXPECT_EQ(phase1.mid(2), phase0.mid(0, phase0.size() - 2));
  for (int tick = 2; tick <= 4; ++tick) form->Timer1Timer();
  EXPECT_EQ(topEdge(shown(*form)), phase0);
}

TEST_F(AreaOverlay, NestedSelectionEndsFirstAndKeepsItsOwnResult) {
  // While the user drags on the overlay, a hotkey opens a second overlay on top (a timer stands
  // in for the hotkey); it is cancelled, and the drag below goes on.
  auto topForm = [] { return qobject_cast<TAreaForm*>(QApplication::activeModalWidget()); };
  std::optional<QImage> inner = picture;
  QTimer::singleShot(0, [&] {
    TAreaForm* outer = topForm();
    ASSERT_TRUE(outer);
    press(*outer, {10, 10});
    QTimer::singleShot(0, [&, outer] {
      ASSERT_NE(topForm(), outer);
      escape(*topForm());
      QTimer::singleShot(0, [&, outer] {
        ASSERT_EQ(topForm(), outer);
        EXPECT_EQ(pointer.confinedTo(), outer->windowHandle()) << "the inner overlay freed it";
        moveHeld(*outer, {40, 30});
        release(*outer, {40, 30});
      });
    });
    inner = TAreaForm::SelectArea(picture, screenRect, pointer);
  });
  QTimer safety;  // a fault must not hang the suite
  safety.setSingleShot(true);
  QObject::connect(&safety, &QTimer::timeout, [] {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (qobject_cast<TAreaForm*>(w)) w->close();
  });
  safety.start(10000);
  const std::optional<QImage> outer = TAreaForm::SelectArea(picture, screenRect, pointer);
  EXPECT_FALSE(inner);
  EXPECT_EQ(outer, picture.copy(11, 11, 29, 19));
}

}  // namespace
