// In-memory sound player for tests: keeps every wave it was asked to play, in order.
#pragma once

#include "platform/SoundPlayer.h"

#include <QByteArray>
#include <QList>

namespace lumivex::platform {

class FakeSoundPlayer final : public SoundPlayer {
 public:
  void playWave(QByteArrayView wave) override { played.append(wave.toByteArray()); }
  QList<QByteArray> played;
};

}  // namespace lumivex::platform
