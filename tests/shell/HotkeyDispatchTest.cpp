// Which commands a pressed combination runs, against the settings of the moment.
#include "TempDir.h"
#include "settings/Registry.h"
#include "settings/SettingsTable.h"
#include "shell/HotkeyDispatch.h"

#include <gtest/gtest.h>

#include <QStringList>

using namespace lumivex;
using lumivex::settings::CaptureKind;

namespace {

struct HotkeyDispatch : ::testing::Test {
  TempDir dir;
  SettingsFile key{dir.path / "Vistrel.conf", kSettingsKey};
  settings::SettingsReader settings{key};
};

TEST_F(HotkeyDispatch, ReadsEachSettingBeforeItsOwnTestAndRunsMatchesInOrder) {
  key.write(settings::kHotkey1, "8304");
  key.write(settings::kHotkey2, "8305");
  key.write(settings::kHotkey3, "8304");
  key.write(settings::kHotkey4, "-8304");
  QStringList log;
  shell::DispatchHotKey(8304, settings, [&](CaptureKind kind) {
    log << QString::fromLatin1(settings::captureCommand(kind).word);
    // Seen by the later test of the storage-mode hotkey.
    if (kind == CaptureKind::Screen) key.write(settings::kHotkey5, "8304");
  });
  EXPECT_EQ(log, QStringList({"screen", "window", "toggle-mode"}));
}

TEST_F(HotkeyDispatch, MissingOrBrokenSettingsMatchNothing) {
  key.write(settings::kHotkey2, "F1");
  int runs = 0;
  shell::DispatchHotKey(8304, settings, [&](CaptureKind) { ++runs; });
  shell::DispatchHotKey(8305, settings, [&](CaptureKind) { ++runs; });
  EXPECT_EQ(runs, 0);
}

}  // namespace
