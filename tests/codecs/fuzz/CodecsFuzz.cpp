// Feeds random pictures (size, depth, palette, stride, pixels) to every writer.
// Build with -DLUMIVEX_FUZZ=ON (clang); run e.g. `codecs_fuzz -max_total_time=120`.
#include <fuzzer/FuzzedDataProvider.h>
#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "codecs/BmpWriter.h"
#include "codecs/GifImage.h"
#include "codecs/JpegImage.h"
#include "codecs/PngWriter.h"

namespace {

struct FuzzPicture {
  std::vector<std::uint8_t> pixels;
  std::vector<std::uint32_t> table;
  codecs::PictureView view;
};

void Make(FuzzedDataProvider& input, FuzzPicture& picture) {
  static constexpr int kDepths[] = {1, 4, 8, 16, 24, 32};
  const int width = input.ConsumeIntegralInRange(0, 260);
  const int height = input.ConsumeIntegralInRange(0, 260);
  const int bpp = kDepths[input.ConsumeIntegralInRange(0, 5)];
  const std::size_t rowBytes = (static_cast<std::size_t>(width) * bpp + 7) / 8;
  const std::size_t stride = rowBytes + input.ConsumeIntegralInRange(0, 7);
  const int colours = bpp < 16 ? input.ConsumeIntegralInRange(0, 1 << bpp) : 0;
  picture.table.resize(colours);
  for (auto& c : picture.table) c = input.ConsumeIntegral<std::uint32_t>();
  // Few distinct bytes repeated, or raw noise: both the long LZW strings and the many-colour
  // reductions get exercised.
  const auto pattern = input.ConsumeBytes<std::uint8_t>(input.ConsumeIntegralInRange(1, 64));
  picture.pixels.resize(stride * height);
  const bool noise = input.ConsumeBool();
  for (std::size_t i = 0; i < picture.pixels.size(); ++i) {
    picture.pixels[i] = noise ? static_cast<std::uint8_t>(std::rand())
                              : (pattern.empty() ? 0 : pattern[i % pattern.size()]);
  }
  picture.view = codecs::PictureView{width,
                                     height,
                                     bpp,
                                     picture.pixels.empty() ? nullptr : picture.pixels.data(),
                                     static_cast<std::ptrdiff_t>(stride),
                                     picture.table.empty() ? nullptr : picture.table.data(),
                                     colours};
}

// Image data: minimum code size 8, sub-blocks of 255 bytes but the last, terminator.
void CheckGifData(const std::vector<std::uint8_t>& data) {
  if (data.size() < 3 || data[0] != 8 || data.back() != 0) std::abort();
  std::size_t at = 1;
  while (data[at] != 0) {
    const std::size_t n = data[at];
    at += 1 + n;
    if (at >= data.size() || (n != 255 && data[at] != 0)) std::abort();
  }
  if (at != data.size() - 1) std::abort();
}

// IDAT chunks of 65535 bytes but the last hold one zlib stream that inflates to every row,
// each led by the Sub filter byte.
void CheckPngData(const std::vector<std::uint8_t>& file, const codecs::PictureView& picture) {
  std::vector<std::uint8_t> stream;
  std::size_t at = 8, lastIdat = 0;
  while (at + 12 <= file.size()) {
    const std::size_t length = static_cast<std::size_t>(file[at]) << 24 | file[at + 1] << 16 |
                               file[at + 2] << 8 | file[at + 3];
    if (std::memcmp(&file[at + 4], "IDAT", 4) == 0) {
      if (lastIdat != 0 && lastIdat != 65535) std::abort();
      if (length == 0) std::abort();
      stream.insert(stream.end(), &file[at + 8], &file[at + 8] + length);
      lastIdat = length;
    }
    at += 12 + length;
  }
  const std::size_t rowLength =
      1 + (picture.IsPalette() ? picture.RowBytes() : static_cast<std::size_t>(picture.width) * 3);
  std::vector<std::uint8_t> rows(rowLength * static_cast<std::size_t>(picture.height) + 1);
  uLongf size = static_cast<uLongf>(rows.size());
  if (uncompress(rows.data(), &size, stream.data(), static_cast<uLong>(stream.size())) != Z_OK ||
      size != rows.size() - 1) {
    std::abort();
  }
  for (std::size_t row = 0; row < size; row += rowLength) {
    if (rows[row] != 1) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  std::srand(input.ConsumeIntegral<unsigned>());
  FuzzPicture picture;
  Make(input, picture);

  {
    codecs::MemorySink sink;
    codecs::WriteBmp(sink, picture.view);
  }
  try {
    codecs::TPNGWriter png;
    png.Assign(picture.view);
    png.SetCompressionLevel(input.ConsumeIntegralInRange(0, 9));
    codecs::MemorySink sink;
    png.SaveToStream(sink);
    CheckPngData(sink.Bytes(), picture.view);
  } catch (const codecs::CodecError&) {
    if (!picture.view.IsEmpty()) std::abort();
  }
  {
    codecs::TJPEGImage jpeg;
    jpeg.Assign(picture.view);
    jpeg.SetCompressionQuality(input.ConsumeIntegral<int>());
    jpeg.Compress();
    if (picture.view.IsEmpty() != jpeg.Data().empty()) std::abort();
  }
  {
    codecs::TGIFImage gif;
    gif.SetLooping(input.ConsumeBool());
    const std::size_t index = gif.AddFrame(picture.view);
    gif.Frame(index).SetDisplayTime(input.ConsumeIntegral<std::uint32_t>());
    FuzzPicture second;
    Make(input, second);
    gif.AddFrame(second.view);
    codecs::MemorySink sink;
    try {
      gif.SaveToStream(sink);
      for (std::size_t i = 0; i < gif.FrameCount(); ++i) CheckGifData(gif.Frame(i).ImageData());
    } catch (const codecs::CodecError&) {
      if (!picture.view.IsEmpty() && !second.view.IsEmpty()) std::abort();
    }
  }
  return 0;
}
