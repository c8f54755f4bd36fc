// The typed reader: what absent, broken and present values read as.
#include <gtest/gtest.h>

#include "TempDir.h"
#include "base/Error.h"
#include "settings/SettingsReader.h"
#include "settings/SettingsTable.h"

using namespace lumivex;

namespace {

struct SettingsReaderTest : ::testing::Test {
  TempDir dir;
  SettingsFile key{dir.path / "Vistrel.conf", "Vistrel"};
  settings::SettingsReader settings{key};
};

TEST_F(SettingsReaderTest, AbsentValuesReadAsTheirDefaults) {
  EXPECT_EQ(settings.baseName(), "LumivexPhoto");
  EXPECT_EQ(settings.folder("/home/anna/Desktop"), "/home/anna/Desktop");
  EXPECT_TRUE(settings.addStamp());
  EXPECT_TRUE(settings.addUserName());
  EXPECT_EQ(settings.pictureType(), 0);
  EXPECT_FALSE(settings.clipboardMode());
  EXPECT_EQ(settings.intervalText(), "5");
  EXPECT_FALSE(settings.soundOn()) << "switches read straight from the store are off when absent";
  EXPECT_FALSE(settings.balloonOn());
  EXPECT_EQ(settings.ftpPassive(), std::nullopt);
  EXPECT_THROW(settings.pngLevel(), Error) << "a level must be stored";
}

// A stored hotkey that is no key combination (no integer, or bits beyond the modifiers and the
// key) is its seed for registration, the overview and the dispatch alike.
TEST_F(SettingsReaderTest, ABrokenHotkeyIsItsSeed) {
  key.write(settings::kHotkey1, "Shift+F1");
  key.write(settings::kHotkey2, " 12345");
  key.write(settings::kHotkey3, " 8257");
  EXPECT_EQ(settings.hotkey(0), 8304);
  EXPECT_EQ(settings.storedHotkey(0), std::nullopt);
  EXPECT_EQ(settings.hotkey(1), 8305);
  EXPECT_EQ(settings.hotkey(2), 8257);
  EXPECT_EQ(settings.storedHotkey(4), std::nullopt);
  EXPECT_EQ(settings.hotkey(4), 16500);
}

TEST_F(SettingsReaderTest, TextsConvertWhenRead) {
  key.write(settings::kClipboardMode, "TRUE");
  key.write(settings::kFtpPassive, "no");
  key.write(settings::kPictureType, "2x");
  key.write(settings::kAction, "");
  EXPECT_TRUE(settings.clipboardMode());
  EXPECT_EQ(settings.ftpPassive(), false);
  try {
    settings.pictureType();
    FAIL() << "accepted";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "'2x' is not a valid integer value");
  }
  EXPECT_THROW(settings.finalAction(), Error);
}

}  // namespace
