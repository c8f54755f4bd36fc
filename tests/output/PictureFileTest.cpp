// Picture files are complete or absent, on both roads (an unnamed file, and a hidden named one
// where the file system has no unnamed files): never over an existing entry, never through a
// link or FIFO planted under the name, nothing left behind by a failed write.
#include "output/PictureFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "FileSizeLimit.h"
#include "TempDir.h"
#include "codecs/Picture.h"

using namespace lumivex;
namespace fs = std::filesystem;

namespace {

class PictureFile : public ::testing::TestWithParam<bool> {
 protected:
  PictureFile() { output::UseUnnamedPictureFiles(GetParam()); }
  ~PictureFile() override { output::UseUnnamedPictureFiles(true); }

  QString file(const std::string& name) const {
    return QString::fromStdString((dir.path / name).string());
  }
  static output::WriteFileBytes bytes(const std::string& text) {
    return [text](codecs::ByteSink& sink) { sink.Write(text.data(), text.size()); };
  }
  // The error `write` ends with, or "written as <file name>".
  std::string outcome(const QString& name, const output::WriteFileBytes& write) const {
    try {
      return "written as " +
             fs::path(output::WritePictureFile(name, write).toStdString()).filename().string();
    } catch (const std::exception& e) {
      return e.what();
    }
  }
  TempDir dir;
};

}  // namespace

INSTANTIATE_TEST_SUITE_P(Roads, PictureFile, ::testing::Values(true, false),
                         [](const auto& road) { return road.param ? "Unnamed" : "Named"; });

TEST_P(PictureFile, TakesTheNextFreeNameAndReplacesNothing) {
  dir.write("shot.png", "first");
  fs::create_directory(dir.path / "shot_1.png");
  EXPECT_EQ(outcome(file("shot.png"), bytes("second")), "written as shot_2.png");
  EXPECT_EQ(dir.read(dir.path / "shot.png"), "first");
  EXPECT_EQ(dir.read(dir.path / "shot_2.png"), "second");
  EXPECT_EQ(outcome(file("plain"), bytes("x")), "written as plain");
  EXPECT_EQ(outcome(file("plain"), bytes("y")), "written as plain_1");
  // The extension is the part after the file name's last dot, not the folder's.
  EXPECT_EQ(output::NumberedName("/a.b/c", 3), "/a.b/c_3");
}

// The stamped name was planted by someone who can write to a shared folder: a link to a file of
// the user's, and a FIFO that blocks whoever opens it for writing.
TEST_P(PictureFile, APlantedLinkOrFifoIsNeverOpened) {
  const fs::path victim = dir.write("victim-file", "precious");
  fs::create_symlink(victim, dir.path / "shot.png");
  ASSERT_EQ(mkfifo((dir.path / "shot_1.png").c_str(), 0666), 0);
  EXPECT_EQ(outcome(file("shot.png"), bytes("picture")), "written as shot_2.png");
  EXPECT_EQ(dir.read(victim), "precious");
  EXPECT_TRUE(fs::is_symlink(dir.path / "shot.png"));
  EXPECT_TRUE(fs::is_fifo(dir.path / "shot_1.png"));
  EXPECT_EQ(dir.read(dir.path / "shot_2.png"), "picture");
}

TEST_P(PictureFile, AFailedWriteLeavesNothingBehind) {
  // The encoder fails half-way.
  auto halfThenFail = [](codecs::ByteSink& sink) {
    sink.Write("half", 4);
    throw codecs::CodecError("GIF image encoding error");
  };
  EXPECT_EQ(outcome(file("a.gif"), halfThenFail), "GIF image encoding error");
  // The disk takes no more: a file-size limit fails the write as a full disk does.
  {
    const FileSizeLimit disk(100 * 1024);
    EXPECT_EQ(outcome(file("full.bmp"), bytes(std::string(300 * 1024, 'x'))), "Stream write error");
  }
  // A name longer than the file system takes, and a folder that is not there.
  const std::string longName = std::string(300, 'n') + ".png";
  EXPECT_EQ(outcome(file(longName), bytes("x")).rfind("Cannot create file \"", 0), 0u);
  EXPECT_EQ(
      outcome(file("gone/a.png"), bytes("x")),
      "Cannot create file \"" + file("gone/a.png").toStdString() + "\". No such file or directory");
  EXPECT_TRUE(fs::is_empty(dir.path));
}
