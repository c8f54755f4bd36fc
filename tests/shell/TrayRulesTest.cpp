#include "shell/TrayIcon.h"

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QElapsedTimer>
#include <QProcess>

#include <csignal>

using lumivex::shell::DesktopNotifier;
using lumivex::shell::TTrayIcon;

TEST(TrayRules, CutKeepsAtMostTheLimitAndNeverHalfACharacter) {
  EXPECT_EQ(TTrayIcon::CutText(QString(200, 'h'), 127), QString(127, 'h'));
  EXPECT_EQ(TTrayIcon::CutText("short", 127), "short");
  const QString emoji = QString::fromUtf8("\xF0\x9F\x93\xB7");  // two UTF-16 units
  const QString text = QString(62, 'a') + emoji;
  EXPECT_EQ(TTrayIcon::CutText(text, 63), QString(62, 'a'));
  EXPECT_EQ(TTrayIcon::CutText(text, 64), text);
}

TEST(TrayRules, IconIndexClampsToTheLastPicture) {
  TTrayIcon tray;
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
  TTrayIcon tray;
  tray.SetHint(QString(200, 'x'));
  EXPECT_EQ(tray.Hint().size(), 200);  // the hint itself is kept whole
  EXPECT_EQ(tray.TrayIcon().toolTip(), QString(127, 'x'));
  tray.SetShowHint(false);
  EXPECT_EQ(tray.TrayIcon().toolTip(), QString());
  tray.SetShowHint(true);
  tray.SetHint(QString());
  EXPECT_EQ(tray.TrayIcon().toolTip(), QString());
}

// A session bus that stops answering (a hung daemon) holds the GUI thread no longer than the
// notifier's call bound: no service is reported and the notice falls back.
TEST(TrayNotices, AHungBusHoldsTheCallerOnlyForTheCallBound) {
  QProcess daemon;
  daemon.start(QStringLiteral("dbus-daemon"),
               {"--session", "--nofork", "--nopidfile", "--print-address"});
  ASSERT_TRUE(daemon.waitForReadyRead(5000));
  const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
  const QString name = QStringLiteral("hung-bus");
  {
    DesktopNotifier notifier(QDBusConnection::connectToBus(address, name));
    ASSERT_TRUE(QDBusConnection(name).isConnected());
    ::kill(pid_t(daemon.processId()), SIGSTOP);
    QElapsedTimer held;
    held.start();
    EXPECT_FALSE(notifier.available());
    EXPECT_FALSE(notifier.notify(QStringLiteral("title"), QStringLiteral("text"), 1, 1000));
    EXPECT_LT(held.elapsed(), 10000);
    ::kill(pid_t(daemon.processId()), SIGCONT);
  }
  QDBusConnection::disconnectFromBus(name);
  daemon.kill();
  daemon.waitForFinished(3000);
}
