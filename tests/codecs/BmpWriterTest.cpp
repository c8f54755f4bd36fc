#include "codecs/BmpWriter.h"

#include <gtest/gtest.h>

#include <QImage>
#include <fstream>
#include <random>

#include "CodecTestSupport.h"

namespace {

using codecs_test::TestPicture;

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
unsigned Le16(const std::vector<std::uint8_t>& b, std::size_t at) { return b[at] | b[at + 1] << 8; }

TEST(BmpWriter, ScreenDepthPictureHasTheHeaderTableAndBottomUpRows) {
  codecs_test::TempDir dir;
  TestPicture picture;
  // The fourth byte of each pixel carries its row number, so it must survive as it is.
  codecs_test::MakePicture(picture, 5, 3, 32, [](int x, int y) {
    return static_cast<std::uint32_t>(y + 1) << 24 | static_cast<std::uint32_t>(x * 40) << 16 |
           0x1234;
  });
  const std::string path = dir.File("screen.bmp");
  codecs::SaveAsBmp(path, picture.view);
  const auto b = codecs_test::ReadFile(path);

  ASSERT_EQ(b.size(), 54u + 5 * 4 * 3);
  EXPECT_EQ(b[0], 'B');
  EXPECT_EQ(b[1], 'M');
  EXPECT_EQ(Le32(b, 2), b.size());
  EXPECT_EQ(Le32(b, 6), 0u);  // both reserved words
  EXPECT_EQ(Le32(b, 10), 54u);
  EXPECT_EQ(Le32(b, 14), 40u);
  EXPECT_EQ(Le32(b, 18), 5u);
  EXPECT_EQ(Le32(b, 22), 3u);
  EXPECT_EQ(Le16(b, 26), 1u);
  EXPECT_EQ(Le16(b, 28), 32u);
  EXPECT_EQ(Le32(b, 30), 0u);
  EXPECT_EQ(Le32(b, 34), 60u);
  for (std::size_t at : {38, 42, 46, 50}) EXPECT_EQ(Le32(b, at), 0u) << "offset " << at;
  // First stored row is the picture's bottom row, pixels as blue, green, red, fourth byte.
  for (int fileRow = 0; fileRow < 3; ++fileRow) {
    const int y = 2 - fileRow;
    for (int x = 0; x < 5; ++x) {
      EXPECT_EQ(Le32(b, 54 + (fileRow * 5 + x) * 4), static_cast<std::uint32_t>(y + 1) << 24 |
                                                         static_cast<std::uint32_t>(x * 40) << 16 |
                                                         0x1234);
    }
  }
}

// Qt's reader is the independent decoder; odd widths exercise the row padding.
TEST(BmpWriter, EveryDepthReadsBackWithItsColourTableAndPadding) {
  codecs_test::TempDir dir;
  std::mt19937 random(9);
  for (const int bpp : {1, 4, 8, 16, 24, 32}) {
    SCOPED_TRACE(bpp);
    TestPicture picture;
    codecs_test::MakePicture(picture, 13, 7, bpp, [&](int, int) { return random() & 0x7FFFFFFF; });
    const std::string path = dir.File("depth.bmp");
    codecs::SaveAsBmp(path, picture.view);
    const auto b = codecs_test::ReadFile(path);

    const std::size_t colours = bpp <= 8 ? std::size_t{1} << bpp : 0;
    const std::size_t stride = ((13 * bpp + 31) / 32) * 4;
    EXPECT_EQ(Le32(b, 10), 54 + 4 * colours);
    EXPECT_EQ(Le16(b, 28), static_cast<unsigned>(bpp));
    EXPECT_EQ(Le32(b, 34), stride * 7);
    EXPECT_EQ(Le32(b, 46), colours);
    ASSERT_EQ(b.size(), 54 + 4 * colours + stride * 7);
    for (std::size_t i = 0; i < colours; ++i) {
      const std::uint32_t want = picture.table[i] & 0xFFFFFF;
      EXPECT_EQ(Le32(b, 54 + 4 * i), want) << "table entry " << i;
    }

    QImage image;
    ASSERT_TRUE(image.load(QString::fromStdString(path), "BMP"));
    ASSERT_EQ(image.width(), 13);
    ASSERT_EQ(image.height(), 7);
    for (int y = 0; y < 7; ++y) {
      for (int x = 0; x < 13; ++x) {
        const QRgb got = image.pixel(x, y);
        const std::uint32_t want = codecs_test::ExpectedRgb(picture.view, x, y);
        if (bpp == 16) {  // readers differ in how they widen five bits; the top five must agree
          ASSERT_EQ(qRed(got) >> 3, static_cast<int>(want >> 19));
          ASSERT_EQ(qGreen(got) >> 3, static_cast<int>((want >> 11) & 31));
          ASSERT_EQ(qBlue(got) >> 3, static_cast<int>((want >> 3) & 31));
        } else {
          ASSERT_EQ(got & 0xFFFFFF, want) << x << "," << y;
        }
      }
    }
    if (bpp == 16) {
      for (int row = 0; row < 7; ++row) {
        for (int x = 0; x < 13; ++x)
          EXPECT_EQ(b[54 + row * stride + 2 * x + 1] & 0x80, 0) << "bit 15";
      }
    }
  }
}

TEST(BmpWriter, EmptyPictureGivesAnEmptyFileAndFailuresAreReported) {
  codecs_test::TempDir dir;
  const std::string empty = dir.File("empty.bmp");
  codecs::SaveAsBmp(empty, codecs::PictureView{0, 0, 32, nullptr, 0, nullptr, 0});
  EXPECT_TRUE(std::filesystem::exists(empty));
  EXPECT_EQ(std::filesystem::file_size(empty), 0u);

  TestPicture picture;
  codecs_test::MakePicture(picture, 200, 200, 32, [](int x, int y) { return x ^ y; });
  codecs_test::ExpectWriteFailures(
      [&](const std::string& path) { codecs::SaveAsBmp(path, picture.view); });

  // Over 4 GiB of rows cannot be described by the header's 32-bit sizes: that is known before
  // the file is opened, so an existing file stays as it was. Only the first row exists; it is
  // never read.
  const std::string kept = dir.File("kept.bmp");
  std::ofstream(kept) << "old contents";
  std::vector<std::uint8_t> row(70000 * 4);
  const codecs::PictureView huge{70000, 16000, 32, row.data(), 70000 * 4, nullptr, 0};
  EXPECT_THROW(codecs::SaveAsBmp(kept, huge), codecs::CodecError);
  EXPECT_EQ(codecs_test::ReadFile(kept).size(), 12u);
}

}  // namespace
