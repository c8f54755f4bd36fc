// The parts of a RIFF WAVE file a player needs, read without trusting any size in the file.
#pragma once

#include <QByteArrayView>

#include <optional>

namespace lumivex::platform {

struct WaveSound {
  int channels = 0;
  int samplesPerSecond = 0;
  int bitsPerSample = 0;   // 8 (unsigned), 16, 24 or 32 (signed little-endian)
  int blockAlign = 0;      // bytes of one sample frame, all channels
  QByteArrayView samples;  // whole frames only; points into the parsed bytes
};

// The format and samples of an uncompressed PCM wave (format tag 1, or the extensible tag with
// the PCM subformat), from the first "fmt " chunk and the first "data" chunk after it. Nothing
// for another format, a format that contradicts itself, a missing or cut "fmt " chunk, or no
// "data" chunk. A "data" chunk cut short by the end of the bytes keeps its whole frames.
std::optional<WaveSound> parseWave(QByteArrayView bytes);

}  // namespace lumivex::platform
