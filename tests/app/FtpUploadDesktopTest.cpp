// The after-capture upload through the main form: a real FTP server, the tray's notices read
// from the recording notification service.
#include <gtest/gtest.h>

#include "DesktopProbe.h"
#include "FtpTestSupport.h"
#include "TempDir.h"
#include "TestEnvironment.h"
#include "app/THidForm.h"
#include "settings/SettingsTable.h"

using namespace lumivex;
using namespace lumivex::ftp::test;

namespace {

struct FtpUploadDesktop : ::testing::Test {
  TempDir dir;
  platform::FakeUserEnvironment env = environmentIn(dir);
  // Real notices and time, hotkeys that no test presses, no captures.
  struct Platform {
    platform::FakeHotkeyBackend hotkeys;
    platform::DesktopNoticeService notices;
    platform::QtClock clock;
    platform::FakeScreenGrabber screen;
    platform::FakeSoundPlayer sound;
    platform::FakePointerControl pointer;
    platform::FakeAutostartEntry autostart;
  } platform;
  RecordingErrorReporter errors;
  SettingsFile key{dir.path / "config/Quorlan Software/Vistrel.conf", kSettingsKey};
  RealServer server;

  std::unique_ptr<THidForm> start() {
    key.write(settings::kFtpServer, "127.0.0.1");
    key.write(settings::kFtpPort, std::to_string(server.Port()));
    key.write(settings::kFtpUser, "test");
    key.write(settings::kFtpPassword, "secret");
    key.write(settings::kFtpFolder, "pics");
    auto lang = QString::fromStdString((dir.path / "lang.txt").string());
    auto form = std::make_unique<THidForm>(formServices(env, errors, lang, platform));
    form->overview().delay().stop();  // the overview's notice is not what this test reads
    return form;
  }

  QStringList summariesSince(qsizetype from) {
    QStringList out;
    const auto all = probe::notices();
    for (qsizetype i = from; i < all.size(); ++i) out << all[i]["summary"].toString();
    return out;
  }
};

TEST_F(FtpUploadDesktop, CapturedFileReachesTheServerAndTheTraySaysSo) {
  ASSERT_GT(server.Port(), 0);
  std::filesystem::create_directories(std::filesystem::path(server.Root()) / "pics");
  const std::string picture = (dir.path / "LumivexPhoto 1.png").string();
  const std::string bytes = RandomBytes(300000, 7);
  WriteFile(picture, bytes);

  auto form = start();
  const qsizetype before = probe::notices().size();
  form->StartFtpUpload(QString::fromStdString(picture));

  ASSERT_TRUE(
      runEventsUntil([&] { return summariesSince(before).contains("Upload Complete"); }, 20000))
      << summariesSince(before).join(", ").toStdString();
  EXPECT_EQ(ReadFile(server.Root() + "/pics/LumivexPhoto 1.png"), bytes);
  const auto all = probe::notices();
  QStringList bodies;
  for (qsizetype i = before; i < all.size(); ++i) bodies << all[i]["body"].toString();
  EXPECT_TRUE(bodies.contains("Connected to: 127.0.0.1")) << bodies.join("|").toStdString();
  EXPECT_TRUE(bodies.contains("File LumivexPhoto 1.png uploaded to 127.0.0.1."))
      << bodies.join("|").toStdString();
  EXPECT_TRUE(runEventsUntil([&] { return form->ftpClient().State() == ftp::ftpIdle; }, 10000));
  EXPECT_TRUE(errors.errors.isEmpty()) << errors.errors.join("|").toStdString();
}

TEST_F(FtpUploadDesktop, BadPortTextIsShownAndNothingConnects) {
  auto form = start();
  key.write(settings::kFtpPort, "70000");
  EXPECT_THROW(form->StartFtpUpload(QString::fromStdString((dir.path / "x.png").string())),
               std::exception);
  EXPECT_EQ(form->ftpClient().State(), ftp::ftpIdle);
}

}  // namespace
