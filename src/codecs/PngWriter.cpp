#include "codecs/PngWriter.h"

#include "codecs/DeflateBands.h"

#include <zlib.h>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include <algorithm>
#include <cstring>
#include <new>

namespace codecs {
namespace {

constexpr std::uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
constexpr std::uint8_t kFilterSub = 1;

void PutBigEndian(std::uint8_t* out, std::uint32_t value) {
  out[0] = static_cast<std::uint8_t>(value >> 24);
  out[1] = static_cast<std::uint8_t>(value >> 16);
  out[2] = static_cast<std::uint8_t>(value >> 8);
  out[3] = static_cast<std::uint8_t>(value);
}

void WriteChunk(ByteSink& sink, const char* type, const std::uint8_t* data, std::size_t size) {
  std::uint8_t head[8];
  PutBigEndian(head, static_cast<std::uint32_t>(size));
  std::memcpy(head + 4, type, 4);
  uLong crc = crc32(0, head + 4, 4);
  if (size > 0) crc = crc32(crc, data, static_cast<uInt>(size));
  std::uint8_t tail[4];
  PutBigEndian(tail, static_cast<std::uint32_t>(crc));
  sink.Write(head, sizeof head);
  if (size > 0) sink.Write(data, size);
  sink.Write(tail, sizeof tail);
}

// Owns a deflate stream for the length of one save.
class Deflater {
 public:
  explicit Deflater(int level) {
    if (deflateInit(&stream_, level) != Z_OK) throw CodecError("PNG compression error");
  }
  ~Deflater() { deflateEnd(&stream_); }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;
  z_stream& operator*() { return stream_; }

 private:
  z_stream stream_{};
};

// Level 0 streams through zlib: stored blocks need no second core, and the picture-sized pass
// of the bands would only cost memory.
bool StreamsThroughZlib(int zlibLevel) { return zlibLevel <= 0; }

#if defined(__x86_64__) || defined(__i386__)
// Sub-filters the first pixels of a 32-bit row four at a time and returns how many it did; the
// caller does the rest. Every capture goes through here: one pixel at a time, filtering took a
// seventh of a level-1 save. The last pixels are left over: a 16-byte store writes 4 bytes past
// the 12 it means, which must still be the row's.
__attribute__((target("ssse3"))) int FilterRgb32Ssse3(const std::uint8_t* src, int width,
                                                      std::uint8_t* out) {
  // B G R X of four pixels to their R G B, in order.
  const __m128i toRgb = _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
  __m128i previous = _mm_setzero_si128();  // the pixel left of the four, in the top lane
  int x = 0;
  for (; x + 6 <= width; x += 4, src += 16, out += 12) {
    const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    const __m128i left = _mm_or_si128(_mm_slli_si128(pixels, 4), previous);
    previous = _mm_srli_si128(pixels, 12);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                     _mm_shuffle_epi8(_mm_sub_epi8(pixels, left), toRgb));
  }
  return x;
}

int FilterRgb32Fast(const std::uint8_t* src, int width, std::uint8_t* out) {
  static const bool ssse3 = __builtin_cpu_supports("ssse3") != 0;
  return ssse3 ? FilterRgb32Ssse3(src, width, out) : 0;
}
#else
int FilterRgb32Fast(const std::uint8_t*, int, std::uint8_t*) { return 0; }
#endif

// Fills row[1..] with the Sub-filtered row `y` (red, green, blue or packed indices).
void FilterRow(const PictureView& picture, int y, std::uint8_t* out, std::size_t length) {
  const std::uint8_t* src = picture.Row(y);
  if (picture.bitsPerPixel == 32 || picture.bitsPerPixel == 24) {
    const int step = picture.bitsPerPixel / 8;
    std::uint8_t r0 = 0, g0 = 0, b0 = 0;
    int x = 0;
    if (step == 4) {
      x = FilterRgb32Fast(src, picture.width, out);
      if (x > 0) {
        r0 = src[4 * x - 2], g0 = src[4 * x - 3], b0 = src[4 * x - 4];
        src += std::size_t{4} * x, out += std::size_t{3} * x;
      }
    }
    for (; x < picture.width; ++x, src += step, out += 3) {
      const std::uint8_t b = src[0], g = src[1], r = src[2];
      out[0] = static_cast<std::uint8_t>(r - r0);
      out[1] = static_cast<std::uint8_t>(g - g0);
      out[2] = static_cast<std::uint8_t>(b - b0);
      r0 = r, g0 = g, b0 = b;
    }
    return;
  }
  std::size_t distance = 3;
  if (picture.IsPalette()) {
    distance = 1;
    std::memcpy(out, src, length);
    // Bits past the last pixel are not the picture's; keep them out of the file.
    const unsigned spare = static_cast<unsigned>(
        length * 8 - static_cast<std::size_t>(picture.width) * picture.bitsPerPixel);
    out[length - 1] &= static_cast<std::uint8_t>(0xFFu << spare);
  } else {
    ReadRowRgb24(picture, y, out);
  }
  // Backwards, so every byte still sees the raw byte to its left.
  for (std::size_t i = length; i-- > distance;) {
    out[i] = static_cast<std::uint8_t>(out[i] - out[i - distance]);
  }
}

}  // namespace

TChunk::TChunk(std::string_view type) { std::copy_n(type.begin(), 4, type_.begin()); }

void TChunk::SaveTo(ByteSink& sink, const TPNGWriter&) const {
  WriteChunk(sink, type_.data(), data_.data(), data_.size());
}

TChunkIHDR::TChunkIHDR(std::uint32_t width, std::uint32_t height, std::uint8_t bitDepth,
                       std::uint8_t colourType, std::uint8_t interlaceMethod)
    : TChunk("IHDR") {
  data_.resize(13);
  PutBigEndian(data_.data(), width);
  PutBigEndian(&data_[4], height);
  data_[8] = bitDepth;
  data_[9] = colourType;
  data_[10] = 0;  // compression method: deflate
  data_[11] = 0;  // filter method: adaptive, per row
  data_[12] = interlaceMethod;
}

TChunkPLTE::TChunkPLTE(const PictureView& picture) : TChunk("PLTE") {
  const int entries = 1 << picture.bitsPerPixel;
  data_.reserve(3 * std::size_t(entries));
  for (int i = 0; i < entries; ++i) {
    const std::uint32_t c = picture.Colour(i);
    data_.push_back(static_cast<std::uint8_t>(c >> 16));
    data_.push_back(static_cast<std::uint8_t>(c >> 8));
    data_.push_back(static_cast<std::uint8_t>(c));
  }
}

TChunkIDAT::TChunkIDAT(const PictureView& picture) : TChunk("IDAT"), picture_(picture) {}

void TChunkIDAT::SaveTo(ByteSink& sink, const TPNGWriter& owner) const {
  const std::size_t rowLength =
      picture_.IsPalette() ? picture_.RowBytes() : static_cast<std::size_t>(picture_.width) * 3;
  // A picture too large to compress in bands is streamed as well.
  if (StreamsThroughZlib(owner.CompressionLevel()) || !SaveInBands(sink, owner, rowLength)) {
    SaveStreamed(sink, owner, rowLength);
  }
}

bool TChunkIDAT::SaveInBands(ByteSink& sink, const TPNGWriter& owner, std::size_t rowLength) const {
  // Chunks of the maximum size as the stream comes, the last one shorter: its length is known
  // only at the end.
  std::vector<std::uint8_t> chunk(owner.MaxIdatSize());
  std::size_t used = 0;
  const auto put = [&](const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
      const std::size_t n = std::min(chunk.size() - used, size);
      std::copy_n(data, n, chunk.data() + used);
      data += n, size -= n, used += n;
      if (used == chunk.size()) {
        WriteChunk(sink, "IDAT", chunk.data(), used);
        used = 0;
      }
    }
  };
  const auto makeRow = [this, rowLength](int y, std::uint8_t* row) {
    row[0] = kFilterSub;
    FilterRow(picture_, y, row + 1, rowLength);
  };
  if (!DeflateInBands(owner.CompressionLevel(), 1 + rowLength, picture_.height, makeRow, put))
    return false;
  if (used > 0) WriteChunk(sink, "IDAT", chunk.data(), used);  // the stream ends with 4 bytes
  return true;
}

void TChunkIDAT::SaveStreamed(ByteSink& sink, const TPNGWriter& owner,
                              std::size_t rowLength) const {
  std::vector<std::uint8_t> row(1 + rowLength);
  row[0] = kFilterSub;
  std::vector<std::uint8_t> out(owner.MaxIdatSize());

  Deflater deflater(owner.CompressionLevel());
  z_stream& z = *deflater;
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  const auto emitFullBuffer = [&] {
    WriteChunk(sink, "IDAT", out.data(), out.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
  };

  for (int y = 0; y < picture_.height; ++y) {
    FilterRow(picture_, y, row.data() + 1, rowLength);
    z.next_in = row.data();
    z.avail_in = static_cast<uInt>(row.size());
    do {
      if (deflate(&z, Z_NO_FLUSH) != Z_OK) throw CodecError("PNG compression error");
      if (z.avail_out == 0) emitFullBuffer();
    } while (z.avail_in > 0);
  }
  for (;;) {
    const int result = deflate(&z, Z_FINISH);
    if (result != Z_OK && result != Z_STREAM_END) throw CodecError("PNG compression error");
    if (z.avail_out == 0) emitFullBuffer();
    if (result == Z_STREAM_END) break;
  }
  const std::size_t rest = out.size() - z.avail_out;
  if (rest > 0) WriteChunk(sink, "IDAT", out.data(), rest);
}

void TPNGWriter::Assign(const PictureView& picture) {
  CheckPicture(picture);
  chunks_.clear();
  if (picture.IsEmpty()) {
    throw CodecError("Cannot write a PNG picture of " + std::to_string(picture.width) + " x " +
                     std::to_string(picture.height) + " pixels");
  }
  const bool palette = picture.IsPalette();
  chunks_.push_back(std::make_unique<TChunkIHDR>(
      static_cast<std::uint32_t>(picture.width), static_cast<std::uint32_t>(picture.height),
      static_cast<std::uint8_t>(palette ? picture.bitsPerPixel : 8),
      static_cast<std::uint8_t>(palette ? 3 : 2), InterlaceMethod()));
  if (palette) chunks_.push_back(std::make_unique<TChunkPLTE>(picture));
  chunks_.push_back(std::make_unique<TChunkIDAT>(picture));
  chunks_.push_back(std::make_unique<TChunkIEND>());
}

void TPNGWriter::SetCompressionLevel(int level) { compressionLevel_ = std::min(level & 0xFF, 9); }

void TPNGWriter::SaveToFile(const std::string& path) const {
  if (chunks_.empty()) throw std::logic_error("TPNGWriter: no picture assigned");
  FileSink file(path);
  SaveToStream(file);
  file.Close();
}

void TPNGWriter::SaveToStream(ByteSink& sink) const {
  if (chunks_.empty()) throw std::logic_error("TPNGWriter: no picture assigned");
  sink.Write(kSignature, sizeof kSignature);
  for (const auto& chunk : chunks_) chunk->SaveTo(sink, *this);
}

void SaveAsPng(const std::string& path, const PictureView& picture, int level) {
  TPNGWriter writer;
  writer.Assign(picture);
  writer.SetCompressionLevel(level);
  writer.SaveToFile(path);
}

}  // namespace codecs
