// The picture every writer reads, and the conversions they share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>

namespace codecs {

// A writer failure; what() is the text shown to the user.
class CodecError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A non-owning view of a picture whose pixels live elsewhere (a QImage's bits(), a test buffer).
// Nothing is copied; the pixels must stay valid and unchanged while a writer uses the view.
//
// Rows are stored top row first, `stride` bytes apart (QImage::bytesPerLine()). Bytes in memory:
//   1 bpp  packed palette indices, first pixel in the most significant bit (QImage::Format_Mono)
//   4 bpp  packed palette indices, first pixel in the high nibble
//   8 bpp  one palette index per byte (QImage::Format_Indexed8)
//  16 bpp  little-endian words, bits 14-10 red, 9-5 green, 4-0 blue, bit 15 ignored
//          (QImage::Format_RGB555)
//  24 bpp  blue, green, red (QImage::Format_BGR888)
//  32 bpp  blue, green, red, X: 0xXXRRGGBB words on little-endian (QImage::Format_RGB32);
//          X is kept by the BMP writer and dropped by the others
// The colour table (1, 4, 8 bpp) holds 0xAARRGGBB words as QImage::colorTable() does; alpha is
// ignored and entries beyond `colourCount` read as black.
struct PictureView {
  int width = 0;
  int height = 0;
  int bitsPerPixel = 32;
  const std::uint8_t* bits = nullptr;
  std::ptrdiff_t stride = 0;
  const std::uint32_t* colourTable = nullptr;
  int colourCount = 0;

  const std::uint8_t* Row(int y) const { return bits + static_cast<std::ptrdiff_t>(y) * stride; }
  // 0x00RRGGBB of palette entry `index`.
  std::uint32_t Colour(int index) const {
    return index < colourCount ? colourTable[index] & 0xFFFFFFu : 0u;
  }
  bool IsPalette() const { return bitsPerPixel < 16; }
  bool IsEmpty() const { return width == 0 || height == 0; }
  // Bytes holding one row's pixels, without padding.
  std::size_t RowBytes() const {
    return (static_cast<std::size_t>(width) * static_cast<std::size_t>(bitsPerPixel) + 7) / 8;
  }
};

// Throws std::invalid_argument for a view no capture can produce: depth other than
// 1/4/8/16/24/32, negative size, missing pixels or colour table, a stride shorter than a row.
void CheckPicture(const PictureView& picture);

// Row `y` as 0x00RRGGBB words, whatever the depth; `out` holds `width` words.
void ReadRowRgb(const PictureView& picture, int y, std::uint32_t* out);

// Row `y` as 3-byte pixels, red first or blue first; `out` holds 3 * `width` bytes.
// 16-bit channels widen as (v << 3) | (v >> 2) so that full intensity stays 255.
void ReadRowRgb24(const PictureView& picture, int y, std::uint8_t* out);
void ReadRowBgr24(const PictureView& picture, int y, std::uint8_t* out);

}  // namespace codecs
