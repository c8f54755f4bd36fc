#include "codecs/Picture.h"

#include <bit>
#include <cstring>

namespace codecs {
namespace {

int PaletteIndex(const std::uint8_t* row, int bitsPerPixel, int x) {
  switch (bitsPerPixel) {
    case 1:
      return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4:
      return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0xF;
    default:
      return row[x];
  }
}

std::uint32_t Widen555(unsigned word) {
  const unsigned r = (word >> 10) & 31, g = (word >> 5) & 31, b = word & 31;
  return (((r << 3) | (r >> 2)) << 16) | (((g << 3) | (g >> 2)) << 8) | ((b << 3) | (b >> 2));
}

// Writes 3-byte pixels; `first` is the shift of the channel stored first (16 red, 0 blue).
template <int first>
void ReadRow24(const PictureView& picture, int y, std::uint8_t* out) {
  constexpr int last = 16 - first;
  const std::uint8_t* src = picture.Row(y);
  const int width = picture.width;
  if (picture.bitsPerPixel >= 24) {
    const int step = picture.bitsPerPixel / 8;
    for (int x = 0; x < width; ++x, src += step, out += 3) {
      out[0] = src[first / 8];
      out[1] = src[1];
      out[2] = src[last / 8];
    }
    return;
  }
  for (int x = 0; x < width; ++x, out += 3) {
    std::uint32_t c;
    if (picture.bitsPerPixel == 16) {
      c = Widen555(src[2 * std::size_t(x)] | (src[2 * std::size_t(x) + 1] << 8));
    } else {
      c = picture.Colour(PaletteIndex(src, picture.bitsPerPixel, x));
    }
    out[0] = static_cast<std::uint8_t>(c >> first);
    out[1] = static_cast<std::uint8_t>(c >> 8);
    out[2] = static_cast<std::uint8_t>(c >> last);
  }
}

}  // namespace

void CheckPicture(const PictureView& picture) {
  switch (picture.bitsPerPixel) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
      break;
    default:
      throw std::invalid_argument("picture depth must be 1, 4, 8, 16, 24 or 32 bits per pixel");
  }
  if (picture.width < 0 || picture.height < 0) {
    throw std::invalid_argument("picture size must not be negative");
  }
  if (picture.colourCount < 0 || (picture.colourCount > 0 && picture.colourTable == nullptr)) {
    throw std::invalid_argument("picture colour table is missing");
  }
  if (picture.IsEmpty()) return;
  if (picture.bits == nullptr) throw std::invalid_argument("picture pixels are missing");
  if (picture.stride < 0 || static_cast<std::size_t>(picture.stride) < picture.RowBytes()) {
    throw std::invalid_argument("picture stride is shorter than a row");
  }
}

void ReadRowRgb(const PictureView& picture, int y, std::uint32_t* out) {
  const std::uint8_t* src = picture.Row(y);
  const int width = picture.width;
  switch (picture.bitsPerPixel) {
    case 32:
      // Blue, green, red, X in memory is 0xXXRRGGBB on a little-endian machine.
      static_assert(std::endian::native == std::endian::little);
      std::memcpy(out, src, static_cast<std::size_t>(width) * 4);
      for (int x = 0; x < width; ++x) out[x] &= 0xFFFFFFu;
      return;
    case 24:
      for (int x = 0; x < width; ++x, src += 3) {
        out[x] = static_cast<std::uint32_t>(src[0]) | (src[1] << 8) | (src[2] << 16);
      }
      return;
    case 16:
      for (int x = 0; x < width; ++x)
        out[x] = Widen555(src[2 * std::size_t(x)] | (src[2 * std::size_t(x) + 1] << 8));
      return;
    default:
      for (int x = 0; x < width; ++x) {
        out[x] = picture.Colour(PaletteIndex(src, picture.bitsPerPixel, x));
      }
  }
}

void ReadRowRgb24(const PictureView& picture, int y, std::uint8_t* out) {
  ReadRow24<16>(picture, y, out);
}

void ReadRowBgr24(const PictureView& picture, int y, std::uint8_t* out) {
  ReadRow24<0>(picture, y, out);
}

}  // namespace codecs
