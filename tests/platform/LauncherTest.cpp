// The real launcher: arguments arrive unchanged, the program's input and output are /dev/null,
// the caller does not wait, and no child is left. (Its PATH lookup is tested with the archiver.)
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "TempDir.h"
#include "platform/posix/PosixLauncher.h"

namespace lumivex::platform {
namespace {

// Processes whose parent is this test.
int childrenOfOurs() {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    // "pid (name) state ppid ...": the name may hold blanks, so read after its ")".
    std::istringstream rest(line.substr(line.rfind(')') + 1));
    std::string state;
    int ppid = 0;
    if (rest >> state >> ppid && ppid == getpid()) ++count;
  }
  return count;
}

TEST(PosixLauncherTest, StartsDetachedWithArgumentsUnchangedAndLeavesNoChild) {
  TempDir dir;
  const QString out = QString::fromStdString((dir.path / "out").string());
  const QString go = QString::fromStdString((dir.path / "go").string());
  // Records its descriptors and arguments, then waits (at most 5 s) for the caller to go on:
  // a launcher that waited for it would see "no-go".
  const QString script = QStringLiteral(
      "out=$1; go=$2; shift 2\n"
      "fds=$(readlink /proc/$$/fd/0 /proc/$$/fd/1 /proc/$$/fd/2)\n"
      "i=0; while [ ! -e \"$go\" ] && [ $i -lt 100 ]; do sleep 0.05; i=$((i+1)); done\n"
      "{ echo \"$fds\"; for a in \"$@\"; do printf '[%s]\\n' \"$a\"; done\n"
      "  if [ -e \"$go\" ]; then echo go; else echo no-go; fi; } > \"$out.part\"\n"
      "mv \"$out.part\" \"$out\"\n");
  PosixLauncher launcher;
  ASSERT_TRUE(launcher.startDetached(
      "/bin/sh", {"-c", script, "sh", out, go, "two words", "it's \"q\"", "$HOME", "-x", ""}));
  QFile(go).open(QIODevice::WriteOnly);

  QDeadlineTimer deadline(15000);
  while (!QFileInfo::exists(out) && !deadline.hasExpired()) QThread::msleep(20);
  QFile result(out);
  ASSERT_TRUE(result.open(QIODevice::ReadOnly)) << "the program did not run";
  EXPECT_EQ(result.readAll().toStdString(),
            "/dev/null\n/dev/null\n/dev/null\n"
            "[two words]\n[it's \"q\"]\n[$HOME]\n[-x]\n[]\ngo\n");
  EXPECT_EQ(childrenOfOurs(), 0);
}

TEST(PosixLauncherTest, ProgramThatCannotStartIsReported) {
  PosixLauncher launcher;
  EXPECT_FALSE(launcher.startDetached("/nonexistent/lumivex-program", {}));
  EXPECT_EQ(childrenOfOurs(), 0);
}

}  // namespace
}  // namespace lumivex::platform
