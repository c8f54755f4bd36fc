// Picture names from the settings, the clock and the user's environment, checked against real
// folders: the stamp, the user part, the free-number series and the folder fallback.
#include "output/PictureName.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "TempDir.h"
#include "base/Error.h"
#include "platform/FakeUserEnvironment.h"

using namespace lumivex;
using output::ComposePictureName;

namespace {

class PictureName : public ::testing::Test {
 protected:
  PictureName() {
    std::filesystem::create_directories(dir.path / "desktop");
    std::filesystem::create_directories(dir.path / "pictures");
    env.desktop = QString::fromStdString((dir.path / "desktop").string());
    env.user = QStringLiteral("anna");
  }

  QString compose(const std::optional<QString>& extension = std::nullopt) const {
    return ComposePictureName({settings, env, now}, extension);
  }
  void set(const char* name, const QString& value) const { key.write(name, value.toStdString()); }
  QString pictures() const { return QString::fromStdString((dir.path / "pictures").string()); }

  TempDir dir;
  platform::FakeUserEnvironment env;
  SettingsFile key{dir.path / "Vistrel.conf", "Vistrel"};
  settings::SettingsReader settings{key};
  QDateTime now{QDate(2005, 6, 19), QTime(22, 22, 17)};
};

}  // namespace

TEST_F(PictureName, StampUserAndBaseWithTheSettingsAbsent) {
  // Absent values: user part on, stamp on, PNG, the desktop folder.
  EXPECT_EQ(compose(), env.desktop + "/anna_LumivexPhoto_2005_06_19 22_22_17.png");
  // Single-digit fields are zero-padded; the hour is on the 24-hour clock.
  EXPECT_EQ(output::PictureStamp(QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5))),
            "2026_01_02 03_04_05");
}

TEST_F(PictureName, SettingsShapeTheName) {
  set("fPath1_Text", pictures() + "/");  // a trailing separator is not doubled
  set("CHECKBOX2_CHECKED", "false");
  set("fName1_Text", " shot ");  // used as stored
  set("PicType_ItemIndex", "2");
  EXPECT_EQ(compose(), pictures() + "/ shot _2005_06_19 22_22_17.jpg");
  set("PicType_ItemIndex", "1");
  EXPECT_EQ(compose(), pictures() + "/ shot _2005_06_19 22_22_17.bmp");
  set("PicType_ItemIndex", "3");  // no extension; the output writes nothing for this type
  EXPECT_EQ(compose(), pictures() + "/ shot _2005_06_19 22_22_17.");
  set("PicType_ItemIndex", "png");
  EXPECT_EQ(compose(QStringLiteral("gif")), pictures() + "/ shot _2005_06_19 22_22_17.gif");
  try {
    compose();
    FAIL() << "a picture type that is no integer must stop the capture";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "'png' is not a valid integer value");
  }
}

TEST_F(PictureName, UserPartIsTrimmedAndDroppedWhenThereIsNoName) {
  set("CheckBox1_Checked", "False");
  env.user = QString::fromUtf8(" anna\t\0", 7);
  EXPECT_EQ(compose(), env.desktop + "/anna_LumivexPhoto.png");
  env.user = QStringLiteral(" \t");
  EXPECT_EQ(compose(), env.desktop + "/LumivexPhoto.png");
}

TEST_F(PictureName, WithoutStampTheFirstFreeNameOfTheSeries) {
  set("CheckBox1_Checked", "False");
  set("CheckBox2_Checked", "False");
  set("fPath1_Text", pictures());
  const auto folder = dir.path / "pictures";
  EXPECT_EQ(compose(), pictures() + "/LumivexPhoto.png");
  dir.write("pictures/LumivexPhoto.png", "x");
  EXPECT_EQ(compose(), pictures() + "/LumivexPhoto_1.png");
  // A folder, and a link to nothing, are taken names too.
  std::filesystem::create_directory(folder / "LumivexPhoto_1.png");
  std::filesystem::create_symlink(folder / "missing", folder / "LumivexPhoto_2.png");
  EXPECT_EQ(compose(), pictures() + "/LumivexPhoto_3.png");
  // Another extension starts its own series.
  EXPECT_EQ(compose(QStringLiteral("gif")), pictures() + "/LumivexPhoto.gif");
}

// Two captures in the same second: the second must not take the first one's file.
TEST_F(PictureName, StampedNameThatIsTakenGoesOnAlongItsSeries) {
  set("CheckBox2_Checked", "False");
  const std::string stamped = "desktop/LumivexPhoto_2005_06_19 22_22_17";
  dir.write(stamped + ".png", "first");
  std::filesystem::create_symlink("/nowhere", dir.path / (stamped + "_1.png"));
  EXPECT_EQ(compose(), env.desktop + "/LumivexPhoto_2005_06_19 22_22_17_2.png");
}

// A picture is written only inside its folder: a "/" in either part would lead out of it.
TEST_F(PictureName, BaseOrUserNameWithASlashIsRefused) {
  auto refusal = [this]() -> std::string {
    try {
      return "composed " + compose().toStdString();
    } catch (const Error& e) {
      return e.what();
    }
  };
  set("fName1_Text", "../escape");
  EXPECT_EQ(refusal(), "The file name \"../escape\" must not contain \"/\"");
  set("fName1_Text", "shot");
  env.user = QStringLiteral("../../tmp/x");
  EXPECT_EQ(refusal(), "The user name \"../../tmp/x\" must not contain \"/\"");
  set("CheckBox2_Checked", "False");  // the user name is not part of the name then
  EXPECT_EQ(refusal(), "composed " + env.desktop.toStdString() + "/shot_2005_06_19 22_22_17.png");
}

TEST_F(PictureName, FolderFallsBackToTheDesktop) {
  set("CheckBox2_Checked", "False");
  const QString onDesktop = env.desktop + "/LumivexPhoto_2005_06_19 22_22_17.png";
  for (const QString& folder :
       {pictures() + "/gone", QString(), QString::fromStdString(dir.write("file", "x").string())}) {
    set("fPath1_Text", folder);
    EXPECT_EQ(compose(), onDesktop) << folder.toStdString();
  }
  // No desktop either: the name starts at the root folder.
  env.desktop.clear();
  EXPECT_EQ(compose(), "/LumivexPhoto_2005_06_19 22_22_17.png");
}
