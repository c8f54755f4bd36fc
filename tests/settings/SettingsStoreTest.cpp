#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <random>
#include <vector>

#include "TempDir.h"
#include "base/Error.h"
#include "base/Text.h"
#include "settings/Registry.h"
#include "settings/SettingsFile.h"

using namespace lumivex;
using ::testing::ElementsAre;
using ::testing::Pair;

namespace {

// Every fsync of the process, with what it synced, so tests can see what reached the disk.
struct SyncRecord {
  bool folder;
  nlink_t links;       // 0 for a file that has no name yet
  ino_t inode;         // of what was synced
  ino_t watchedInode;  // of the file at `syncWatched` at that moment
};
std::vector<SyncRecord> syncs;
std::filesystem::path syncWatched;

}  // namespace

// Takes the place of the C library's fsync for this whole test program, and records each call.
extern "C" int fsync(int fd) {
  struct stat st = {};
  struct stat watched = {};
  fstat(fd, &st);
  stat(syncWatched.c_str(), &watched);
  syncs.push_back({S_ISDIR(st.st_mode), st.st_nlink, st.st_ino, watched.st_ino});
  return static_cast<int>(syscall(SYS_fsync, fd));
}

namespace {

// Writes use unnamed temporary files, or named ones as on file systems without them.
struct TemporaryFileKind {
  explicit TemporaryFileKind(bool unnamed) { SettingsFile::useUnnamedTemporaryFiles(unnamed); }
  ~TemporaryFileKind() { SettingsFile::useUnnamedTemporaryFiles(true); }
};

bool supportsUnnamedFiles(const std::filesystem::path& folder) {
  int fd = open(folder.c_str(), O_TMPFILE | O_WRONLY, 0600);
  if (fd >= 0) close(fd);
  return fd >= 0;
}

std::vector<std::string> filesIn(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// Runs body in a child process; returns its exit status (0 when body returned normally).
template <typename Body>
pid_t inChild(Body body) {
  pid_t pid = fork();
  if (pid == 0) {
    int status = 0;
    try {
      body();
    } catch (...) {
      status = 1;
    }
    _exit(status);
  }
  return pid;
}

int exitStatus(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct SettingsStoreTest : ::testing::Test {
  TempDir dir;
  Registry registry{dir.path / "config", dir.path / "etc"};
  SettingsFile key = registry.key(kSettingsKey);
};

TEST_F(SettingsStoreTest, KeyPathMapsToAPerUserFileWithPrivateMode) {
  EXPECT_EQ(key.path(), dir.path / "config" / "Quorlan Software" / "Vistrel.conf");
  key.write("pass1_Text", "secret");
  struct stat st = {};
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

TEST_F(SettingsStoreTest, LargeFileWithManyDuplicatesKeepsTheFirstSpellingOfEachName) {
  // Comparing each name with every earlier one made such a file freeze the program for minutes.
  constexpr int kNames = 100000;
  std::string bytes;
  for (int i = 0; i < kNames; ++i) bytes += "Name" + std::to_string(i) + "=first\n";
  for (int i = 0; i < kNames; ++i) bytes += "NAME" + std::to_string(i) + "=second\n";
  dir.write("config/Quorlan Software/Vistrel.conf", bytes);

  EXPECT_EQ(key.read("name99999"), "first");
  key.write("name5", "changed");
  auto all = key.entries();
  ASSERT_EQ(all.size(), std::size_t{kNames});
  EXPECT_THAT(all[5], Pair("Name5", "changed"));
  EXPECT_THAT(all.back(), Pair("Name99999", "first"));
}

TEST_F(SettingsStoreTest, ValueTooLongToReadBackIsRefusedAndTheOldFileKept) {
  // The longest value that reads back: "Long=" and the value fill the reader's line exactly.
  const std::size_t room = SettingsFile::kMaxLine - std::string("Long=").size();
  key.write("Long", std::string(room, 'v'));
  EXPECT_TRUE(key.read("Long") == std::string(room, 'v'));
  const std::string before = dir.read(key.path());

  // One byte more, or a quarter as many control characters (each escapes to four bytes).
  for (const auto& tooLong : {std::string(room + 1, 'v'), std::string(room / 4 + 1, '\x01')}) {
    try {
      key.write("Long", tooLong);
      ADD_FAILURE() << "a value that cannot be read back was written";
    } catch (const Error& e) {
      EXPECT_STREQ(e.what(), "Failed to set data for 'Long'");
    }
    EXPECT_TRUE(dir.read(key.path()) == before) << "the old file changed";
  }
  key.write("fName1_Text", "Shot");
  EXPECT_TRUE(key.read("Long") == std::string(room, 'v'));
}

TEST_F(SettingsStoreTest, FileLargerThanTheReaderTakesIsNeverReplaced) {
  // Real values, then a gap of zero bytes (a sparse file, no disk used) past the reader's budget,
  // then one more line that the budget cuts after "Cut=abc".
  auto file = dir.write("config/Quorlan Software/Vistrel.conf", "fName1_Text=Shot\n");
  const std::string tail = "\nCut=abcdef\n";
  int fd = open(file.c_str(), O_WRONLY);
  ASSERT_EQ(pwrite(fd, tail.data(), tail.size(), SettingsFile::kMaxFileSize - 8),
            static_cast<ssize_t>(tail.size()));
  close(fd);
  const auto size = std::filesystem::file_size(file);

  EXPECT_EQ(key.read("fName1_Text"), "Shot");
  EXPECT_EQ(key.read("Cut"), std::nullopt) << "a value cut by the budget was read";
  try {
    key.write("PicType_ItemIndex", "2");
    ADD_FAILURE() << "a file read only in part was replaced";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "Failed to set data for 'PicType_ItemIndex'");
  }
  EXPECT_THROW(registry.WriteRegistryText(kSettingsKey, "PicType_ItemIndex", "2"), Error);
  EXPECT_EQ(std::filesystem::file_size(file), size);
  std::ifstream in(file, std::ios::binary);
  in.seekg(-static_cast<std::streamoff>(tail.size()), std::ios::end);
  std::string end(tail.size(), '\0');
  in.read(end.data(), static_cast<std::streamsize>(end.size()));
  EXPECT_EQ(end, tail);
  EXPECT_EQ(filesIn(file.parent_path()), std::vector<std::string>{"Vistrel.conf"});
}

TEST_F(SettingsStoreTest, WritersKilledAtAnyMomentLeaveNoCopiesBehind) {
  // Each temporary file is a copy of the FTP password: none may outlive the next write.
  const std::string password(256u << 10, 'p');
  for (bool unnamed : {true, false}) {
    TemporaryFileKind kind(unnamed);
    key.write("pass1_Text", password);
    std::mt19937 random(9);
    for (int round = 0; round < 15; ++round) {
      pid_t writer = inChild([&] {
        for (int i = 0;; ++i) key.write("pass1_Text", password + std::to_string(i));
      });
      usleep(1000 + random() % 20000);
      kill(writer, SIGKILL);
      exitStatus(writer);
    }
    key.write("fName1_Text", "after");
    EXPECT_EQ(filesIn(key.path().parent_path()), std::vector<std::string>{"Vistrel.conf"})
        << (unnamed ? "unnamed" : "named") << " temporary files";
    EXPECT_THAT(key.read("pass1_Text"), ::testing::Optional(::testing::StartsWith(password)));
  }
}

TEST_F(SettingsStoreTest, StaleTemporaryFilesOfOursAreRemovedAndNothingElse) {
  key.write("fName1_Text", "Shot");
  pid_t gone = inChild([] {});
  exitStatus(gone);
  const auto folder = key.path().parent_path();
  auto plant = [&](const std::string& name, int ageSeconds) {
    auto file = dir.write("config/Quorlan Software/" + name, "pass1_Text=secret\n");
    struct timespec times[2] = {{time(nullptr) - ageSeconds, 0}, {time(nullptr) - ageSeconds, 0}};
    utimensat(AT_FDCWD, file.c_str(), times, 0);
  };
  const std::string alive = std::to_string(getpid());
  plant("Vistrel.conf.tmp." + std::to_string(gone) + ".a1B2c3", 0);  // its writer is gone
  plant("Vistrel.conf.tmp." + alive + ".d4E5f6", 120);               // abandoned long ago
  plant("Vistrel.conf.tmp." + alive + ".g7H8i9", 0);  // a writer may still be at work
  plant("Vistrel.conf.backup", 120);                  // the user's, not ours
  plant("Vistrel.conf.tmp.notapid.j1K2l3", 120);
  plant("Bundlor5.conf.tmp." + std::to_string(gone) + ".m4N5o6", 120);  // another key's

  for (bool unnamed : {true, false}) {
    TemporaryFileKind kind(unnamed);
    key.write("PicType_ItemIndex", unnamed ? "1" : "2");
    EXPECT_EQ(filesIn(folder),
              (std::vector<std::string>{"Bundlor5.conf.tmp." + std::to_string(gone) + ".m4N5o6",
                                        "Vistrel.conf", "Vistrel.conf.backup",
                                        "Vistrel.conf.tmp." + alive + ".g7H8i9",
                                        "Vistrel.conf.tmp.notapid.j1K2l3"}));
  }
}

TEST_F(SettingsStoreTest, FileDataAndItsNewNameReachTheDiskBeforeAWriteReturns) {
  key.write("fName1_Text", "Shot");
  const bool unnamedSupported = supportsUnnamedFiles(key.path().parent_path());
  syncWatched = key.path();
  for (bool unnamed : {true, false}) {
    TemporaryFileKind kind(unnamed);
    syncs.clear();
    key.write("pass1_Text", "secret");
    struct stat now = {};
    ASSERT_EQ(stat(key.path().c_str(), &now), 0);
    ASSERT_EQ(syncs.size(), 2u);
    // The new file's data first, without a name where the file system allows it ...
    EXPECT_FALSE(syncs[0].folder);
    EXPECT_EQ(syncs[0].inode, now.st_ino);
    EXPECT_EQ(syncs[0].links, unnamed && unnamedSupported ? 0u : 1u);
    // ... then the folder, once the rename is done, so a power loss cannot undo the rename.
    EXPECT_TRUE(syncs[1].folder);
    EXPECT_EQ(syncs[1].watchedInode, now.st_ino);
  }
  syncWatched.clear();
}

TEST_F(SettingsStoreTest, SymlinkedFileIsReplacedInTheTargetsFolder) {
  // Dotfile managers keep the real file elsewhere and link to it.
  auto target = dir.write("dotfiles/lumivex/Vistrel.conf", "fName1_Text=Shot\n");
  std::filesystem::permissions(target, std::filesystem::perms(0644));
  std::filesystem::create_directories(key.path().parent_path());
  std::filesystem::create_symlink("../../dotfiles/lumivex/Vistrel.conf", key.path());

  key.write("pass1_Text", "secret");
  EXPECT_TRUE(std::filesystem::is_symlink(key.path()));
  EXPECT_THAT(SettingsFile(target, kSettingsKey).entries(),
              ElementsAre(Pair("fName1_Text", "Shot"), Pair("pass1_Text", "secret")));
  EXPECT_EQ(std::filesystem::status(target).permissions(), std::filesystem::perms(0600));
  EXPECT_EQ(filesIn(target.parent_path()), std::vector<std::string>{"Vistrel.conf"});
  EXPECT_EQ(filesIn(key.path().parent_path()), std::vector<std::string>{"Vistrel.conf"});

  // A link made before its target exists gets the target created.
  std::filesystem::remove(target);
  key.write("fName1_Text", "Again");
  EXPECT_TRUE(std::filesystem::is_symlink(key.path()));
  EXPECT_EQ(SettingsFile(target, kSettingsKey).read("fName1_Text"), "Again");

  // A loop of links names no file: the write fails and the links stay.
  std::filesystem::remove(key.path());
  std::filesystem::create_symlink("Vistrel.conf", key.path());
  EXPECT_THROW(key.write("fName1_Text", "x"), Error);
  EXPECT_TRUE(std::filesystem::is_symlink(key.path()));
}

TEST_F(SettingsStoreTest, ConcurrentWritersKeepEachOthersValues) {
  key.write("fName1_Text", "Shot");
  constexpr int kEach = 60;
  pid_t writers[2];
  for (int w = 0; w < 2; ++w)
    writers[w] = inChild([&, w] {
      for (int i = 0; i < kEach; ++i)
        key.write("Writer" + std::to_string(w) + "_" + std::to_string(i), "v");
    });
  for (pid_t writer : writers) EXPECT_EQ(exitStatus(writer), 0);
  EXPECT_EQ(key.entries().size(), 1u + 2 * kEach);
}

TEST_F(SettingsStoreTest, FailedWriteLeavesTheOldFileWhole) {
  for (int i = 0; i < 40; ++i)
    key.write("Value" + std::to_string(i), std::string(40, 'a' + i % 26));
  const std::string before = dir.read(key.path());

  // Limit the file size below what the new file needs, as a full disk would.
  struct rlimit old = {};
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
  // A FIFO in the file's place must neither hang a read nor be replaced.
  std::filesystem::remove(key.path());
  ASSERT_EQ(mkfifo(key.path().c_str(), 0600), 0);
  EXPECT_EQ(key.read("fName1_Text"), std::nullopt);
  EXPECT_THROW(key.write("fName1_Text", "x"), Error);
  EXPECT_TRUE(std::filesystem::is_fifo(key.path()));
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
