// The tray component in a real tray host with a recording notification service.
#include "DesktopProbe.h"
#include "platform/dbus/DesktopNoticeService.h"
#include "shell/TrayIcon.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QJsonArray>
#include <QMenu>
#include <QScreen>

#include <algorithm>
#include <cstdlib>
#include <memory>

using lumivex::shell::TTrayIcon;

namespace {

class TrayDesktop : public ::testing::Test {
 protected:
  void SetUp() override {
    menu = std::make_unique<QMenu>();
    menu->addAction(QStringLiteral("Options..."));
    menu->addAction(QStringLiteral("Exit"));
    tray = std::make_unique<TTrayIcon>(notices);
    tray->SetIconList(TTrayIcon::StoragePictures());
    tray->SetHint(QStringLiteral("Lumivex"));
    tray->SetPopupMenu(menu.get());
    tray->HideToTray();
    ASSERT_TRUE(runEventsUntil([&] { return embedded(); })) << "icon never reached the tray";
  }
  void TearDown() override {
    menu->hide();
    tray.reset();
  }

  bool embedded() const { return probe::embeddedTrayIcon() != 0; }

  bool clickIcon(const QStringList& clickArgs) {
    // A round trip to the X server: a pointer grab our menu released is gone before the click.
    QCursor::pos();
    const QPoint centre = tray->TrayIcon().geometry().center();
    return probe::xdotool(
               {"mousemove", QString::number(centre.x()), QString::number(centre.y())}) &&
           probe::xdotool(QStringList{"click"} + clickArgs);
  }

  void menuOpensOnPress(const char* button) {
    ASSERT_TRUE(clickIcon({button}));
    ASSERT_TRUE(runEventsUntil([&] { return menu->isVisible(); }));
    // As near the pointer as the work area allows: the panel's strip may lie between them.
    const QRect at = menu->geometry();
    const QPoint pointer = QCursor::pos();
    const int panel =
        menu->screen()->geometry().bottom() - menu->screen()->availableGeometry().bottom();
    const int dx = std::max({at.left() - pointer.x(), 0, pointer.x() - at.right()});
    const int dy = std::max({at.top() - pointer.y(), 0, pointer.y() - at.bottom()});
    EXPECT_LE(dx, 1);
    EXPECT_LE(dy, panel + 1);
    EXPECT_TRUE(menu->screen()->availableGeometry().contains(at));
  }

  std::unique_ptr<QMenu> menu;
  lumivex::platform::DesktopNoticeService notices;
  std::unique_ptr<TTrayIcon> tray;
};

TEST_F(TrayDesktop, NoticesGoToTheNotificationServiceCutAndReplacing) {
  const qsizetype before = probe::notices().size();
  EXPECT_TRUE(tray->ShowBalloonNotice(QString(100, 't'), QString(300, 'b'), 1, 60));
  EXPECT_TRUE(tray->ShowBalloonNotice(QStringLiteral("New storage mode."),
                                      QStringLiteral("Capture to clipboard."), 2, 15));
  const QList<QJsonObject> all = probe::notices();
  ASSERT_EQ(all.size(), before + 2);
  const QJsonObject first = all[before], second = all[before + 1];
  EXPECT_EQ(first["app"].toString(), "Lumivex");
  EXPECT_EQ(first["summary"].toString(), QString(63, 't'));
  EXPECT_EQ(first["body"].toString(), QString(255, 'b'));
  EXPECT_EQ(first["icon"].toString(), "dialog-information");
  EXPECT_EQ(first["timeout"].toInt(), 60000);
  EXPECT_TRUE(first["hints"].toArray().contains(QStringLiteral("urgency")));
  EXPECT_EQ(second["summary"].toString(), "New storage mode.");
  EXPECT_EQ(second["body"].toString(), "Capture to clipboard.");
  EXPECT_EQ(second["icon"].toString(), "dialog-warning");
  EXPECT_EQ(second["timeout"].toInt(), 15000);
  // The second notice replaces the first at once.
  EXPECT_EQ(second["replaces"].toInt(), first["id"].toInt());
}

TEST_F(TrayDesktop, LeftPressOpensTheMenuAtThePointer) { menuOpensOnPress("1"); }

TEST_F(TrayDesktop, RightPressOpensTheMenuAtThePointer) { menuOpensOnPress("3"); }

TEST_F(TrayDesktop, DoubleClickRaisesOnDblClickOnceAndLeavesNoMenu) {
  int doubleClicks = 0;
  QObject::connect(tray.get(), &TTrayIcon::OnDblClick, [&] { ++doubleClicks; });
  // The second press lands on the open menu, or on the icon before the menu is up.
  for (const char* delay : {"80", "5"}) {
    doubleClicks = 0;
    ASSERT_TRUE(clickIcon({"--repeat", "2", "--delay", delay, "1"}));
    ASSERT_TRUE(runEventsUntil([&] { return doubleClicks >= 1; })) << delay;
    runEventsUntil([] { return false; }, 300);  // a late second event would show here
    EXPECT_EQ(doubleClicks, 1) << delay;
    EXPECT_FALSE(menu->isVisible()) << delay;
    runEventsUntil([] { return false; }, 500);  // the next click is no double click
  }
}

TEST_F(TrayDesktop, IconReturnsWithPictureAndTooltipAfterTheTrayHostRestarts) {
  tray->SetIconIndex(1);
  tray->SetHint(QStringLiteral("Upload running"));
  ASSERT_TRUE(probe::session(QStringLiteral("restart-tray")));
  ASSERT_TRUE(runEventsUntil([&] { return embedded(); }, 10000)) << "icon did not return";
  EXPECT_EQ(tray->TrayIcon().icon().pixmap(16).toImage(),
            TTrayIcon::StoragePictures()[1].pixmap(16).toImage());
  EXPECT_EQ(tray->TrayIcon().toolTip(), "Upload running");
  ASSERT_TRUE(clickIcon({"3"}));
  EXPECT_TRUE(runEventsUntil([&] { return menu->isVisible(); }));
}

TEST_F(TrayDesktop, IconLeavesTheTrayAtOnceWhenDestroyed) {
  const quint64 icon = probe::embeddedTrayIcon();
  ASSERT_NE(icon, 0u);
  tray.reset();
  EXPECT_TRUE(runEventsUntil([&] { return !probe::insideTrayHost(icon); }, 2000));
}

}  // namespace
