// Real passive grabs in the test desktop, driven by XTEST key presses (xdotool).
#include "EventLoop.h"
#include "platform/x11/X11HotkeyBackend.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QKeyEvent>
#include <QMenu>
#include <QProcess>
#include <QThread>
#include <QWidget>

#include <functional>
#include <memory>

using namespace lumivex::platform;

namespace {

constexpr unsigned kF1 = 0x70, kF2 = 0x71, kF3 = 0x72, kF5 = 0x74;

bool xdotool(const QStringList& args) {
  return QProcess::execute(QStringLiteral("xdotool"), args) == 0;
}

struct Press {
  int id;
  unsigned modifiers, virtualKey;
  bool operator==(const Press&) const = default;
};

class X11Hotkeys : public ::testing::Test {
 protected:
  void SetUp() override {
    backend = createX11HotkeyBackend();
    ASSERT_TRUE(backend) << "not on X11";
    const auto record = [this](int id, unsigned m, unsigned vk) { presses.push_back({id, m, vk}); };
    backend->setPressedHandler(record);
  }
  // Presses a key as the user would and waits for the event loop to have seen it.
  void key(const QString& combination) {
    ASSERT_TRUE(xdotool({"key", combination}));
    // A marker press of our own grab tells when everything before it has arrived.
    const size_t before = presses.size();
    ASSERT_TRUE(backend->registerHotKey(999, kModControl | kModAlt | kModShift, 0x7B));
    ASSERT_TRUE(xdotool({"key", "ctrl+alt+shift+F12"}));
    const bool seen =
        runEventsUntil([&] { return presses.size() > before && presses.back().id == 999; });
    backend->unregisterHotKey(999);
    ASSERT_TRUE(seen);
    presses.pop_back();
  }

  std::unique_ptr<HotkeyBackend> backend;
  std::vector<Press> presses;
};

TEST_F(X11Hotkeys, GrabbedCombinationsArriveWhateverTheLockState) {
  ASSERT_TRUE(backend->registerHotKey(1, kModShift, kF1));
  ASSERT_TRUE(backend->registerHotKey(5, kModControl, kF5));
  key("shift+F1");
  key("F1");  // without Shift: not ours
  key("ctrl+F5");
  key("ctrl+shift+F5");  // an extra modifier is another combination
  EXPECT_EQ(presses, (std::vector<Press>{{1, kModShift, kF1}, {5, kModControl, kF5}}));

  presses.clear();
  for (const char* lock : {"Caps_Lock", "Num_Lock"}) {
    ASSERT_TRUE(xdotool({"key", lock}));
    key("shift+F1");
  }
  ASSERT_TRUE(xdotool({"key", "Caps_Lock"}));
  key("ctrl+F5");  // Num Lock alone
  ASSERT_TRUE(xdotool({"key", "Num_Lock"}));
  EXPECT_EQ(presses,
            (std::vector<Press>{{1, kModShift, kF1}, {1, kModShift, kF1}, {5, kModControl, kF5}}));

  presses.clear();
  backend->unregisterHotKey(1);
  key("shift+F1");
  EXPECT_TRUE(presses.empty());
}

// The options dialog or a message box of our own may hold the focus: the combination is still a
// hotkey, not a key press for that window.
TEST_F(X11Hotkeys, CombinationsArriveWhileAWindowOfOursHasTheFocus) {
  QWidget window;
  window.setWindowTitle(QStringLiteral("own window"));
  int keysSeenByWindow = 0;
  struct KeyCounter : QObject {
    int& count;
    explicit KeyCounter(int& c) : count(c) {}
    bool eventFilter(QObject*, QEvent* e) override {
      // The modifiers reach the focused window first, as they do without any grab.
      if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(e)->key() >= Qt::Key_F1 &&
          static_cast<QKeyEvent*>(e)->key() <= Qt::Key_F35)
        ++count;
      return false;
    }
  } counter(keysSeenByWindow);
  window.installEventFilter(&counter);
  window.show();
  ASSERT_TRUE(xdotool({"windowactivate", "--sync", QString::number(window.winId())}));
  ASSERT_TRUE(runEventsUntil([&] { return window.isActiveWindow(); }));

  ASSERT_TRUE(backend->registerHotKey(1, kModShift, kF1));
  key("shift+F1");
  EXPECT_EQ(presses, (std::vector<Press>{{1, kModShift, kF1}}));
  EXPECT_EQ(keysSeenByWindow, 0);
}

// An open menu of ours holds the whole keyboard; hotkeys still come first, as they do elsewhere.
TEST_F(X11Hotkeys, CombinationsArriveWhileAMenuOfOursHoldsTheKeyboard) {
  QMenu menu;
  menu.addAction(QStringLiteral("Options..."));
  menu.popup(QPoint(100, 100));
  ASSERT_TRUE(runEventsUntil([&] { return menu.isVisible(); }));
  runEventsUntil([] { return false; }, 200);  // the menu's grab is in place

  ASSERT_TRUE(backend->registerHotKey(1, kModShift, kF1));
  key("shift+F1");
  EXPECT_EQ(presses, (std::vector<Press>{{1, kModShift, kF1}}));
  menu.hide();
}

TEST_F(X11Hotkeys, AnotherClientsGrabIsRefusedAndTheOthersStillWork) {
  QProcess holder;
  holder.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(GRAB_KEY_SCRIPT), "F2", "1"});
  ASSERT_TRUE(runEventsUntil(
      [&] { return holder.canReadLine() || holder.state() == QProcess::NotRunning; }));
  ASSERT_EQ(holder.readLine().trimmed(), "held");

  EXPECT_FALSE(backend->registerHotKey(2, kModShift, kF2));
  EXPECT_TRUE(backend->registerHotKey(3, kModShift, kF3));
  key("shift+F3");
  key("shift+F2");
  EXPECT_EQ(presses, (std::vector<Press>{{3, kModShift, kF3}}));

  holder.closeWriteChannel();
  if (!holder.waitForFinished(3000)) holder.kill();
  holder.waitForFinished(1000);
  // Nothing of the refused attempt is left behind: once free, the combination can be taken.
  EXPECT_TRUE(backend->registerHotKey(2, kModShift, kF2));
}

TEST_F(X11Hotkeys, OneCombinationIsRegisteredOnceAndUnknownKeysAreRefused) {
  EXPECT_TRUE(backend->registerHotKey(1, kModShift, kF1));
  EXPECT_FALSE(backend->registerHotKey(2, kModShift, kF1));
  EXPECT_FALSE(backend->registerHotKey(1, kModShift, kF2));  // the id is taken
  EXPECT_FALSE(backend->registerHotKey(3, kModShift, 0x07));
  backend->unregisterHotKey(1);
  EXPECT_TRUE(backend->registerHotKey(2, kModShift, kF1));
}

TEST_F(X11Hotkeys, KeyNamesFollowTheLayoutWhenLocalized) {
  EXPECT_EQ(backend->keyName(0x41, true), "A");
  EXPECT_EQ(backend->keyName(kF1, true), "F1");
  EXPECT_EQ(backend->keyName(0xBA, true), ";");  // US layout
  EXPECT_EQ(backend->keyName(0x21, false), "Page Up");
  EXPECT_FALSE(backend->keyName(0x21, true).isEmpty());
  EXPECT_TRUE(backend->keyName(0x07, true).isEmpty());
}

}  // namespace

namespace {

TEST_F(X11Hotkeys, ANewKeyboardLayoutMovesTheGrabsWithTheKeys) {
  ASSERT_TRUE(backend->registerHotKey(7, kModControl, 0x51));  // Ctrl+Q
  key("ctrl+q");
  ASSERT_TRUE(xdotool({"key", "--clearmodifiers", "ctrl+q"}));
  ASSERT_EQ(QProcess::execute(QStringLiteral("setxkbmap"), {"fr"}), 0);
  // The digit 1 lies under "&" on AZERTY: seen once the backend has read the new map.
  ASSERT_TRUE(runEventsUntil([&] { return backend->keyName(0x31, true) == "&"; }));
  key("ctrl+q");  // the Q is where the US A was
  ASSERT_EQ(QProcess::execute(QStringLiteral("setxkbmap"), {"us"}), 0);
  ASSERT_TRUE(runEventsUntil([&] { return backend->keyName(0x31, true) == "1"; }));
  key("ctrl+q");
  EXPECT_EQ(presses.size(), 4u);
  for (const Press& p : presses) EXPECT_EQ(p, (Press{7, kModControl, 0x51}));
}

}  // namespace
