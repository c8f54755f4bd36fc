#include "platform/alsa/AlsaSoundPlayer.h"

#include "platform/WaveFile.h"

#include <alsa/asoundlib.h>

namespace lumivex::platform {
namespace {

// The buffer asked of the device: long enough not to underrun on a loaded machine, short
// enough that the drain ends soon after the last sample.
constexpr unsigned kLatencyMicroseconds = 200000;
// Underruns and suspends recovered within one sound before it is given up.
constexpr int kMaxRecoveries = 4;

// ALSA prints its failures (no card, no configuration) on stderr from inside the library; a
// missing sound device is no news to report at every capture.
void quietAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

snd_pcm_format_t pcmFormat(int bitsPerSample) {
  switch (bitsPerSample) {
    case 8:
      return SND_PCM_FORMAT_U8;  // 8-bit wave samples are unsigned
    case 16:
      return SND_PCM_FORMAT_S16_LE;
    case 24:
      return SND_PCM_FORMAT_S24_3LE;
    default:
      return SND_PCM_FORMAT_S32_LE;
  }
}

class AlsaSoundPlayer final : public SoundPlayer {
 public:
  AlsaSoundPlayer() { snd_lib_error_set_handler(quietAlsaErrors); }

  void playWave(QByteArrayView wave) override {
    const std::optional<WaveSound> sound = parseWave(wave);
    if (!sound || sound->samples.empty()) return;
    // Opened without blocking: a device that another program holds exclusively must not stall
    // the capture until it is free. Writing and draining then block, so the call returns when
    // the sound has been played.
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) return;
    if (snd_pcm_nonblock(pcm, 0) == 0 &&
        snd_pcm_set_params(pcm, pcmFormat(sound->bitsPerSample), SND_PCM_ACCESS_RW_INTERLEAVED,
                           unsigned(sound->channels), unsigned(sound->samplesPerSecond),
                           1 /* resample where the device needs another rate */,
                           kLatencyMicroseconds) == 0 &&
        writeAll(pcm, *sound))
      snd_pcm_drain(pcm);
    snd_pcm_close(pcm);
  }

 private:
  static bool writeAll(snd_pcm_t* pcm, const WaveSound& sound) {
    const char* data = sound.samples.data();
    snd_pcm_uframes_t left = snd_pcm_uframes_t(sound.samples.size() / sound.blockAlign);
    for (int recoveries = 0; left > 0;) {
      const snd_pcm_sframes_t written = snd_pcm_writei(pcm, data, left);
      if (written > 0) {
        data += written * sound.blockAlign;
        left -= snd_pcm_uframes_t(written);
      } else if (++recoveries > kMaxRecoveries ||
                 (written < 0 && snd_pcm_recover(pcm, int(written), 1 /* silent */) < 0)) {
        return false;
      }
    }
    return true;
  }
};

}  // namespace

std::unique_ptr<SoundPlayer> createAlsaSoundPlayer() { return std::make_unique<AlsaSoundPlayer>(); }

}  // namespace lumivex::platform
