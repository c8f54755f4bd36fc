#include "codecs/PngWriter.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

#include "CodecTestSupport.h"

namespace {

using codecs_test::PngChunks;
using codecs_test::TestPicture;

std::uint32_t ScreenPixel(int x, int y) {
  // Gradient desktop with a few flat windows and "text" strokes.
  if (x > 40 && x < 900 && y > 30 && y < 700) {
    return ((x / 3 + y / 7) % 5 == 0) ? 0x202020 : 0xF8F8F8;
  }
  return static_cast<std::uint32_t>((x * 255 / 1920) << 16 | (y * 255 / 1080) << 8 | 0x80);
}

std::vector<std::uint8_t> Inflate(const std::vector<codecs_test::PngChunk>& chunks) {
  std::vector<std::uint8_t> stream;
  for (const auto& c : chunks) {
    if (c.type == "IDAT") stream.insert(stream.end(), c.data.begin(), c.data.end());
  }
  std::vector<std::uint8_t> out(1 << 16);
  z_stream z{};
  EXPECT_EQ(inflateInit(&z), Z_OK);
  z.next_in = stream.data();
  z.avail_in = static_cast<uInt>(stream.size());
  std::vector<std::uint8_t> all;
  int result;
  do {
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    result = inflate(&z, Z_NO_FLUSH);
    all.insert(all.end(), out.data(), out.data() + (out.size() - z.avail_out));
  } while (result == Z_OK);
  EXPECT_EQ(result, Z_STREAM_END);
  EXPECT_EQ(z.avail_in, 0u) << "bytes after the end of the zlib stream";
  inflateEnd(&z);
  return all;
}

// All IDAT chunks are full except the last, which holds 1 to 65535 bytes.
void ExpectIdatFraming(const std::vector<codecs_test::PngChunk>& chunks) {
  std::vector<std::size_t> sizes;
  for (const auto& c : chunks) {
    if (c.type == "IDAT") sizes.push_back(c.data.size());
  }
  ASSERT_FALSE(sizes.empty());
  for (std::size_t i = 0; i + 1 < sizes.size(); ++i) EXPECT_EQ(sizes[i], 65535u) << "IDAT " << i;
  EXPECT_GE(sizes.back(), 1u);
  EXPECT_LE(sizes.back(), 65535u);
}

std::vector<std::uint8_t> WriteToMemory(const codecs::PictureView& picture, int level) {
  codecs::TPNGWriter writer;
  writer.Assign(picture);
  writer.SetCompressionLevel(level);
  codecs::MemorySink sink;
  writer.SaveToStream(sink);
  return sink.Bytes();
}

// Noise big enough that true colour needs two IDAT chunks at every level; level 0 goes
// through zlib and 1-9 through libdeflate, so both roads are read back by libpng and zlib.
TEST(PngWriter, EveryLevelAndDepthDecodesToItsOwnPixelsInFramedSubFilteredRows) {
  codecs_test::TempDir dir;
  std::mt19937 random(7);
  for (const int bpp : {32, 24, 16, 8, 4, 1}) {
    TestPicture picture;
    codecs_test::MakePicture(picture, 157, 150, bpp, [&](int, int) { return random(); });
    const bool palette = bpp < 16;
    for (int level = 0; level <= 9; ++level) {
      SCOPED_TRACE(testing::Message() << bpp << " bpp, level " << level);
      const std::string path = dir.File("every.png");
      codecs::SaveAsPng(path, picture.view, level);

      const auto chunks = PngChunks(codecs_test::ReadFile(path));
      for (const auto& c : chunks) EXPECT_TRUE(c.crcOk) << c.type;
      ExpectIdatFraming(chunks);
      const auto raw = Inflate(chunks);
      const std::size_t rowLength = 1 + (palette ? (157 * bpp + 7) / 8 : 157 * 3);
      ASSERT_EQ(raw.size(), rowLength * 150);
      for (std::size_t row = 0; row < 150; ++row) ASSERT_EQ(raw[row * rowLength], 1) << row;

      const auto png = codecs_test::DecodePng(path);
      ASSERT_EQ(png.colourType, palette ? 3 : 2);
      for (int y = 0; y < 150; ++y) {
        for (int x = 0; x < 157; ++x) {
          if (palette) {
            const int shift = 8 - bpp - (x * bpp) % 8;
            const int got = (png.rows[y][x * bpp / 8] >> shift) & ((1 << bpp) - 1);
            ASSERT_EQ(got, codecs_test::PaletteIndexAt(picture.view, x, y)) << x << "," << y;
          } else {
            const std::uint8_t* got = &png.rows[y][3 * x];
            ASSERT_EQ(static_cast<std::uint32_t>(got[0] << 16 | got[1] << 8 | got[2]),
                      codecs_test::ExpectedRgb(picture.view, x, y))
                << x << "," << y;
          }
        }
      }
    }
  }
}

// Rows of 32-bit pixels are filtered several pixels at a time where the processor allows it,
// the last few one by one: every width up to two groups, each pixel different from its left.
TEST(PngWriter, CapturedRowsOfAnyWidthKeepEveryPixel) {
  codecs_test::TempDir dir;
  std::mt19937 random(11);
  for (int width = 1; width <= 13; ++width) {
    TestPicture picture;
    codecs_test::MakePicture(picture, width, 3, 32, [&](int, int) { return random(); });
    const std::string path = dir.File("narrow.png");
    codecs::SaveAsPng(path, picture.view, 1);
    const auto png = codecs_test::DecodePng(path);
    for (int y = 0; y < 3; ++y) {
      for (int x = 0; x < width; ++x) {
        const std::uint8_t* got = &png.rows[y][3 * x];
        ASSERT_EQ(static_cast<std::uint32_t>(got[0] << 16 | got[1] << 8 | got[2]),
                  codecs_test::ExpectedRgb(picture.view, x, y))
            << "width " << width << " at " << x << "," << y;
      }
    }
  }
}

TEST(PngWriter, ScreenCaptureHasOnlyTheFourChunksAndSubFilteredRows) {
  codecs_test::TempDir dir;
  TestPicture picture;
  codecs_test::MakePicture(picture, 1920, 1080, 32, ScreenPixel);
  const std::string path = dir.File("screen.png");
  codecs::SaveAsPng(path, picture.view, 9);

  const auto file = codecs_test::ReadFile(path);
  const std::uint8_t signature[] = {137, 80, 78, 71, 13, 10, 26, 10};
  ASSERT_TRUE(std::equal(signature, signature + 8, file.begin()));
  const auto chunks = PngChunks(file);
  ASSERT_GE(chunks.size(), 3u);
  EXPECT_EQ(chunks.front().type, "IHDR");
  EXPECT_EQ(chunks.back().type, "IEND");
  EXPECT_TRUE(chunks.back().data.empty());
  for (std::size_t i = 1; i + 1 < chunks.size(); ++i) EXPECT_EQ(chunks[i].type, "IDAT");
  for (const auto& c : chunks) EXPECT_TRUE(c.crcOk) << c.type;
  const std::vector<std::uint8_t> ihdr = {0, 0, 0x07, 0x80, 0, 0, 0x04, 0x38, 8, 2, 0, 0, 0};
  EXPECT_EQ(chunks.front().data, ihdr);
  ExpectIdatFraming(chunks);

  const auto raw = Inflate(chunks);
  const std::size_t rowLength = 1 + 1920 * 3;
  ASSERT_EQ(raw.size(), rowLength * 1080);
  for (std::size_t row = 0; row < 1080; ++row) ASSERT_EQ(raw[row * rowLength], 1) << row;

  const auto png = codecs_test::DecodePng(path);
  for (int y = 0; y < 1080; y += 7) {
    for (int x = 0; x < 1920; ++x) {
      const std::uint8_t* got = &png.rows[y][3 * x];
      ASSERT_EQ(static_cast<std::uint32_t>(got[0] << 16 | got[1] << 8 | got[2]), ScreenPixel(x, y));
    }
  }
}

// Several megabytes of rows are compressed in bands on all cores: at every level the bands
// form one zlib stream, and the rows crossing the joins (noise, flat colour, text) come back. A
// picture of detail throughout (noise) is cut into shorter bands.
TEST(PngWriter, LargePicturesAreOneStreamWithExactPixelsAtEveryLevel) {
  codecs_test::TempDir dir;
  std::mt19937 random(13);
  TestPicture screen, detail;
  codecs_test::MakePicture(screen, 1500, 2100, 24, [&](int x, int y) {
    if (y % 700 > 650 || (y % 700 < 40 && x < 700)) return static_cast<std::uint32_t>(random());
    return ScreenPixel(x, y % 1080);
  });
  codecs_test::MakePicture(detail, 1500, 2100, 32,
                           [&](int, int) { return static_cast<std::uint32_t>(random()); });
  for (const auto& [picture, levels] :
       {std::pair{&screen, std::vector{1, 2, 6, 9}}, std::pair{&detail, std::vector{1, 9}}}) {
    for (const int level : levels) {
      SCOPED_TRACE(testing::Message() << "level " << level << ", noise " << (picture == &detail));
      const std::string path = dir.File("large.png");
      codecs::SaveAsPng(path, picture->view, level);
      const auto chunks = PngChunks(codecs_test::ReadFile(path));
      ExpectIdatFraming(chunks);
      ASSERT_EQ(Inflate(chunks).size(), (1 + 1500 * 3) * std::size_t{2100});
      const auto png = codecs_test::DecodePng(path);
      ASSERT_EQ(png.rows.size(), 2100u);
      for (int y = 0; y < 2100; ++y) {
        for (int x = 0; x < 1500; ++x) {
          const std::uint8_t* got = &png.rows[y][3 * x];
          ASSERT_EQ(static_cast<std::uint32_t>(got[0] << 16 | got[1] << 8 | got[2]),
                    codecs_test::ExpectedRgb(picture->view, x, y))
              << x << "," << y;
        }
      }
    }
  }
}

TEST(PngWriter, PalettePicturesKeepTheirIndicesAndTable) {
  codecs_test::TempDir dir;
  std::mt19937 random(11);
  for (const int bpp : {8, 4, 1}) {
    for (const int colours : {1 << bpp, 2}) {
      SCOPED_TRACE(testing::Message() << bpp << " bpp, " << colours << " colours");
      TestPicture picture;
      codecs_test::MakePicture(
          picture, 13, 9, bpp, [&](int, int) { return random() % (1u << bpp); }, colours);
      const std::string path = dir.File("palette.png");
      codecs::SaveAsPng(path, picture.view, 9);

      const auto png = codecs_test::DecodePng(path);
      EXPECT_EQ(png.colourType, 3);
      EXPECT_EQ(png.bitDepth, bpp);
      ASSERT_EQ(png.palette.size(), 3u << bpp);
      for (int i = 0; i < (1 << bpp); ++i) {
        const std::uint32_t want = i < colours ? picture.table[i] & 0xFFFFFF : 0;
        EXPECT_EQ(static_cast<std::uint32_t>(png.palette[3 * i] << 16 |
                                             png.palette[3 * i + 1] << 8 | png.palette[3 * i + 2]),
                  want)
            << "entry " << i;
      }
      for (int y = 0; y < 9; ++y) {
        for (int x = 0; x < 13; ++x) {
          const int shift = 8 - bpp - (x * bpp) % 8;
          const int got = (png.rows[y][x * bpp / 8] >> shift) & ((1 << bpp) - 1);
          ASSERT_EQ(got, codecs_test::PaletteIndexAt(picture.view, x, y)) << x << "," << y;
        }
      }
      const auto chunks = PngChunks(codecs_test::ReadFile(path));
      ASSERT_GE(chunks.size(), 2u);
      EXPECT_EQ(chunks[1].type, "PLTE");
      const auto raw = Inflate(chunks);
      const std::size_t rowLength = 1 + (13 * bpp + 7) / 8;
      ASSERT_EQ(raw.size(), rowLength * 9);
      for (int row = 0; row < 9; ++row) EXPECT_EQ(raw[row * rowLength], 1);
    }
  }
}

// The compressed stream is made to end exactly on a chunk boundary and one byte past it.
TEST(PngWriter, ImageDataIsCutIntoFullChunksWithoutAnEmptyOne) {
  std::mt19937 random(3);
  std::vector<std::uint8_t> noise(140000);
  for (auto& b : noise) b = static_cast<std::uint8_t>(random());
  bool exact = false, onePast = false;
  for (int width = 130950; width < 131200 && !(exact && onePast); ++width) {
    const codecs::PictureView picture{width, 1, 8, noise.data(), width, nullptr, 0};
    const auto chunks = PngChunks(WriteToMemory(picture, 0));
    std::size_t total = 0, count = 0;
    for (const auto& c : chunks) {
      if (c.type == "IDAT") total += c.data.size(), ++count;
    }
    ExpectIdatFraming(chunks);
    if (total == 2 * 65535) {
      exact = true;
      EXPECT_EQ(count, 2u);
    } else if (total == 2 * 65535 + 1) {
      onePast = true;
      EXPECT_EQ(count, 3u);
      EXPECT_EQ(chunks[chunks.size() - 2].data.size(), 1u);
    }
  }
  EXPECT_TRUE(exact) << "no width gave a stream of exactly 2 x 65535 bytes";
  EXPECT_TRUE(onePast) << "no width gave a stream of 2 x 65535 + 1 bytes";
}

TEST(PngWriter, LevelZeroStoresAndOutOfRangeLevelsAreLimited) {
  TestPicture picture;
  codecs_test::MakePicture(picture, 300, 200, 32, ScreenPixel);

  // Level 0: after the 2-byte zlib header, stored blocks only, then the Adler-32.
  const auto chunks = PngChunks(WriteToMemory(picture.view, 0));
  std::vector<std::uint8_t> stream;
  for (const auto& c : chunks) {
    if (c.type == "IDAT") stream.insert(stream.end(), c.data.begin(), c.data.end());
  }
  std::size_t at = 2;
  bool last = false;
  while (!last) {
    ASSERT_LT(at + 5, stream.size());
    last = stream[at] & 1;
    ASSERT_EQ((stream[at] >> 1) & 3, 0) << "compressed block at " << at;
    const unsigned length = stream[at + 1] | (stream[at + 2] << 8);
    ASSERT_EQ(length ^ 0xFFFF, static_cast<unsigned>(stream[at + 3] | (stream[at + 4] << 8)));
    at += 5 + length;
  }
  EXPECT_EQ(at + 4, stream.size());

  // A hand-edited level is cut to its low 8 bits, then to 0..9, and still writes a file.
  const auto nine = WriteToMemory(picture.view, 9);
  EXPECT_EQ(WriteToMemory(picture.view, 12), nine);
  EXPECT_EQ(WriteToMemory(picture.view, -1), nine);
  EXPECT_EQ(WriteToMemory(picture.view, 256 + 3), WriteToMemory(picture.view, 3));
  EXPECT_EQ(codecs::TPNGWriter().CompressionLevel(), 7);
}

TEST(PngWriter, FailuresAreReportedAndAnEmptyPictureWritesNoFile) {
  codecs_test::TempDir dir;
  TestPicture small, large;
  codecs_test::MakePicture(small, 10, 10, 32, ScreenPixel);
  std::mt19937 random(5);
  codecs_test::MakePicture(large, 400, 400, 32, [&](int, int) { return random(); });

  for (const auto& [w, h] : {std::pair{0, 5}, std::pair{5, 0}, std::pair{0, 0}}) {
    const codecs::PictureView empty{w, h, 32, small.pixels.data(), 40, nullptr, 0};
    EXPECT_THROW(codecs::SaveAsPng(dir.File("empty.png"), empty, 9), codecs::CodecError);
    EXPECT_FALSE(std::filesystem::exists(dir.File("empty.png")));
  }

  // A full disk: within the first buffer (reported at close) and in the middle of the stream.
  for (const TestPicture* picture : {&small, &large}) {
    for (const int level : {0, 1, 9}) {
      codecs_test::ExpectWriteFailures(
          [&](const std::string& path) { codecs::SaveAsPng(path, picture->view, level); });
    }
  }
  // ... and while other bands of a large picture are still being compressed.
  TestPicture banded;
  codecs_test::MakePicture(banded, 1600, 1200, 32, [&](int, int) { return random(); });
  codecs_test::ExpectWriteFailures(
      [&](const std::string& path) { codecs::SaveAsPng(path, banded.view, 1); });
}

}  // namespace
