#include "codecs/GifImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "CodecTestSupport.h"

namespace {

using codecs_test::TestPicture;

// The colour reduction and LZW coding done the plain way (linear searches, an ordered map), to
// hold the hashed encoder to exactly the same bytes.
struct ReferenceFrame {
  std::vector<std::uint8_t> palette;
  std::vector<std::uint8_t> data;
};

ReferenceFrame Reference(const codecs::PictureView& picture) {
  int masks[3] = {0xFF, 0xFF, 0xFF};  // red, green, blue
  const int rotation[3] = {2, 0, 1};  // blue, red, green
  int turn = 0;
  std::vector<std::uint32_t> colours, counts;
  const auto masked = [&](int x, int y) {
    const std::uint32_t c = codecs_test::ExpectedRgb(picture, x, y);
    return ((c >> 16) & masks[0]) << 16 | ((c >> 8) & masks[1]) << 8 | (c & masks[2]);
  };
  for (bool overflow = true; overflow;) {
    overflow = false;
    colours.clear();
    counts.clear();
    for (int y = picture.height - 1; y >= 0 && !overflow; --y) {
      for (int x = 0; x < picture.width && !overflow; ++x) {
        const std::uint32_t c = masked(x, y);
        std::size_t i = 0;
        while (i < colours.size() && colours[i] != c) ++i;
        if (i == colours.size()) {
          if (colours.size() == 2049) {
            overflow = true;
            break;
          }
          colours.push_back(c);
          counts.push_back(0);
        }
        ++counts[i];
      }
    }
    if (overflow) {
      masks[rotation[turn]] = (masks[rotation[turn]] << 1) & 0xFF;
      turn = (turn + 1) % 3;
    }
  }
  ReferenceFrame frame;
  std::vector<int> paletteIndex(colours.size(), -1);
  std::vector<std::uint32_t> palette(256, 0x808080);
  for (int i = 0; i < 256; ++i) {
    int best = -1;
    for (std::size_t e = 0; e < colours.size(); ++e) {
      if (paletteIndex[e] < 0 && (best < 0 || counts[e] > counts[best])) best = static_cast<int>(e);
    }
    if (best < 0) break;
    paletteIndex[best] = i;
    palette[i] = colours[best];
  }
  for (std::size_t e = 0; e < colours.size(); ++e) {
    if (paletteIndex[e] >= 0) continue;
    long bestDistance = -1;
    for (int i = 0; i < 256; ++i) {
      long d = 0;
      for (int s = 0; s <= 16; s += 8) {
        const long delta = static_cast<long>((colours[e] >> s) & 0xFF) - ((palette[i] >> s) & 0xFF);
        d += delta * delta;
      }
      if (bestDistance < 0 || d < bestDistance) bestDistance = d, paletteIndex[e] = i;
    }
  }
  for (const std::uint32_t c : palette) {
    frame.palette.insert(frame.palette.end(),
                         {static_cast<std::uint8_t>(c >> 16), static_cast<std::uint8_t>(c >> 8),
                          static_cast<std::uint8_t>(c)});
  }

  std::vector<std::uint8_t> bytes;
  std::uint64_t bits = 0;
  int bitCount = 0, width = 9, next = 258, pending = -1;
  const auto put = [&](int code) {
    bits |= static_cast<std::uint64_t>(code) << bitCount;
    for (bitCount += width; bitCount >= 8; bitCount -= 8, bits >>= 8) {
      bytes.push_back(static_cast<std::uint8_t>(bits));
    }
  };
  std::map<std::pair<int, int>, int> strings;
  put(256);
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      const std::uint32_t c = masked(x, y);
      const int index =
          paletteIndex[std::find(colours.begin(), colours.end(), c) - colours.begin()];
      if (pending < 0) {
        pending = index;
        continue;
      }
      const auto found = strings.find({pending, index});
      if (found != strings.end()) {
        pending = found->second;
        continue;
      }
      put(pending);
      const int code = next++;
      strings[{pending, index}] = code;
      if (code == 1 << width) {
        ++width;
      } else if (code >= 4094) {
        put(index);
        put(256);
        strings.clear();
        width = 9;
        next = 258;
        pending = -1;
        continue;
      }
      pending = index;
    }
  }
  if (pending >= 0) put(pending);
  put(257);
  if (bitCount > 0) bytes.push_back(static_cast<std::uint8_t>(bits));
  frame.data.push_back(8);
  for (std::size_t at = 0; at < bytes.size(); at += 255) {
    const std::size_t n = std::min<std::size_t>(255, bytes.size() - at);
    frame.data.push_back(static_cast<std::uint8_t>(n));
    frame.data.insert(frame.data.end(), bytes.begin() + at, bytes.begin() + at + n);
  }
  frame.data.push_back(0);
  return frame;
}

std::uint32_t PaletteColour(const std::vector<std::uint8_t>& palette, int index) {
  return static_cast<std::uint32_t>(palette[3 * index] << 16 | palette[3 * index + 1] << 8 |
                                    palette[3 * index + 2]);
}

// A frame with fewer than 256 colours decodes to exactly its own pixels.
void ExpectExactFrame(const codecs_test::GifFrame& frame, const codecs::PictureView& picture) {
  ASSERT_EQ(frame.width, picture.width);
  ASSERT_EQ(frame.height, picture.height);
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      ASSERT_EQ(PaletteColour(frame.palette, frame.indices[y * picture.width + x]),
                codecs_test::ExpectedRgb(picture, x, y))
          << x << "," << y;
    }
  }
}

std::uint32_t FewColours(int x, int y, int seed) {
  return static_cast<std::uint32_t>(((x / 5 + y / 3 + seed) % 37) * 0x050607 + seed * 0x100000);
}

TEST(GifImage, HashedEncoderGivesTheBytesOfThePlainAlgorithm) {
  std::mt19937 random(21);
  std::vector<std::pair<std::string, std::unique_ptr<TestPicture>>> pictures;
  const auto add = [&](std::string name, int w, int h, int bpp,
                       std::function<std::uint32_t(int, int)> value) {
    auto picture = std::make_unique<TestPicture>();
    codecs_test::MakePicture(*picture, w, h, bpp, std::move(value));
    pictures.emplace_back(std::move(name), std::move(picture));
  };
  add("screen", 320, 200, 32, [](int x, int y) { return FewColours(x, y, 1); });
  // Eight colours of noise: tens of thousands of codes, so the table is cleared many times.
  add("noise", 300, 300, 24, [&](int, int) { return (random() % 8) * 0x202020u; });
  // Random full colour: many mask reductions and nearest-colour mapping, below and above
  // 32768 distinct colours.
  add("full colour", 180, 120, 32, [&](int, int) { return random() & 0xFFFFFF; });
  add("photo", 256, 160, 32, [&](int, int) { return random() & 0xFFFFFF; });
  add("16 bpp", 100, 90, 16, [&](int, int) { return random() & 0xFFFF; });
  add("8 bpp", 77, 33, 8, [&](int x, int y) { return (x * y) % 256; });
  add("1 bpp", 70, 20, 1, [&](int x, int y) { return (x + y) % 3 == 0; });

  for (const auto& [name, picture] : pictures) {
    SCOPED_TRACE(name);
    codecs::TGIFImage gif;
    gif.AddFrame(picture->view);
    const auto reference = Reference(picture->view);
    const auto& frame = gif.Frame(0);
    EXPECT_TRUE(
        std::equal(reference.palette.begin(), reference.palette.end(), frame.Palette().begin()));
    ASSERT_EQ(frame.ImageData().size(), reference.data.size());
    EXPECT_TRUE(frame.ImageData() == reference.data);
  }
}

TEST(GifImage, OneFrameWithFewColoursKeepsThemExactlyAndHasNoLoopingExtension) {
  codecs_test::TempDir dir;
  TestPicture picture;
  codecs_test::MakePicture(picture, 50, 40, 32, [](int x, int y) { return FewColours(x, y, 0); });
  codecs::TGIFImage gif;
  gif.SetLooping(true);
  gif.Frame(gif.AddFrame(picture.view)).SetDisplayTime(5000);
  const std::string path = dir.File("one.gif");
  gif.SaveToFile(path);

  const auto bytes = codecs_test::ReadFile(path);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), "GIF89a");
  EXPECT_EQ(bytes[10], 0xF7);
  EXPECT_EQ(bytes[11], 0);
  EXPECT_EQ(bytes[12], 0);
  EXPECT_EQ(bytes.back(), 0x3B);

  const auto decoded = codecs_test::DecodeGif(path);
  EXPECT_EQ(decoded.screenWidth, 50);
  EXPECT_EQ(decoded.screenHeight, 40);
  EXPECT_FALSE(decoded.looping);
  ASSERT_EQ(decoded.frames.size(), 1u);
  EXPECT_FALSE(decoded.frames[0].hasLocalTable);
  EXPECT_EQ(decoded.frames[0].delay, 500);
  ExpectExactFrame(decoded.frames[0], picture.view);
  // The picture's own colours come first, the rest of the table is mid grey.
  std::set<std::uint32_t> own;
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 50; ++x) own.insert(codecs_test::ExpectedRgb(picture.view, x, y));
  }
  ASSERT_EQ(decoded.globalTable.size(), 768u);
  std::set<std::uint32_t> first;
  for (int i = 0; i < 256; ++i) {
    const std::uint32_t c = PaletteColour(decoded.globalTable, i);
    if (i < static_cast<int>(own.size())) {
      first.insert(c);
    } else {
      EXPECT_EQ(c, 0x808080u) << "entry " << i;
    }
  }
  EXPECT_EQ(first, own);
}

// Colours that differ only in the low bits of red and blue: `bases` x 4 of them.
void MakeLowBitColours(TestPicture& picture, int bases) {
  codecs_test::MakePicture(picture, 100, bases / 25, 32, [](int x, int y) {
    const int i = (y * 100 + x) / 4, variant = (y * 100 + x) % 4;
    const std::uint32_t red = (i % 50) * 4 + (variant & 1), green = i / 50 * 7 + 1,
                        blue = 100 + (variant >> 1);
    return red << 16 | green << 8 | blue;
  });
}

// Which low bits the palette's entries kept: {red, green, blue} seen odd somewhere.
std::array<bool, 3> OddChannels(const codecs::GifPalette& palette) {
  std::array<bool, 3> odd{};
  for (int i = 0; i < 256; ++i) {
    for (int c = 0; c < 3; ++c) odd[c] = odd[c] || (palette[3 * i + c] & 1);
  }
  return odd;
}

TEST(GifImage, ManyColoursDropLowBitsBlueFirstThenRed) {
  // 4000 colours; without blue's low bit 2000 remain, which fit in the 2049-entry table.
  TestPicture picture;
  MakeLowBitColours(picture, 1000);
  codecs::TGIFImage gif;
  gif.AddFrame(picture.view);
  EXPECT_EQ(OddChannels(gif.Frame(0).Palette()), (std::array<bool, 3>{true, true, false}));
  EXPECT_NE(PaletteColour({gif.Frame(0).Palette().begin(), gif.Frame(0).Palette().end()}, 255),
            0x808080u)
      << "palette not full";

  // 6000 colours; without blue's low bit 3000 remain, without red's too 1500.
  MakeLowBitColours(picture, 1500);
  gif.AddFrame(picture.view);
  EXPECT_EQ(OddChannels(gif.Frame(1).Palette()), (std::array<bool, 3>{false, true, false}));
}

TEST(GifImage, ThreeFramesGetGlobalThenLocalTablesAndTheLoopingExtension) {
  codecs_test::TempDir dir;
  TestPicture pictures[3];
  for (int i = 0; i < 3; ++i) {
    codecs_test::MakePicture(pictures[i], i == 2 ? 60 : 50, i == 2 ? 30 : 40, 32,
                             [i](int x, int y) { return FewColours(x, y, i + 1); });
  }
  codecs::TGIFImage gif;
  gif.SetLooping(true);
  for (auto& picture : pictures) gif.Frame(gif.AddFrame(picture.view)).SetDisplayTime(5000);
  ASSERT_EQ(gif.FrameCount(), 3u);
  const std::string path = dir.File("three.gif");
  gif.SaveToFile(path);

  const auto decoded = codecs_test::DecodeGif(path);
  EXPECT_EQ(decoded.screenWidth, 60);
  EXPECT_EQ(decoded.screenHeight, 40);
  EXPECT_TRUE(decoded.looping);
  EXPECT_EQ(decoded.repeatCount, 1);
  ASSERT_EQ(decoded.frames.size(), 3u);
  EXPECT_TRUE(std::equal(decoded.globalTable.begin(), decoded.globalTable.end(),
                         gif.Frame(0).Palette().begin()));
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(decoded.frames[i].hasLocalTable, i > 0);
    EXPECT_EQ(decoded.frames[i].delay, 500);
    ExpectExactFrame(decoded.frames[i], pictures[i].view);
  }
}

TEST(GifImage, DisplayTimesBecomeDelaysAndLongOnesStopAtTheLargest) {
  codecs_test::TempDir dir;
  TestPicture picture;
  codecs_test::MakePicture(picture, 8, 8, 32, [](int x, int y) { return FewColours(x, y, 0); });
  const std::pair<std::uint32_t, int> cases[] = {
      {5000, 500}, {300000 / 10, 3000}, {655350, 65535}, {655360, 65535}, {3600000, 65535}};
  codecs::TGIFImage gif;
  for (const auto& [time, delay] : cases)
    gif.Frame(gif.AddFrame(picture.view)).SetDisplayTime(time);
  gif.AddFrame(picture.view);  // no display time: no graphic control extension
  const std::string path = dir.File("delays.gif");
  gif.SaveToFile(path);
  const auto decoded = codecs_test::DecodeGif(path);
  ASSERT_EQ(decoded.frames.size(), 6u);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(decoded.frames[i].delay, cases[i].second) << cases[i].first;
  EXPECT_EQ(decoded.frames[5].delay, -1);

  // A single frame without a display time is a plain 87a file.
  codecs::TGIFImage still;
  still.AddFrame(picture.view);
  still.SaveToFile(path);
  const auto bytes = codecs_test::ReadFile(path);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 6), "GIF87a");
  EXPECT_EQ(codecs_test::DecodeGif(path).frames.at(0).delay, -1);
}

TEST(GifImage, FailuresWriteNoFileAndClearStartsAfresh) {
  codecs_test::TempDir dir;
  const std::string path = dir.File("fail.gif");
  const auto expectError = [&](const codecs::TGIFImage& gif, const std::string& text) {
    try {
      gif.SaveToFile(path);
      ADD_FAILURE() << "no error, expected " << text;
    } catch (const codecs::CodecError& e) {
      EXPECT_EQ(e.what(), text);
    }
    EXPECT_FALSE(std::filesystem::exists(path));
  };
  codecs::TGIFImage gif;
  expectError(gif, "No GIF Data to write");

  TestPicture picture;
  codecs_test::MakePicture(picture, 30, 30, 32, [](int x, int y) { return FewColours(x, y, 0); });
  gif.SetLooping(true);
  gif.SetRepeatCount(7);
  gif.AddFrame(picture.view);
  gif.AddFrame(codecs::PictureView{0, 0, 32, nullptr, 0, nullptr, 0});  // a failed grab
  expectError(gif, "GIF image encoding error");

  gif.Clear();
  EXPECT_EQ(gif.FrameCount(), 0u);
  EXPECT_FALSE(gif.Looping());
  EXPECT_EQ(gif.RepeatCount(), 1);
  EXPECT_TRUE(gif.GlobalColourTable().empty());
  expectError(gif, "No GIF Data to write");

  gif.AddFrame(picture.view);
  codecs_test::ExpectWriteFailures([&](const std::string& target) { gif.SaveToFile(target); });
}

}  // namespace
