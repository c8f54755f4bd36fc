// The wave reader takes its sizes from the bytes it is given: it must find the format and the
// samples of real files and never read past the end of damaged ones.
#include "platform/WaveFile.h"

#include <gtest/gtest.h>

#include <QByteArray>

#include <cstdint>

using lumivex::platform::parseWave;

namespace {

QByteArray le(std::uint32_t value, int size) {
  QByteArray out;
  for (int i = 0; i < size; ++i) out.append(char((value >> (8 * i)) & 0xFF));
  return out;
}

QByteArray chunk(const char* type, const QByteArray& body, std::uint32_t size) {
  QByteArray out = QByteArray(type, 4) + le(size, 4) + body;
  if (body.size() % 2) out.append('\0');
  return out;
}
QByteArray chunk(const char* type, const QByteArray& body) {
  return chunk(type, body, std::uint32_t(body.size()));
}

QByteArray fmt(int tag, int channels, int rate, int bits, int blockAlign) {
  return le(tag, 2) + le(channels, 2) + le(rate, 4) + le(rate * blockAlign, 4) + le(blockAlign, 2) +
         le(bits, 2);
}

QByteArray riff(const QByteArray& chunks) {
  return "RIFF" + le(std::uint32_t(4 + chunks.size()), 4) + "WAVE" + chunks;
}

}  // namespace

TEST(WaveFile, FindsFormatAndSamplesPastOtherChunks) {
  const QByteArray samples("\x01\x02\x03\x04\x05\x06\x07\x08", 8);
  // A LIST chunk of odd length (padded) before the format, one after it.
  const QByteArray wave = riff(chunk("LIST", "abc") + chunk("fmt ", fmt(1, 2, 22050, 16, 4)) +
                               chunk("fact", le(2, 4)) + chunk("data", samples));
  auto sound = parseWave(wave);
  ASSERT_TRUE(sound);
  EXPECT_EQ(sound->channels, 2);
  EXPECT_EQ(sound->samplesPerSecond, 22050);
  EXPECT_EQ(sound->bitsPerSample, 16);
  EXPECT_EQ(sound->blockAlign, 4);
  EXPECT_EQ(sound->samples, samples);
}

TEST(WaveFile, DataCutShortKeepsWholeFrames) {
  // Claims 1000 bytes, holds 7: one 4-byte frame of 16-bit stereo survives.
  const QByteArray wave =
      riff(chunk("fmt ", fmt(1, 2, 8000, 16, 4)) + chunk("data", "1234567", 1000));
  // The samples point into the parsed bytes, so those must outlive the result.
  const QByteArray withoutPad = wave.left(wave.size() - 1);
  auto sound = parseWave(withoutPad);
  ASSERT_TRUE(sound);
  EXPECT_EQ(sound->samples, QByteArray("1234"));
}

TEST(WaveFile, RefusesWhatItCannotPlayOrRead) {
  const QByteArray pcm8 = fmt(1, 1, 11025, 8, 1);
  const QByteArray refused[] = {
      QByteArray(),
      QByteArray("RIFF\0\0\0\0WAV", 11),
      riff(chunk("data", "ab") + chunk("fmt ", pcm8)),  // samples before the format
      riff(chunk("fmt ", pcm8)),                        // no samples
      riff(chunk("fmt ", fmt(3, 1, 11025, 32, 4)) + chunk("data", "abcd")),  // float samples
      riff(chunk("fmt ", fmt(1, 2, 11025, 16, 2)) + chunk("data", "ab")),    // wrong frame size
      riff(chunk("fmt ", fmt(1, 0, 11025, 8, 0)) + chunk("data", "ab")),     // no channels
      riff(chunk("fmt ", fmt(1, 1, 11025, 12, 2)) + chunk("data", "ab")),    // odd depth
      riff(chunk("fmt ", pcm8.left(14), 16) + chunk("data", "ab")),          // format cut short
      riff(chunk("fmt ", pcm8, 0xFFFFFFF0u) + chunk("data", "ab")),          // format past the end
      riff(chunk("JUNK", "", 0xFFFFFFFFu) + chunk("fmt ", pcm8) + chunk("data", "ab")),
  };
  for (const QByteArray& bytes : refused) EXPECT_FALSE(parseWave(bytes)) << bytes.toHex().data();
}
