#include "codecs/DeflateBands.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <new>
#include <system_error>
#include <thread>

#include "codecs/Picture.h"

namespace codecs {
namespace {

// Uncompressed bytes per band: small enough that a 1080-line screen gives both cores work and
// a 2160-line one balances over uneven content, large enough that the history each band starts
// without and the pass that opens its end stay below 1 % of size and time.
constexpr std::size_t kBandBytes = std::size_t{3} << 20;

// An empty stored block after the last byte, and one byte more when the 3 header bits do not
// fit in that byte's padding.
constexpr std::size_t kOpenEndBytes = 5;

// The libdeflate level for each zlib level 2..9: the fastest one whose files were no larger
// than zlib's at that level on Sub-filtered screenshots (text, desktop, photo; 1080 and 2160
// lines). The levels do not match one to one: libdeflate 6 loses to zlib 6 on 4K screens.
int LibdeflateLevel(int zlibLevel) {
  static constexpr int kLevels[10] = {0, 0, 2, 5, 5, 6, 7, 8, 8, 9};  // 0, 1: zlib
  return kLevels[std::clamp(zlibLevel, 0, 9)];
}

// Level 1 goes through zlib: on screens it is as fast as libdeflate's fastest level, and it
// can stream a band row by row with no band-sized copy of the rows.
bool UsesZlib(int level) { return level <= 1; }

void CompressionFailed() { throw CodecError("PNG compression error"); }

struct Band {
  int firstRow = 0;
  int rows = 0;
  std::size_t length = 0;  // uncompressed
  std::uint32_t adler = 1;
  ZlibStream::Part out;
};

// Compresses bands on one thread; each thread has its own, as neither library's state may be
// shared.
class BandCoder {
 public:
  BandCoder(int level, std::size_t rowBytes, const RowMaker& makeRow)
      : rowBytes_(rowBytes), makeRow_(makeRow), zlib_(UsesZlib(level)) {
    if (zlib_) {
      if (deflateInit2(&z_, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::bad_alloc();
    } else {
      compressor_ = libdeflate_alloc_compressor(LibdeflateLevel(level));
      if (compressor_ == nullptr) throw std::bad_alloc();
    }
  }
  ~BandCoder() {
    if (zlib_) deflateEnd(&z_);
    if (compressor_ != nullptr) libdeflate_free_compressor(compressor_);
  }
  BandCoder(const BandCoder&) = delete;
  BandCoder& operator=(const BandCoder&) = delete;

  void Compress(Band& band, bool last) {
    if (zlib_) {
      CompressStreamed(band, last);
    } else {
      CompressAtOnce(band, last);
    }
  }

 private:
  void CompressAtOnce(Band& band, bool last) {
    const std::size_t bound =
        libdeflate_deflate_compress_bound(compressor_, band.length) + kOpenEndBytes;
    // Not zero-filled: the pages of the output that compression never reaches stay unmapped,
    // so what is resident is the band's rows plus its compressed bytes.
    auto rows = std::make_unique_for_overwrite<std::uint8_t[]>(band.length);
    band.out.bytes = std::make_unique_for_overwrite<std::uint8_t[]>(bound);
    for (int i = 0; i < band.rows; ++i)
      makeRow_(band.firstRow + i, &rows[static_cast<std::size_t>(i) * rowBytes_]);
    band.adler = libdeflate_adler32(1, rows.get(), band.length);
    const std::size_t size = libdeflate_deflate_compress(compressor_, rows.get(), band.length,
                                                         band.out.bytes.get(), bound);
    if (size == 0) CompressionFailed();
    rows.reset();
    band.out.size = last ? size : OpenDeflateEnd(band.out.bytes.get(), size);
  }

  void CompressStreamed(Band& band, bool last) {
    if (deflateReset(&z_) != Z_OK) CompressionFailed();
    // The empty stored block of a sync flush is not in the bound of a finished stream.
    const std::size_t bound = deflateBound(&z_, band.length) + 16;
    band.out.bytes = std::make_unique_for_overwrite<std::uint8_t[]>(bound);
    row_.resize(rowBytes_);
    z_.next_out = band.out.bytes.get();
    z_.avail_out = static_cast<uInt>(bound);
    for (int i = 0; i < band.rows; ++i) {
      makeRow_(band.firstRow + i, row_.data());
      band.adler = libdeflate_adler32(band.adler, row_.data(), rowBytes_);
      z_.next_in = row_.data();
      z_.avail_in = static_cast<uInt>(rowBytes_);
      if (deflate(&z_, Z_NO_FLUSH) != Z_OK || z_.avail_in != 0) CompressionFailed();
    }
    // A sync flush ends the band on a byte with an empty stored block and no final mark.
    const int result = deflate(&z_, last ? Z_FINISH : Z_SYNC_FLUSH);
    if (result != (last ? Z_STREAM_END : Z_OK) || z_.avail_out == 0) CompressionFailed();
    band.out.size = bound - z_.avail_out;
  }

  std::size_t rowBytes_;
  const RowMaker& makeRow_;
  bool zlib_;
  z_stream z_{};
  libdeflate_compressor* compressor_ = nullptr;
  std::vector<std::uint8_t> row_;
};

// Runs the bands on this thread and up to one more per core; the first failure wins.
void CompressAll(std::vector<Band>& bands, int level, std::size_t rowBytes,
                 const RowMaker& makeRow) {
  std::atomic<std::size_t> next{0};
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const std::size_t threads = std::min<std::size_t>(cores, bands.size());
  std::vector<std::exception_ptr> errors(threads);
  const auto work = [&](std::size_t thread) {
    try {
      BandCoder coder(level, rowBytes, makeRow);
      for (std::size_t i = next++; i < bands.size(); i = next++) {
        coder.Compress(bands[i], i + 1 == bands.size());
      }
    } catch (...) {
      errors[thread] = std::current_exception();
      next = bands.size();  // the others stop after their current band
    }
  };
  std::vector<std::thread> helpers;
  try {
    for (std::size_t t = 1; t < threads; ++t) helpers.emplace_back(work, t);
  } catch (const std::system_error&) {
    // No more threads to be had: those running and this one take every band.
  }
  work(0);
  for (std::thread& helper : helpers) helper.join();
  for (const std::exception_ptr& error : errors) {
    if (error) std::rethrow_exception(error);
  }
}

std::array<std::uint8_t, 2> ZlibHeader(int level) {
  // Deflate with a 32 KiB window, the level class as zlib sets it, and the check bits.
  const unsigned levelClass = level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
  unsigned header = 0x7800 | levelClass << 6;
  header += 31 - header % 31;
  return {static_cast<std::uint8_t>(header >> 8), static_cast<std::uint8_t>(header)};
}

}  // namespace

std::size_t ZlibStream::Size() const {
  std::size_t size = header.size() + adler.size();
  for (const Part& part : parts) size += part.size;
  return size;
}

std::optional<ZlibStream> DeflateInBands(int level, std::size_t rowBytes, int rows,
                                         const RowMaker& makeRow) {
  const int bandRows =
      static_cast<int>(std::clamp<std::size_t>(kBandBytes / std::max<std::size_t>(rowBytes, 1), 1,
                                               static_cast<std::size_t>(std::max(rows, 1))));
  std::vector<Band> bands;
  ZlibStream stream;
  try {
    bands.reserve(static_cast<std::size_t>((rows + bandRows - 1) / bandRows));
    for (int y = 0; y < rows; y += bandRows) {
      const int count = std::min(bandRows, rows - y);
      bands.push_back({y, count, rowBytes * static_cast<std::size_t>(count), 1, {}});
    }
    CompressAll(bands, level, rowBytes, makeRow);
    stream.parts.reserve(bands.size());
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  stream.header = ZlibHeader(level);
  uLong adler = 1;
  for (Band& band : bands) {
    adler = adler32_combine(adler, band.adler, static_cast<z_off_t>(band.length));
    stream.parts.push_back(std::move(band.out));
  }
  for (int i = 0; i < 4; ++i) stream.adler[i] = static_cast<std::uint8_t>(adler >> (24 - 8 * i));
  return stream;
}

std::size_t OpenDeflateEnd(std::uint8_t* data, std::size_t size) {
  z_stream z{};
  if (inflateInit2(&z, -MAX_WBITS) != Z_OK) throw std::bad_alloc();
  struct End {
    z_stream& z;
    ~End() { inflateEnd(&z); }
  } end{z};
  // Inflating block by block, zlib reports each boundary and how many bits of the last byte it
  // read are still unread: there the next block's header, and its final mark, begins.
  std::uint8_t* header = data;
  unsigned mark = 1;
  std::vector<std::uint8_t> discard(std::size_t{1} << 16);
  z.next_in = data;
  z.avail_in = static_cast<uInt>(size);
  for (;;) {
    z.next_out = discard.data();
    z.avail_out = static_cast<uInt>(discard.size());
    if (inflate(&z, Z_BLOCK) != Z_OK) CompressionFailed();
    if ((z.data_type & 128) == 0) continue;  // within a block
    if ((z.data_type & 64) != 0) break;      // after the final block
    const unsigned unread = static_cast<unsigned>(z.data_type) & 7;
    header = unread > 0 ? z.next_in - 1 : z.next_in;
    mark = unread > 0 ? 1u << (8 - unread) : 1u;
  }
  if (z.avail_in != 0) CompressionFailed();  // the stream is all of data
  *header &= static_cast<std::uint8_t>(~mark);
  // The stored block's 3 header bits (all zero) go into the unread padding of the last byte
  // when it has room for them; its length words start on the next whole byte either way.
  const unsigned unread = static_cast<unsigned>(z.data_type) & 7;
  if (unread < 3) data[size++] = 0;
  static constexpr std::uint8_t kEmptyStored[4] = {0x00, 0x00, 0xFF, 0xFF};  // length, ~length
  std::copy_n(kEmptyStored, 4, data + size);
  return size + 4;
}

}  // namespace codecs
