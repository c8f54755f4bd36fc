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

}  // namespace lumivex::output
