// Notices where the desktop has no notification service: Qt's own balloon on the tray icon, and
// message boxes when there is no tray either (the old-shell case).
#include "DesktopProbe.h"
#include "TempDir.h"
#include "TestEnvironment.h"
#include "app/THidForm.h"
#include "settings/SettingsFile.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QTimer>

#include <memory>

using namespace lumivex;
using shell::TTrayIcon;

namespace {

QWidget* visibleTopLevel(const char* className) {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (QByteArray(w->metaObject()->className()) == className && w->isVisible()) return w;
  return nullptr;
}

TEST(NoNotificationService, TrayBalloonIsTheFallbackAndIsCut) {
  platform::DesktopNoticeService notices;
  EXPECT_FALSE(notices.isOldShell());
  TTrayIcon tray(notices);
  tray.SetIconList(TTrayIcon::StoragePictures());
  tray.HideToTray();
  ASSERT_TRUE(runEventsUntil([] { return probe::embeddedTrayIcon() != 0; }));
  ASSERT_TRUE(tray.ShowBalloonNotice(QString(100, 't'), QString(300, 'b'), 2, 5));
  QWidget* balloon = nullptr;
  ASSERT_TRUE(runEventsUntil([&] { return (balloon = visibleTopLevel("QBalloonTip")); }));
  QStringList texts;
  for (QLabel* label : balloon->findChildren<QLabel*>()) texts << label->text();
  EXPECT_TRUE(texts.contains(QString(63, 't'))) << texts.join('|').toStdString();
  EXPECT_TRUE(texts.contains(QString(255, 'b'))) << texts.join('|').toStdString();
  EXPECT_TRUE(probe::notices().isEmpty());
}

TEST(OldShell, NoticesAreMessageBoxesWhenThereIsNeitherTrayNorNotifications) {
  EXPECT_TRUE(platform::DesktopNoticeService().isOldShell());
  TempDir dir;
  platform::FakeUserEnvironment env = environmentIn(dir);
  RecordingErrorReporter errors;
  QStringList boxes;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      boxes << box->windowTitle() + "|" + box->text();
      box->accept();
    }
  });
  closer.start(20);
  DesktopPlatform desktop;
  THidForm form(
      formServices(env, errors, QString::fromStdString((dir.path / "lang.txt").string()), desktop));
  EXPECT_TRUE(form.oldShellSystem());
  ASSERT_TRUE(runEventsUntil([&] { return boxes.size() == 1; }));
  EXPECT_EQ(boxes[0],
            "Hotkey to caputre...|Full screen - Shift+F1\r\nScreen area - Shift+F2\r\n"
            "Active window - Shift+F3\r\nTimed capture - Shift+F4\r\n"
            "Switch storage mode - Ctrl+F5\r\n------------\r\nCapture to file.");
  ASSERT_TRUE(probe::xdotool({"key", "ctrl+F5"}));
  ASSERT_TRUE(runEventsUntil([&] { return boxes.size() == 2; }));
  EXPECT_EQ(boxes[1], "Lumivex|Capture to clipboard.");
  EXPECT_TRUE(errors.errors.isEmpty());
}

// Hotkeys stay live in the modal loop of a notice box, which holds the keyboard focus.
TEST(OldShell, HotkeyPressedWhileANoticeBoxIsOpenShowsItsOwnBox) {
  TempDir dir;
  platform::FakeUserEnvironment env = environmentIn(dir);
  RecordingErrorReporter errors;
  QList<QMessageBox*> seen;
  QStringList boxes;
  QElapsedTimer sincePress;
  QProcess presser;
  QTimer watcher;
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    if (!seen.contains(box)) {
      seen << box;
      boxes << box->windowTitle() + "|" + box->text();
      QObject::connect(box, &QObject::destroyed, [&seen, box] { seen.removeAll(box); });
    }
    // The overview box stays open and focused while the storage-mode hotkey is pressed.
    if (boxes.size() == 1) {
      if (!sincePress.isValid()) {
        sincePress.start();
        // Not waited for here: the nested box must be able to open while this slot is idle.
        presser.start(QStringLiteral("xdotool"), {"windowactivate", "--sync",
                                                  QString::number(box->winId()), "key", "ctrl+F5"});
      }
      if (sincePress.elapsed() < 3000) return;
    }
    box->accept();
  });
  watcher.start(20);
  DesktopPlatform desktop;
  THidForm form(
      formServices(env, errors, QString::fromStdString((dir.path / "lang.txt").string()), desktop));
  ASSERT_TRUE(runEventsUntil([&] { return boxes.size() == 2 && seen.isEmpty(); }));
  EXPECT_TRUE(boxes[0].startsWith("Hotkey to caputre...|Full screen - Shift+F1\r\n"));
  EXPECT_EQ(boxes[1], "Lumivex|Capture to clipboard.");
  EXPECT_TRUE(errors.errors.isEmpty());
  presser.waitForFinished(3000);
}

}  // namespace
