#include "codecs/BmpWriter.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace codecs {
namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kInfoHeaderSize = 40;

void Put16(std::uint8_t* out, unsigned value) {
  out[0] = static_cast<std::uint8_t>(value);
  out[1] = static_cast<std::uint8_t>(value >> 8);
}

void Put32(std::uint8_t* out, std::uint64_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

struct Layout {
  std::size_t colours, rowBytes, stride;
  std::uint64_t imageSize, offset;
};

// Throws when the file's 32-bit sizes cannot describe the picture.
Layout LayoutOf(const PictureView& picture) {
  Layout l{};
  l.colours = picture.IsPalette() ? std::size_t{1} << picture.bitsPerPixel : 0;
  l.rowBytes = picture.RowBytes();
  l.stride = (l.rowBytes + 3) & ~std::size_t{3};
  l.imageSize = static_cast<std::uint64_t>(l.stride) * picture.height;
  l.offset = kFileHeaderSize + kInfoHeaderSize + 4 * l.colours;
  if (l.offset + l.imageSize > std::numeric_limits<std::uint32_t>::max()) {
    throw CodecError("Picture too large for a BMP file");
  }
  return l;
}

}  // namespace

void WriteBmp(ByteSink& sink, const PictureView& picture) {
  CheckPicture(picture);
  if (picture.IsEmpty()) return;

  const int bpp = picture.bitsPerPixel;
  const auto [colours, rowBytes, stride, imageSize, offset] = LayoutOf(picture);

  std::uint8_t header[kFileHeaderSize + kInfoHeaderSize] = {'B', 'M'};
  Put32(header + 2, offset + imageSize);
  Put32(header + 10, offset);
  std::uint8_t* info = header + kFileHeaderSize;
  Put32(info + 0, kInfoHeaderSize);
  Put32(info + 4, static_cast<std::uint32_t>(picture.width));
  Put32(info + 8, static_cast<std::uint32_t>(picture.height));
  Put16(info + 12, 1);  // planes
  Put16(info + 14, static_cast<unsigned>(bpp));
  Put32(info + 20, imageSize);  // compression (16) and resolutions (24, 28) stay 0
  Put32(info + 32, colours);
  sink.Write(header, sizeof header);

  if (colours > 0) {
    std::vector<std::uint8_t> table(4 * colours);
    for (std::size_t i = 0; i < colours; ++i) {
      const std::uint32_t c = picture.Colour(static_cast<int>(i));
      table[4 * i] = static_cast<std::uint8_t>(c);
      table[4 * i + 1] = static_cast<std::uint8_t>(c >> 8);
      table[4 * i + 2] = static_cast<std::uint8_t>(c >> 16);
    }
    sink.Write(table.data(), table.size());
  }

  std::vector<std::uint8_t> row(stride, 0);
  for (int y = picture.height - 1; y >= 0; --y) {
    std::memcpy(row.data(), picture.Row(y), rowBytes);
    if (bpp == 16) {
      for (std::size_t i = 1; i < rowBytes; i += 2) row[i] &= 0x7F;
    } else if (bpp < 8) {
      // Bits past the last pixel are not the picture's.
      const auto spare = rowBytes * 8 - static_cast<std::size_t>(picture.width) * bpp;
      row[rowBytes - 1] &= static_cast<std::uint8_t>(0xFFu << spare);
    }
    sink.Write(row.data(), stride);
  }
}

void SaveAsBmp(const std::string& path, const PictureView& picture) {
  CheckPicture(picture);
  if (!picture.IsEmpty()) LayoutOf(picture);  // fail before the file is touched
  FileSink file(path);
  WriteBmp(file, picture);
  file.Close();
}

}  // namespace codecs
