// Which actions a pressed combination runs, against the settings of the moment.
#include "settings/SettingsTable.h"
#include "shell/HotkeyDispatch.h"

#include <gtest/gtest.h>

#include <QHash>
#include <QStringList>

using namespace lumivex::shell;
namespace settings = lumivex::settings;

TEST(HotkeyDispatch, ReadsEachSettingBeforeItsOwnTestAndRunsMatchesInOrder) {
  QHash<QString, int> stored = {{settings::kHotkey1, 8304},
                                {settings::kHotkey2, 8305},
                                {settings::kHotkey3, 8304},
                                {settings::kHotkey4, -8304}};
  QStringList log;
  const ReadSettingInt read = [&](const QString& name, int fallback) {
    log << "read " + name;
    return stored.value(name, fallback);
  };
  HotKeyActions actions = {[&] {
                             log << "action 1";
                             stored[settings::kHotkey5] =
                                 8304;  // seen by the later test of hotkey 5
                           },
                           [&] { log << "action 2"; }, [&] { log << "action 3"; },
                           [&] { log << "action 4"; }, [&] { log << "action 5"; }};
  DispatchHotKey(8304, read, actions);
  EXPECT_EQ(log, QStringList({"read Hotkey1_HotKey", "action 1", "read Hotkey2_HotKey",
                              "read Hotkey3_HotKey", "action 3", "read Hotkey4_HotKey",
                              "read Hotkey5_HotKey", "action 5"}));
}

// What is grabbed is what captures: a stored value that is no combination ("abc", -1, a number
// beyond the modifier bits, modifiers without a key) means the default it was registered as.
TEST(HotkeyDispatch, AStoredValueThatIsNoCombinationMeansItsDefault) {
  const QHash<QString, int> stored = {{settings::kHotkey2, -1},
                                      {settings::kHotkey3, 99999999},
                                      {settings::kHotkey4, 0x2000},
                                      {settings::kHotkey5, 0}};
  const ReadSettingInt read = [&](const QString& name, int fallback) {
    return stored.value(name, fallback);  // hotkey 1 unreadable: the reader's fallback
  };
  QStringList ran;
  HotKeyActions actions = {[&] { ran << "1"; }, [&] { ran << "2"; }, [&] { ran << "3"; },
                           [&] { ran << "4"; }, [&] { ran << "5"; }};
  for (quint32 pressed : {8304u, 8305u, 8306u, 8307u, 16500u, 0x2000u})
    DispatchHotKey(pressed, read, actions);
  // Hotkey 5 is set to none: its default combination does nothing.
  EXPECT_EQ(ran, QStringList({"1", "2", "3", "4"}));
}
