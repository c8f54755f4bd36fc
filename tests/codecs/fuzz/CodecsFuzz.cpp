// Feeds random pictures (size, depth, palette, stride, pixels) to every writer.
// Build with -DLUMIVEX_FUZZ=ON (clang); run e.g. `codecs_fuzz -max_total_time=120`.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
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
    png.SetCompressionLevel(input.ConsumeIntegral<int>() % 4);
    codecs::MemorySink sink;
    png.SaveToStream(sink);
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
