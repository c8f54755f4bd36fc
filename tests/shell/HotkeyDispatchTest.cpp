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

TEST(HotkeyDispatch, MissingSettingsMatchNothingButAZeroValue) {
  int runs = 0;
  HotKeyActions actions;
  for (auto& a : actions) a = [&] { ++runs; };
  const ReadSettingInt none = [](const QString&, int fallback) { return fallback; };
  DispatchHotKey(8304, none, actions);
  EXPECT_EQ(runs, 0);
}
