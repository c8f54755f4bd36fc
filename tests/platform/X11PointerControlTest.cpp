// The pointer confinement on the test desktop: XTEST moves cannot leave the window while it holds.
#include "EventLoop.h"
#include "platform/x11/X11PointerControl.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QWidget>
#include <QWindow>

#include "DesktopProbe.h"

using namespace lumivex::platform;

namespace {

QPoint pointerAfterMovingTo(QPoint target) {
  EXPECT_TRUE(
      probe::xdotool({"mousemove", QString::number(target.x()), QString::number(target.y())}));
  const QString where = probe::run(QStringLiteral("xdotool"), {"getmouselocation", "--shell"});
  static const QRegularExpression coordinates(QStringLiteral("X=(\\d+)\\nY=(\\d+)"));
  const auto m = coordinates.match(where);
  return m.hasMatch() ? QPoint(m.captured(1).toInt(), m.captured(2).toInt()) : QPoint(-1, -1);
}

TEST(X11PointerControl, PointerStaysInsideTheWindowUntilReleased) {
  std::unique_ptr<PointerControl> confinement = createX11PointerControl();
  ASSERT_TRUE(confinement) << "not on X11";
  QWidget window(nullptr, Qt::FramelessWindowHint);
  window.setGeometry(300, 200, 240, 160);
  window.show();
  ASSERT_TRUE(runEventsUntil([&] { return window.windowHandle()->isExposed(); }));
  const QRect area(window.mapToGlobal(QPoint(0, 0)), window.size());
  pointerAfterMovingTo(area.center());

  ASSERT_TRUE(confinement->confineTo(*window.windowHandle()));
  EXPECT_EQ(pointerAfterMovingTo({1500, 900}), area.bottomRight());
  EXPECT_EQ(pointerAfterMovingTo({5, 5}), area.topLeft());

  confinement->release();
  EXPECT_EQ(pointerAfterMovingTo({1500, 900}), QPoint(1500, 900));
}

}  // namespace
