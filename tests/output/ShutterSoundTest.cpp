// The shutter sound reaches ALSA's default device sample for sample when the sound setting is on,
// and not at all when it is off. The test's ALSA configuration turns "default" into a file.
#include "output/ShutterSound.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "TempDir.h"
#include "platform/FakeSoundPlayer.h"
#include "platform/WaveFile.h"
#include "platform/alsa/AlsaSoundPlayer.h"
#include "settings/Registry.h"

using namespace lumivex;

namespace {

class ShutterSound : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("ALSA_CONFIG_PATH", TEST_ASOUND_CONF, 1);
    setenv("ALSA_TEST_OUT", played.c_str(), 1);
  }
  void setSound(const char* value) const {
    registry.WriteRegistryText(kSettingsKey, "ClickOn_Checked", value);
  }

  TempDir dir;
  std::filesystem::path played = dir.path / "played.raw";
  Registry registry{dir.path / "config", dir.path / "system"};
  settings::SettingsReader settings{registry.key(kSettingsKey)};
};

}  // namespace

TEST_F(ShutterSound, PlaysTheExactSamplesOnlyWhenSwitchedOn) {
  auto player = platform::createAlsaSoundPlayer();
  const QByteArray wave = output::CameraSound();
  const auto sound = platform::parseWave(wave);
  ASSERT_TRUE(sound);  // the embedded sound: PCM, mono, 11025 Hz, 8 bits, 5090 samples
  EXPECT_EQ(sound->channels, 1);
  EXPECT_EQ(sound->samplesPerSecond, 11025);
  EXPECT_EQ(sound->bitsPerSample, 8);
  const QByteArray samples = sound->samples.toByteArray();
  ASSERT_EQ(samples.size(), 5090);

  setSound("TRUE");
  output::PlayCameraSound(settings, *player);
  EXPECT_EQ(QByteArray::fromStdString(dir.read(played)), samples);

  std::filesystem::remove(played);
  setSound("False");
  output::PlayCameraSound(settings, *player);
  EXPECT_FALSE(std::filesystem::exists(played));
}

TEST_F(ShutterSound, SettingIsReadAtEveryCall) {
  platform::FakeSoundPlayer player;
  output::PlayCameraSound(settings, player);  // absent: off
  for (const char* value : {"tRuE", "yes", "1", "False", "true"}) {
    setSound(value);
    output::PlayCameraSound(settings, player);
  }
  ASSERT_EQ(player.played.size(), 2);
  EXPECT_EQ(player.played[1], output::CameraSound());
}

TEST_F(ShutterSound, NoSoundDeviceIsNoError) {
  // A configuration without any device: opening "default" fails.
  const auto empty = dir.path / "empty.conf";
  dir.write("empty.conf", "");
  setenv("ALSA_CONFIG_PATH", empty.c_str(), 1);
  setSound("True");
  auto player = platform::createAlsaSoundPlayer();
  testing::internal::CaptureStderr();
  output::PlayCameraSound(settings, *player);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_FALSE(std::filesystem::exists(played));
}
