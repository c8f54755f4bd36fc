#include "codecs/JpegImage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <random>

#include "CodecTestSupport.h"

namespace {

using codecs_test::TestPicture;

// Smooth colours with one sharp-edged box: what JPEG keeps well and what it does not.
std::uint32_t Scene(int x, int y) {
  if (x > 20 && x < 40 && y > 10 && y < 30) return 0x2040C0;
  return static_cast<std::uint32_t>((x * 4) << 16 | (y * 5) << 8 | (100 + x - y / 2));
}

std::vector<std::uint8_t> Compress(const codecs::PictureView& picture, int quality) {
  codecs::TJPEGImage image;
  image.Assign(picture);
  image.SetCompressionQuality(quality);
  image.Compress();
  return {image.Data().begin(), image.Data().end()};
}

// Every depth goes through the same libjpeg parameters as a plain RGB compression, and the
// result reads back close to the picture.
TEST(JpegImage, EveryDepthMatchesLibjpegDrivenDirectlyAndDecodesClose) {
  for (const int bpp : {32, 24, 16, 8}) {
    SCOPED_TRACE(bpp);
    TestPicture picture;
    if (bpp == 16) {
      codecs_test::MakePicture(picture, 61, 47, 16, [](int x, int y) {
        const std::uint32_t c = Scene(x, y);
        return ((c >> 19) & 31) << 10 | ((c >> 11) & 31) << 5 | ((c >> 3) & 31);
      });
    } else if (bpp == 8) {
      codecs_test::MakePicture(picture, 61, 47, 8, [](int x, int y) { return (x + y) % 256; });
    } else {
      codecs_test::MakePicture(picture, 61, 47, bpp, Scene);
    }
    const auto ours = Compress(picture.view, 90);
    EXPECT_EQ(ours, codecs_test::ReferenceJpeg(picture.view, 90));

    const auto decoded = codecs_test::DecodeJpeg(ours);
    ASSERT_EQ(decoded.width, 61);
    ASSERT_EQ(decoded.height, 47);
    if (bpp == 8) continue;  // made-up palette colours jump from pixel to pixel
    double error = 0;
    for (int y = 0; y < 47; ++y) {
      for (int x = 0; x < 61; ++x) {
        const std::uint32_t want = codecs_test::ExpectedRgb(picture.view, x, y);
        for (int c = 0; c < 3; ++c) {
          error += std::abs(decoded.rgb[(y * 61 + x) * 3 + c] -
                            static_cast<int>((want >> (16 - 8 * c)) & 0xFF));
        }
      }
    }
    // A swapped channel or a misread depth is off by tens; JPEG loss is a few units.
    EXPECT_LT(error / (61 * 47 * 3), 6.0) << "mean error per channel";
  }
}

// Noise at quality 100 compresses to more than the first output buffer, which must then grow
// without losing or repeating a byte.
TEST(JpegImage, LargeOutputMatchesLibjpegDrivenDirectly) {
  TestPicture picture;
  std::mt19937 random(4);
  codecs_test::MakePicture(picture, 400, 300, 32, [&](int, int) { return random(); });
  const auto ours = Compress(picture.view, 100);
  // The first buffer holds max(64 KiB, width * height / 4) bytes: this output outgrew it twice.
  EXPECT_GT(ours.size(), 2u * 64 * 1024) << "the buffer was not made to grow";
  EXPECT_EQ(ours, codecs_test::ReferenceJpeg(picture.view, 100));
}

TEST(JpegImage, HeaderIsBaselineJfifWithFourTwoZeroSampling) {
  TestPicture picture;
  codecs_test::MakePicture(picture, 64, 64, 32, Scene);
  const auto bytes = Compress(picture.view, 85);
  ASSERT_GE(bytes.size(), 4u);
  EXPECT_EQ(bytes[0], 0xFF);
  EXPECT_EQ(bytes[1], 0xD8);
  EXPECT_EQ(bytes[bytes.size() - 2], 0xFF);
  EXPECT_EQ(bytes.back(), 0xD9);
  // Baseline frame marker, and no restart-interval marker.
  bool sof0 = false, dri = false;
  for (std::size_t i = 2; i + 3 < bytes.size() && bytes[i] == 0xFF;) {
    const int marker = bytes[i + 1];
    sof0 = sof0 || marker == 0xC0;
    dri = dri || marker == 0xDD;
    if (marker == 0xDA) break;  // entropy-coded data follows
    i += 2 + (bytes[i + 2] << 8 | bytes[i + 3]);
  }
  EXPECT_TRUE(sof0);
  EXPECT_FALSE(dri);

  const auto header = codecs_test::ReadJpegHeader(bytes);
  EXPECT_TRUE(header.jfif);
  EXPECT_EQ(header.jfifMajor, 1);
  EXPECT_EQ(header.jfifMinor, 1);
  EXPECT_EQ(header.densityUnit, 0);
  EXPECT_EQ(header.xDensity, 1);
  EXPECT_EQ(header.yDensity, 1);
  EXPECT_FALSE(header.progressive);
  EXPECT_FALSE(header.arithmetic);
  EXPECT_EQ(header.restartInterval, 0u);
  ASSERT_EQ(header.components.size(), 3u);
  const int expected[3][6] = {{1, 2, 2, 0, 0, 0}, {2, 1, 1, 1, 1, 1}, {3, 1, 1, 1, 1, 1}};
  for (int i = 0; i < 3; ++i) {
    const auto& c = header.components[i];
    EXPECT_EQ((std::vector<int>{c.id, c.h, c.v, c.quantTable, c.dcTable, c.acTable}),
              (std::vector<int>(expected[i], expected[i] + 6)))
        << "component " << i;
  }
  // The standard luminance DC table (not an optimised one).
  EXPECT_EQ(header.dcLuminanceBits,
            (std::vector<std::uint8_t>{0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0}));
  // Standard luminance table scaled for 85: factor 30, first entry (16 * 30 + 50) / 100 = 5.
  ASSERT_EQ(header.quantTables.size(), 2u);
  EXPECT_EQ(header.quantTables[0][0], 5u);
}

TEST(JpegImage, QualityKeepsLowEightBitsAndIsLimitedByLibjpeg) {
  TestPicture picture;
  codecs_test::MakePicture(picture, 40, 30, 32, Scene);
  EXPECT_EQ(codecs::TJPEGImage().CompressionQuality(), 90);
  EXPECT_EQ(Compress(picture.view, 0), Compress(picture.view, 1));

  const auto hundred = Compress(picture.view, 100);
  for (const auto& table : codecs_test::ReadJpegHeader(hundred).quantTables) {
    for (const unsigned q : table) ASSERT_EQ(q, 1u);
  }
  EXPECT_EQ(Compress(picture.view, 356), hundred);  // 356 & 0xFF = 100
  EXPECT_EQ(Compress(picture.view, -1), hundred);   // 255, above 100
  EXPECT_NE(Compress(picture.view, 50), hundred);
}

TEST(JpegImage, EmptyPictureGivesAnEmptyFile) {
  codecs_test::TempDir dir;
  const std::string path = dir.File("empty.jpg");
  std::ofstream(path) << "old contents";
  codecs::SaveAsJpeg(path, codecs::PictureView{0, 0, 32, nullptr, 0, nullptr, 0}, 85);
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(std::filesystem::file_size(path), 0u);
}

TEST(JpegImage, FailuresAreReportedAndACompressionFailureLeavesTheFileAlone) {
  codecs_test::TempDir dir;
  const std::string path = dir.File("kept.jpg");
  std::ofstream(path) << "old contents";
  std::vector<std::uint8_t> row(70000 * 4, 0x80);
  const codecs::PictureView tooWide{70000, 1, 32, row.data(), 70000 * 4, nullptr, 0};
  EXPECT_THROW(codecs::SaveAsJpeg(path, tooWide, 85), codecs::CodecError);
  EXPECT_EQ(codecs_test::ReadFile(path).size(), 12u);

  TestPicture picture;
  std::mt19937 random(1);
  codecs_test::MakePicture(picture, 300, 300, 32, [&](int, int) { return random(); });
  codecs_test::ExpectWriteFailures(
      [&](const std::string& target) { codecs::SaveAsJpeg(target, picture.view, 85); });
}

}  // namespace
