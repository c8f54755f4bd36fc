// The dispatch and the hand-offs with a recording launcher; the archive hand-off also with the
// real 7-Zip.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QProcess>

#include "ActionsTestSupport.h"
#include "actions/ArchiveHandOff.h"
#include "platform/FakeLauncher.h"
#include "platform/posix/PosixLauncher.h"

namespace lumivex::actions {
namespace {

using platform::FakeLauncher;

const QString kMailer = QStringLiteral("/usr/bin/xdg-email");
const QString kSevenZip = QStringLiteral("/usr/bin/7zz");

class FakeLauncherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    launcher.addExecutable("xdg-email", kMailer);
    launcher.addExecutable("7zz", kSevenZip);
    actions = rig.make(launcher);
  }
  // What one call did: "ftp", "mail", "zip", "7z", "none" or "error: <text>".
  QString outcome(const QString& picture) {
    rig.uploads.clear();
    rig.errors.clear();
    const qsizetype startsBefore = launcher.starts().size();
    actions->DoFinalAction(picture);
    QStringList seen;
    if (!rig.errors.isEmpty()) seen << "error: " + rig.errors.join('|');
    if (!rig.uploads.isEmpty()) seen << (rig.uploads == QStringList{picture} ? "ftp" : "ftp?");
    for (qsizetype i = startsBefore; i < launcher.starts().size(); ++i) {
      const auto& start = launcher.starts()[i];
      if (start.program == kMailer) seen << "mail";
      if (start.program == kSevenZip) seen << start.arguments.value(1).mid(2);  // -tzip, -t7z
    }
    return seen.isEmpty() ? "none" : seen.join(',');
  }
  test::ActionsRig rig;
  FakeLauncher launcher;
  std::unique_ptr<AfterCaptureActions> actions;
};

TEST_F(FakeLauncherTest, DispatchReadsTheSettingsAtEveryCall) {
  const QString picture = rig.picture("shot.png");
  struct Case {
    const char* doFinal;
    const char* action;
    const char* expected;
  };
  const Case cases[] = {
      {"TRUE", "1", "ftp"},
      {"True", "2", "mail"},
      {"true", "3", "zip"},
      {"true", "4", "7z"},
      {"yes", "1", "none"},
      {"1", "2", "none"},
      {"", "1", "none"},
      {"False", "abc", "none"},  // not converted while off
      {"True", "abc", "error: 'abc' is not a valid integer value"},
      {"True", "", "error: '' is not a valid integer value"},
      {"True", "0", "none"},
      {"True", "5", "none"},
  };
  for (const Case& c : cases) {
    rig.setAction(c.doFinal, c.action);
    EXPECT_EQ(outcome(picture), c.expected) << c.doFinal << " / " << c.action;
  }
}

TEST_F(FakeLauncherTest, MailOpensOneMessageWithTheNameAsSubjectAndTheNoteAsBody) {
  rig.setAction("True", "2");
  const QString picture = rig.picture("pics/Lumivex 2024_01_31 10_00_00.png");
  actions->DoFinalAction(picture);
  ASSERT_EQ(launcher.starts().size(), 1);
  const QString name = "Lumivex 2024_01_31 10_00_00.png";
  EXPECT_EQ(launcher.starts()[0].arguments,
            QStringList({"--subject", name, "--body",
                         "Lumivex has attached a picture to this e-mail message: " + name,
                         "--attach", picture}));

  // A translated note; a path far over 255 characters arrives whole.
  rig.translateMailBody("Lumivex ha allegato un'immagine");
  const QString deep = rig.picture(std::string(20, 'd') + "/" + std::string(120, 'e') + "/" +
                                   std::string(120, 'f') + "/shot.png");
  ASSERT_GT(deep.size(), 255);
  actions->DoFinalAction(deep);
  ASSERT_EQ(launcher.starts().size(), 2);
  EXPECT_EQ(launcher.starts()[1].arguments.value(3), "Lumivex ha allegato un'immagine: shot.png");
  EXPECT_EQ(launcher.starts()[1].arguments.value(5), deep);

  // No file under the name (clipboard mode): nothing opens and nothing is shown.
  QList<int> codes;
  actions->mail().OnMapiError = [&](int code) { codes << code; };
  actions->DoFinalAction(picture + ".missing");
  EXPECT_EQ(launcher.starts().size(), 2);
  EXPECT_EQ(codes, QList<int>{kMailAttachmentNotFound});
  launcher.failStarts();
  actions->DoFinalAction(picture);
  EXPECT_EQ(codes, (QList<int>{kMailAttachmentNotFound, kMailFailure}));
  EXPECT_TRUE(rig.errors.isEmpty()) << rig.errors.join('|').toStdString();
}

TEST_F(FakeLauncherTest, NoMailProgramIsAnErrorInTheErrorBox) {
  FakeLauncher bare;
  auto withoutMail = rig.make(bare);
  rig.setAction("True", "2");
  withoutMail->DoFinalAction(rig.picture("shot.png"));
  EXPECT_EQ(rig.errors, QStringList{"MAPI services are not available on this system"});
  EXPECT_TRUE(bare.starts().isEmpty());
}

TEST_F(FakeLauncherTest, ArchiveBesideThePictureOnlyWhenThePictureExists) {
  rig.setAction("True", "4");
  const QString picture = rig.picture("a.b/-shot.jpg");
  const QString folder = QFileInfo(picture).absolutePath();
  actions->DoFinalAction(picture);
  ASSERT_EQ(launcher.starts().size(), 1);
  EXPECT_EQ(launcher.starts()[0].arguments,
            QStringList({"a", "-t7z", "-mx=9", "--", folder + "/-shot.7z", picture}));

  actions->DoFinalAction(folder + "/gone.png");  // clipboard mode, or a failed write
  EXPECT_EQ(launcher.starts().size(), 1);

  EXPECT_EQ(ArchiveName("/p/a.b/shot", true), "/p/a.b/shot.zip");
  EXPECT_EQ(ArchiveName("/p/shot.tar.png", false), "/p/shot.tar.7z");
  EXPECT_EQ(ArchiveName("/p/shot.", true), "/p/shot.zip");
}

// The real 7-Zip: what an archive lists, once the archiver has finished (bounded wait).
QStringList archiveEntries(const QString& archiver, const QString& archive) {
  QProcess list;
  list.start(archiver, {"l", "-slt", "--", archive});
  if (!list.waitForFinished(10000) || list.exitCode() != 0) return {};
  QStringList entries;
  for (const QString& line : QString::fromUtf8(list.readAllStandardOutput()).split('\n'))
    if (line.startsWith("Path = ") && line.mid(7) != archive) entries << line.mid(7);
  entries.sort();
  return entries;
}

TEST(SevenZipTest, MakesZipAnd7zBesideThePictureAndAddsToAnExistingArchive) {
  platform::PosixLauncher launcher;
  const QString archiver = FindArchiver(launcher);
  ASSERT_FALSE(archiver.isEmpty()) << "7-Zip (package 7zip) is not installed";
  ASSERT_TRUE(ArchiverPresent(launcher));
  test::ActionsRig rig;
  auto actions = rig.make(launcher);
  const QString png = rig.picture("my pics/-it's \"q\" $HOME.png", std::string(5000, 'p'));
  const QString jpg = rig.picture("my pics/-it's \"q\" $HOME.jpg", std::string(3000, 'j'));
  const QString base = png.chopped(4);
  const QStringList both{"-it's \"q\" $HOME.jpg", "-it's \"q\" $HOME.png"};

  rig.setAction("True", "3");
  actions->DoFinalAction(png);
  EXPECT_TRUE(test::waitFor([&] { return !archiveEntries(archiver, base + ".zip").isEmpty(); }));
  EXPECT_EQ(archiveEntries(archiver, base + ".zip"), QStringList{both[1]});
  actions->DoFinalAction(jpg);  // the same archive name: the picture is added
  EXPECT_TRUE(test::waitFor([&] { return archiveEntries(archiver, base + ".zip") == both; }));

  // A missing picture first: by the time the next archive is done, an archiver started for
  // it would have left its empty archive.
  rig.setAction("True", "4");
  const QString missing = QString::fromStdString((rig.dir.path / "missing.png").string());
  actions->DoFinalAction(missing);
  actions->DoFinalAction(png);
  EXPECT_TRUE(test::waitFor([&] { return !archiveEntries(archiver, base + ".7z").isEmpty(); }));
  EXPECT_EQ(archiveEntries(archiver, base + ".7z"), QStringList{both[1]});
  EXPECT_FALSE(QFileInfo::exists(ArchiveName(missing, false)));
  EXPECT_TRUE(rig.errors.isEmpty());
}

TEST(SevenZipTest, NoArchiverOnThePathIsSilentAndNotPresent) {
  test::ActionsRig rig;
  const QByteArray path = qgetenv("PATH");
  qputenv("PATH", QByteArray::fromStdString((rig.dir.path / "empty").string()));
  platform::PosixLauncher launcher;
  EXPECT_FALSE(ArchiverPresent(launcher));
  auto actions = rig.make(launcher);
  rig.setAction("True", "3");
  const QString picture = rig.picture("shot.png");
  actions->DoFinalAction(picture);
  qputenv("PATH", path);
  EXPECT_TRUE(rig.errors.isEmpty());
  EXPECT_FALSE(QFileInfo::exists(ArchiveName(picture, true)));
}

}  // namespace
}  // namespace lumivex::actions
