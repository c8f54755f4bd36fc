#include "platform/WaveFile.h"

#include <algorithm>
#include <cstdint>

namespace lumivex::platform {
namespace {

constexpr std::uint16_t kFormatPcm = 1, kFormatExtensible = 0xFFFE;
// KSDATAFORMAT_SUBTYPE_PCM after its first two bytes (which hold the format tag 1).
constexpr unsigned char kPcmSubformatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

std::uint32_t le(QByteArrayView bytes, qsizetype at, int size) {
  std::uint32_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = (value << 8) | std::uint8_t(bytes[at + i]);
  return value;
}

bool sameTag(QByteArrayView bytes, qsizetype at, const char* tag) {
  return bytes.sliced(at, 4) == QByteArrayView(tag, 4);
}

bool isPcm(QByteArrayView fmt) {
  const std::uint32_t tag = le(fmt, 0, 2);
  if (tag == kFormatPcm) return true;
  if (tag != kFormatExtensible || fmt.size() < 40) return false;
  return le(fmt, 24, 2) == kFormatPcm &&
         fmt.sliced(26, 14) == QByteArrayView(kPcmSubformatTail, sizeof kPcmSubformatTail);
}

std::optional<WaveSound> readFormat(QByteArrayView fmt) {
  if (fmt.size() < 16 || !isPcm(fmt)) return std::nullopt;
  WaveSound sound;
  sound.channels = int(le(fmt, 2, 2));
  sound.samplesPerSecond = int(std::min<std::uint32_t>(le(fmt, 4, 4), 1u << 30));
  sound.blockAlign = int(le(fmt, 12, 2));
  sound.bitsPerSample = int(le(fmt, 14, 2));
  const bool knownDepth = sound.bitsPerSample == 8 || sound.bitsPerSample == 16 ||
                          sound.bitsPerSample == 24 || sound.bitsPerSample == 32;
  if (!knownDepth || sound.channels < 1 || sound.channels > 32 || sound.samplesPerSecond < 1 ||
      sound.blockAlign != sound.channels * sound.bitsPerSample / 8)
    return std::nullopt;
  return sound;
}

}  // namespace

std::optional<WaveSound> parseWave(QByteArrayView bytes) {
  if (bytes.size() < 12 || !sameTag(bytes, 0, "RIFF") || !sameTag(bytes, 8, "WAVE"))
    return std::nullopt;
  std::optional<WaveSound> sound;
  // 64-bit positions: a chunk size near 4 GiB must not wrap around.
  const std::int64_t end = bytes.size();
  for (std::int64_t at = 12; at + 8 <= end;) {
    const std::int64_t size = le(bytes, at + 4, 4), body = at + 8;
    if (sameTag(bytes, at, "fmt ") && !sound) {
      if (body + size > end) return std::nullopt;
      sound = readFormat(bytes.sliced(body, size));
      if (!sound) return std::nullopt;
    } else if (sameTag(bytes, at, "data") && sound) {
      const std::int64_t available = std::min(size, end - body);
      sound->samples = bytes.sliced(body, available - available % sound->blockAlign);
      return sound;
    }
    at = body + size + (size & 1);  // chunks are padded to an even length
  }
  return std::nullopt;
}

}  // namespace lumivex::platform
