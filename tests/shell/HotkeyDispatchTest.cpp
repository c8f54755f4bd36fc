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

// What is grabbed is what captures: a stored value that is absent, no integer or no combination
// ("F1", -1, a number beyond the modifier bits, modifiers without a key) means the default it was
// registered as; a hotkey set to none (0) runs nothing.
TEST_F(HotkeyDispatch, AStoredValueThatIsNoCombinationMeansItsDefault) {
  key.write(settings::kHotkey1, "F1");
  key.write(settings::kHotkey2, "-1");
  key.write(settings::kHotkey3, "99999999");
  key.write(settings::kHotkey4, "8192");
  key.write(settings::kHotkey5, "0");
  QStringList ran;
  for (quint32 pressed : {8304u, 8305u, 8306u, 8307u, 16500u, 0x2000u})
    shell::DispatchHotKey(pressed, settings, [&](CaptureKind kind) {
      ran << QString::fromLatin1(settings::captureCommand(kind).word);
    });
  EXPECT_EQ(ran, QStringList({"screen", "area", "window", "timed"}));
}

}  // namespace
