#include "output/ShutterSound.h"

#include <QFile>

// Resources of a static library are registered by name, outside any namespace.
static void initSounds() { Q_INIT_RESOURCE(sounds); }

namespace lumivex::output {

QByteArray CameraSound() {
  initSounds();
  QFile sound(QStringLiteral(":/sounds/CAMERA.wav"));
  return sound.open(QIODevice::ReadOnly) ? sound.readAll() : QByteArray();
}

void PlayCameraSound(const settings::SettingsReader& settings, platform::SoundPlayer& player) {
  if (!settings.soundOn()) return;
  // Read at every call: the resource is compiled in, so this copies 5 KB from read-only memory.
  player.playWave(CameraSound());
}

std::future<void> StartCameraSound(const settings::SettingsReader& settings,
                                   platform::SoundPlayer& player) {
  if (!settings.soundOn()) {
    std::promise<void> silent;
    silent.set_value();
    return silent.get_future();
  }
  std::promise<void> begun;
  std::future<void> begins = begun.get_future();
  std::future<void> played = std::async(
      std::launch::async, [&player, begun = std::move(begun), wave = CameraSound()]() mutable {
        begun.set_value();
        player.playWave(wave);
      });
  // The sound starts before anything is stored, as when it played on this thread.
  begins.wait();
  return played;
}

}  // namespace lumivex::output
