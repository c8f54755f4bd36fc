// Pictures to feed the writers and independent decoders to read their files back.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "codecs/Picture.h"

namespace codecs_test {

// A picture that owns its pixels; rows carry 5 spare bytes of 0xAA so a writer that ignores
// the stride or reads past a row shows up.
struct TestPicture {
  std::vector<std::uint8_t> pixels;
  std::vector<std::uint32_t> table;
  codecs::PictureView view;

  TestPicture() = default;
  TestPicture(const TestPicture&) = delete;
  TestPicture& operator=(const TestPicture&) = delete;
};

// `value(x, y)`: a palette index for 1/4/8 bpp, a 5-5-5 word for 16, 0xXXRRGGBB for 24/32.
// Palette pictures get `colours` table entries (default: all 2^bpp) of made-up colours.
void MakePicture(TestPicture& picture, int width, int height, int bitsPerPixel,
                 const std::function<std::uint32_t(int, int)>& value, int colours = -1);

// The colour a reader should see at (x, y), 0x00RRGGBB.
std::uint32_t ExpectedRgb(const codecs::PictureView& picture, int x, int y);
int PaletteIndexAt(const codecs::PictureView& picture, int x, int y);

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path);

// `save(path)` fails with the system's texts: "Cannot create file ..." for a missing folder,
// "Stream write error" on a full disk (/dev/full).
void ExpectWriteFailures(const std::function<void(const std::string&)>& save);

// A fresh folder under the temp folder, removed with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::filesystem::path& path() const { return path_; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

struct PngChunk {
  std::string type;
  std::vector<std::uint8_t> data;
  bool crcOk = false;
};
std::vector<PngChunk> PngChunks(const std::vector<std::uint8_t>& file);

// libpng, no transforms: raw rows (RGB bytes, or packed indices) and the palette.
struct PngImage {
  std::uint32_t width = 0, height = 0;
  int bitDepth = 0, colourType = 0, interlace = 0;
  std::vector<std::uint8_t> palette;  // r, g, b per entry
  std::vector<std::vector<std::uint8_t>> rows;
};
PngImage DecodePng(const std::string& path);

struct JpegImage {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgb;  // r, g, b per pixel
};
JpegImage DecodeJpeg(const std::vector<std::uint8_t>& bytes);

// What libjpeg reads from a JPEG's markers.
struct JpegHeader {
  bool jfif = false;
  int jfifMajor = 0, jfifMinor = 0, densityUnit = -1, xDensity = 0, yDensity = 0;
  bool progressive = false, arithmetic = false;
  unsigned restartInterval = 0;
  struct Component {
    int id, h, v, quantTable, dcTable, acTable;
  };
  std::vector<Component> components;
  std::vector<std::vector<unsigned>> quantTables;  // natural order, per table present
  std::vector<std::uint8_t> dcLuminanceBits;       // counts of codes of length 1..16
};
JpegHeader ReadJpegHeader(const std::vector<std::uint8_t>& bytes);

// libjpeg driven directly: set_defaults, set_quality(quality, baseline), float DCT, from
// red-green-blue rows.
std::vector<std::uint8_t> ReferenceJpeg(const codecs::PictureView& picture, int quality);

struct GifFrame {
  int width = 0, height = 0;
  bool hasLocalTable = false;
  std::vector<std::uint8_t> palette;  // the table that applies: local, else global
  std::vector<std::uint8_t> indices;
  int delay = -1;  // -1: no graphic control extension
};
struct GifImage {
  int screenWidth = 0, screenHeight = 0;
  std::vector<std::uint8_t> globalTable;
  bool looping = false;
  int repeatCount = -1;
  std::vector<GifFrame> frames;
};
GifImage DecodeGif(const std::string& path);

}  // namespace codecs_test
