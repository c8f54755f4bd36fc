#include "platform/FakeNoticeService.h"
#include "shell/TrayIcon.h"

#include <gtest/gtest.h>

using lumivex::platform::FakeNoticeService;
using lumivex::shell::TTrayIcon;
using Way = FakeNoticeService::Way;

TEST(TrayRules, CutKeepsAtMostTheLimitAndNeverHalfACharacter) {
  EXPECT_EQ(TTrayIcon::CutText(QString(200, 'h'), 127), QString(127, 'h'));
  EXPECT_EQ(TTrayIcon::CutText("short", 127), "short");
  const QString emoji = QString::fromUtf8("\xF0\x9F\x93\xB7");  // two UTF-16 units
  const QString text = QString(62, 'a') + emoji;
  EXPECT_EQ(TTrayIcon::CutText(text, 63), QString(62, 'a'));
  EXPECT_EQ(TTrayIcon::CutText(text, 64), text);
}

TEST(TrayRules, IconIndexClampsToTheLastPicture) {
  FakeNoticeService notices;
  TTrayIcon tray(notices);
  tray.SetIconIndex(1);  // no list yet: nothing changes
  EXPECT_EQ(tray.IconIndex(), 0);
  const QList<QIcon> pictures = TTrayIcon::StoragePictures();
  ASSERT_EQ(pictures.size(), 2);
  ASSERT_FALSE(pictures[0].isNull());
  ASSERT_FALSE(pictures[1].isNull());
  tray.SetIconList(pictures);
  EXPECT_EQ(tray.Icon().cacheKey(), pictures[0].cacheKey());
  tray.SetIconIndex(7);
  EXPECT_EQ(tray.IconIndex(), 1);
  EXPECT_EQ(tray.Icon().cacheKey(), pictures[1].cacheKey());
  EXPECT_EQ(tray.TrayIcon().icon().cacheKey(), pictures[1].cacheKey());
  tray.SetIconIndex(0);
  EXPECT_EQ(tray.TrayIcon().icon().cacheKey(), pictures[0].cacheKey());
}

TEST(TrayRules, PicturesAreToldApartByColour) {
  const QList<QIcon> pictures = TTrayIcon::StoragePictures();
  for (int size : {16, 22, 32, 48}) {
    const QImage file = pictures[0].pixmap(size, size).toImage();
    const QImage clip = pictures[1].pixmap(size, size).toImage();
    ASSERT_EQ(file.size(), QSize(size, size));
    long redFile = 0, redClip = 0, blueFile = 0;
    for (int y = 0; y < size; ++y)
      for (int x = 0; x < size; ++x) {
        const QColor f = file.pixelColor(x, y), c = clip.pixelColor(x, y);
        if (f.alpha() > 128 && f.red() > f.blue() + 60) ++redFile;
        if (f.alpha() > 128 && f.blue() > f.red() + 60) ++blueFile;
        if (c.alpha() > 128 && c.red() > c.blue() + 60) ++redClip;
      }
    EXPECT_EQ(redFile, 0) << size;
    EXPECT_GT(blueFile, 0) << size;
    EXPECT_GT(redClip, size * size / 4) << size;
  }
}

TEST(TrayRules, HintIsCutAndHiddenWhenEmptyOrSwitchedOff) {
  FakeNoticeService notices;
  TTrayIcon tray(notices);
  tray.SetHint(QString(200, 'x'));
  EXPECT_EQ(tray.Hint().size(), 200);  // the hint itself is kept whole
  EXPECT_EQ(tray.TrayIcon().toolTip(), QString(127, 'x'));
  tray.SetShowHint(false);
  EXPECT_EQ(tray.TrayIcon().toolTip(), QString());
  tray.SetShowHint(true);
  tray.SetHint(QString());
  EXPECT_EQ(tray.TrayIcon().toolTip(), QString());
}

// A notice goes to the notification service first; the balloon is the fallback, and only while
// the icon is in the tray. Both get the cut texts.
TEST(TrayRules, NoticeTakesTheServiceThenTheBalloonOfAVisibleIcon) {
  FakeNoticeService notices;
  TTrayIcon tray(notices);
  ASSERT_TRUE(tray.ShowBalloonNotice(QString(70, 't'), QString(300, 'b'), 2, 5));
  notices.acceptsNotices = false;
  EXPECT_FALSE(tray.ShowBalloonNotice("hidden icon", "no balloon", 1, 5));
  tray.HideToTray();
  ASSERT_TRUE(tray.ShowBalloonNotice("balloon", "text", 3, 7));
  notices.balloons = false;
  EXPECT_FALSE(tray.ShowBalloonNotice("no tray", "text", 1, 5));
  ASSERT_EQ(notices.notices.size(), 2);
  EXPECT_EQ(notices.notices[0].way, Way::Notification);
  EXPECT_EQ(notices.notices[0].title, QString(63, 't'));
  EXPECT_EQ(notices.notices[0].text, QString(255, 'b'));
  EXPECT_EQ(notices.notices[0].timeoutMs, 5000);
  EXPECT_EQ(notices.notices[1].way, Way::Balloon);
  EXPECT_EQ(notices.notices[1].iconKind, 3);
  EXPECT_EQ(notices.notices[1].timeoutMs, 7000);
}
