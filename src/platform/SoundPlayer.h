// Sound output: plays a short sound held in memory and returns when it has been played.
#pragma once

#include <QByteArrayView>

namespace lumivex::platform {

class SoundPlayer {
 public:
  virtual ~SoundPlayer() = default;

  // Plays `wave`, a whole RIFF WAVE file (uncompressed PCM), and returns when it has been played.
  // Nothing is reported: without a sound device, with a device held elsewhere or with bytes that
  // are no playable wave, the call returns at once and the caller goes on. A single picture's
  // sound plays on a thread of its own while the picture is stored; calls never overlap.
  virtual void playWave(QByteArrayView wave) = 0;
};

}  // namespace lumivex::platform
