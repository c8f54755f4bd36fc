#include "platform/FakeHotkeyBackend.h"
#include "shell/HotKeyManager.h"

#include <gtest/gtest.h>

#include <QHash>
#include <QStringList>

using lumivex::platform::FakeHotkeyBackend;
using namespace lumivex::shell;
using namespace lumivex::platform;

namespace {
struct Pressed {
  quint32 value;
  quint16 id;
};
QList<Pressed>* record(THotKeyManager& manager, QList<Pressed>& into) {
  const auto record = [&into](quint32 value, quint16 id) { into.append({value, id}); };
  QObject::connect(&manager, &THotKeyManager::HotKeyPressed, record);
  return &into;
}
}  // namespace

TEST(HotKeyManager, SeparatesValueIntoKeyAndPlatformModifiers) {
  unsigned vk = 0, mods = 0;
  THotKeyManager::SeparateHotKey(8304, vk, mods);  // Shift+F1
  EXPECT_EQ(vk, 0x70u);
  EXPECT_EQ(mods, unsigned(kModShift));
  THotKeyManager::SeparateHotKey(0x4000 | 0x8000 | 0x10000 | 0x41, vk, mods);
  EXPECT_EQ(vk, 0x41u);
  EXPECT_EQ(mods, unsigned(kModControl | kModAlt | kModWin));
}

TEST(HotKeyManager, RegistersReportsPressesAndUnregistersOnClear) {
  FakeHotkeyBackend backend;
  THotKeyManager manager(backend);
  QList<Pressed> presses;
  record(manager, presses);

  const int shiftF1 = manager.AddHotKey(8304);
  const int ctrlF5 = manager.AddHotKey(16500);
  ASSERT_NE(shiftF1, 0);
  ASSERT_NE(ctrlF5, 0);
  EXPECT_NE(shiftF1, ctrlF5);
  ASSERT_EQ(backend.registrations().size(), 2);
  EXPECT_EQ(backend.registrations()[1].modifiers, unsigned(kModControl));
  EXPECT_EQ(backend.registrations()[1].virtualKey, 0x74u);

  EXPECT_TRUE(backend.press(kModControl, 0x74));
  EXPECT_TRUE(backend.press(kModShift, 0x70));
  ASSERT_EQ(presses.size(), 2);
  EXPECT_EQ(presses[0].value, 16500u);
  EXPECT_EQ(presses[0].id, quint16(ctrlF5));
  EXPECT_EQ(presses[1].value, 8304u);
  EXPECT_EQ(presses[1].id, quint16(shiftF1));

  manager.ClearHotKeys();
  EXPECT_TRUE(backend.registrations().isEmpty());
  EXPECT_FALSE(backend.press(kModShift, 0x70));
  EXPECT_EQ(presses.size(), 2);
}

TEST(HotKeyManager, SameCombinationTwiceRegistersOnceAndKeepsItsIdentifier) {
  FakeHotkeyBackend backend;
  THotKeyManager manager(backend);
  QList<Pressed> spy;
  record(manager, spy);
  const int first = manager.AddHotKey(8305);
  EXPECT_NE(first, 0);
  EXPECT_EQ(manager.AddHotKey(8305), 0);
  EXPECT_EQ(manager.Count(), 1);
  // The refused attempt leaves the first registration and its identifier intact.
  backend.press(kModShift, 0x71);
  ASSERT_EQ(spy.count(), 1);
  EXPECT_EQ(spy[0].id, quint16(first));
  EXPECT_NE(manager.AddHotKey(8306), first);
}

// Identifiers are atom numbers, reported in 16 bits: a freed number is used again, so registering
// anew after every options dialog never runs past them.
TEST(HotKeyManager, IdentifiersStayAtomNumbersThroughManyRegistrations) {
  FakeHotkeyBackend backend;
  THotKeyManager manager(backend);
  QList<Pressed> spy;
  record(manager, spy);
  int id = 0;
  for (int round = 0; round < 20000; ++round) {
    manager.ClearHotKeys();
    id = manager.AddHotKey(8304);
    ASSERT_GE(id, 0xC000) << round;
    ASSERT_LE(id, 0xFFFF) << round;
  }
  backend.press(kModShift, 0x70);
  ASSERT_EQ(spy.count(), 1);
  EXPECT_EQ(spy[0].id, id);
}

TEST(HotKeyManager, CombinationHeldElsewhereIsRefusedAndOthersStillWork) {
  FakeHotkeyBackend backend;
  backend.holdElsewhere(kModShift, 0x71);
  THotKeyManager manager(backend);
  QList<Pressed> spy;
  record(manager, spy);
  EXPECT_NE(manager.AddHotKey(8304), 0);
  EXPECT_EQ(manager.AddHotKey(8305), 0);
  EXPECT_NE(manager.AddHotKey(8306), 0);
  EXPECT_EQ(manager.Count(), 2);
  backend.press(kModShift, 0x72);
  ASSERT_EQ(spy.count(), 1);
  EXPECT_EQ(spy[0].value, 8306u);
}

TEST(HotKeyManager, DestructionUnregistersEverything) {
  FakeHotkeyBackend backend;
  {
    THotKeyManager manager(backend);
    manager.AddHotKey(8304);
    manager.AddHotKey(8307);
  }
  EXPECT_TRUE(backend.registrations().isEmpty());
  EXPECT_FALSE(backend.press(kModShift, 0x70));  // no handler left behind
}

TEST(HotKeyManager, TextOrdersModifiersCtrlShiftAltWin) {
  FakeHotkeyBackend backend;
  THotKeyManager manager(backend);
  EXPECT_EQ(manager.HotKeyToText(8304, false), "Shift+F1");
  EXPECT_EQ(manager.HotKeyToText(16500, false), "Ctrl+F5");
  EXPECT_EQ(manager.HotKeyToText(0x2000 | 0x4000 | 0x8000 | 0x10000 | 0x21, false),
            "Ctrl+Shift+Alt+Win+Page Up");
  EXPECT_EQ(manager.HotKeyToText(0x8000 | 0x6B, false), "Alt+Num +");
  EXPECT_EQ(manager.HotKeyToText(0x41, false), "A");
  // A key without a name leaves only the modifiers.
  EXPECT_EQ(manager.HotKeyToText(0x4000 | 0x07, false), "Ctrl+");
}

TEST(HotKeyManager, LocalizedTextUsesTheLayoutsKeyNames) {
  FakeHotkeyBackend backend;
  backend.setLocalizedName(0xBA, QStringLiteral("Ü"));
  THotKeyManager manager(backend);
  EXPECT_EQ(manager.HotKeyToText(0x2000 | 0xBA, true), QStringLiteral("Shift+Ü"));
  EXPECT_EQ(manager.HotKeyToText(0x2000 | 0xBA, false), "Shift+;");
  EXPECT_EQ(manager.HotKeyToText(16500, true), "Ctrl+F5");
}
