#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include "TempDir.h"
#include "settings/Error.h"
#include "settings/Registry.h"
#include "settings/SettingsFile.h"
#include "settings/Text.h"

using namespace lumivex;
using ::testing::ElementsAre;
using ::testing::Pair;

namespace {

struct SettingsStoreTest : ::testing::Test {
  TempDir dir;
  Registry registry{dir.path / "config", dir.path / "etc"};
  SettingsFile key = registry.key(kSettingsKey);
};

TEST_F(SettingsStoreTest, KeyPathMapsToAPerUserFileWithPrivateMode) {
  EXPECT_EQ(key.path(), dir.path / "config" / "Quorlan Software" / "Vistrel.conf");
  key.write("pass1_Text", "secret");
  struct stat st {};
  ASSERT_EQ(stat(key.path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(registry.key("Software\\Quorlan Software\\Bundlor5", RegistryRoot::LocalMachine).path(),
            dir.path / "etc" / "Quorlan Software" / "Bundlor5.conf");
  EXPECT_THROW(registry.key("Software\\..\\x"), Error);
  EXPECT_THROW(registry.key("Software\\a\\\\b"), Error);
}

TEST_F(SettingsStoreTest, NamesMatchWithoutRegardToCaseAndKeepTheirFirstSpelling) {
  key.write("Hotkey1_HotKey", "8304");
  key.write("HOTKEY1_HOTKEY", "16500");
  EXPECT_EQ(key.read("hotkey1_hotkey"), "16500");
  EXPECT_THAT(key.entries(), ElementsAre(Pair("Hotkey1_HotKey", "16500")));
}

TEST_F(SettingsStoreTest, AbsentAndEmptyValuesStayDistinct) {
  EXPECT_EQ(key.read("FtpServer1_Text"), std::nullopt);
  key.write("FtpServer1_Text", "");
  EXPECT_EQ(key.read("FtpServer1_Text"), std::string());
  // The direct read cannot tell them apart, which is what re-seeds an empty value.
  EXPECT_EQ(registry.ReadRegistryText(kSettingsKey, "FtpServer1_Text"), "");
  EXPECT_EQ(registry.ReadRegistryText(kSettingsKey, "NoSuchValue"), "");
}

TEST_F(SettingsStoreTest, AnyTextSurvivesARoundTrip) {
  const std::string texts[] = {"line one\nline two\r\nthree",
                               "back\\slash\\n not an escape",
                               "tab\there",
                               std::string("nul\0byte", 8),
                               "=starts with equals=",
                               "  blanks kept  ",
                               "# not a comment",
                               "\x7f\x01\x1f control",
                               "città è ü",
                               std::string(300, 'd') + "/deep",
                               "\\x41 literal"};
  int i = 0;
  for (const auto& text : texts) key.write("Value" + std::to_string(i++), text);
  key.write("name=with#equals\nand newline", "v");
  i = 0;
  for (const auto& text : texts) EXPECT_EQ(key.read("Value" + std::to_string(i++)), text);
  EXPECT_EQ(key.read("name=with#equals\nand newline"), "v");
  // Long values are read whole by the direct path too (deep folder paths).
  EXPECT_EQ(registry.ReadRegistryText(kSettingsKey, "Value9"), texts[9]);
}

TEST_F(SettingsStoreTest, DamagedFileIsReadAsFarAsPossibleAndRepairedByTheNextWrite) {
  std::string damage = "fName1_Text=Shot\n";
  damage += std::string("\x00\xff\xfe", 3) + " garbage without separator\n";
  damage += "line without equals sign\n";
  damage += "=value without a name\n";
  damage += "Huge=" + std::string(3u << 20, 'x') + "\n";
  damage += "PicType_ItemIndex=2\r\n";
  damage += "fname1_text=shadowed duplicate\n";
  damage += "trailing=no newline";
  dir.write("config/Quorlan Software/Vistrel.conf", damage);

  EXPECT_EQ(key.read("fName1_Text"), "Shot");
  EXPECT_EQ(key.read("PicType_ItemIndex"), "2");
  EXPECT_EQ(key.read("Huge"), std::nullopt);
  EXPECT_EQ(key.read("trailing"), "no newline");

  key.write("CheckBox1_Checked", "True");
  EXPECT_THAT(key.entries(),
              ElementsAre(Pair("fName1_Text", "Shot"), Pair("PicType_ItemIndex", "2"),
                          Pair("trailing", "no newline"), Pair("CheckBox1_Checked", "True")));
}

TEST_F(SettingsStoreTest, FailedWriteLeavesTheOldFileWhole) {
  for (int i = 0; i < 40; ++i)
    key.write("Value" + std::to_string(i), std::string(40, 'a' + i % 26));
  const std::string before = dir.read(key.path());

  // Limit the file size below what the new file needs, as a full disk would.
  struct rlimit old {};
  getrlimit(RLIMIT_FSIZE, &old);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 512;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  EXPECT_THROW(
      {
        try {
          key.write("Value1", "changed");
        } catch (const Error& e) {
          EXPECT_STREQ(e.what(), "Failed to set data for 'Value1'");
          throw;
        }
      },
      Error);
  EXPECT_THROW(registry.WriteRegistryText(kSettingsKey, "Value2", "changed"), Error);
  setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_EQ(dir.read(key.path()), before);
  int files = 0;
  for (auto& entry : std::filesystem::directory_iterator(key.path().parent_path()))
    files += entry.is_regular_file();
  EXPECT_EQ(files, 1) << "a temporary file was left behind";
}

TEST_F(SettingsStoreTest, UnwritableKeyGivesTheStoreErrorTexts) {
  dir.write("config", "a file where the settings folder should be");
  try {
    key.write("fName1_Text", "x");
    FAIL() << "write succeeded";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "Failed to create key Software\\Quorlan Software\\Vistrel");
  }
  try {
    registry.WriteRegistryText(kSettingsKey, "fName1_Text", "x");
    FAIL() << "write succeeded";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "Error creating system registry entry");
  }
  EXPECT_EQ(registry.ReadRegistryText(kSettingsKey, "fName1_Text"), "");
}

TEST_F(SettingsStoreTest, UnreadableExistingFileIsNotReplaced) {
  std::filesystem::create_directories(key.path());  // a folder where the file should be
  EXPECT_THROW(key.write("fName1_Text", "x"), Error);
  EXPECT_TRUE(std::filesystem::is_directory(key.path()));
}

TEST(TextRules, IntegersBooleansAndTrimming) {
  EXPECT_EQ(parseInt("8304"), 8304);
  EXPECT_EQ(parseInt("-1"), -1);
  EXPECT_EQ(parseInt("+7"), 7);
  EXPECT_EQ(parseInt("  21"), 21);
  for (const char* bad : {"", " ", "5 ", "1e3", "0x10", "--1", "+-1", "2147483648", "abc"})
    EXPECT_EQ(parseInt(bad), std::nullopt) << bad;
  EXPECT_EQ(parseInt("-2147483648"), INT32_MIN);
  try {
    textToInt("12a");
    FAIL();
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "'12a' is not a valid integer value");
  }
  EXPECT_TRUE(isTrueText("TRUE"));
  EXPECT_TRUE(isTrueText("true"));
  EXPECT_FALSE(isTrueText(" true"));
  EXPECT_FALSE(isTrueText("yes"));
  EXPECT_EQ(trimmed(" \t\x01 name \r\n"), "name");
  EXPECT_EQ(trimmed("\x1f\x20"), "");
}

}  // namespace
