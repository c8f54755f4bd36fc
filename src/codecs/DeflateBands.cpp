#include "codecs/DeflateBands.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "codecs/Picture.h"

namespace codecs {
namespace {

// About this many uncompressed bytes per band, in at most kMaxBands bands: a 1080-line screen
// gives two cores a band each, a 2160-line one four bands that balance over uneven content.
// Every join costs bytes (a band starts without the history above it), so there are no more
// than the cores of a usual machine can use.
constexpr std::size_t kBandBytes = std::size_t{3} << 20;
constexpr std::size_t kMaxBands = 4;
// Rows of detail (photos) compress to about half their size, flat screens to a tenth. Two
// detailed bands compressed at once would hold their rows and their output, over two copies of
// the picture, until both are written; bands half as long are written and let go one by one.
// On such rows the extra joins cost nothing: a join is also a fresh start for the block coder.
constexpr std::size_t kDetailedBandBytes = kBandBytes / 2;
constexpr int kDetailSampleStep = 16;
// At the fastest level, compressing a band takes little longer than filtering its rows into
// fresh memory. Bands of the shorter length, and more of them, keep each core's buffer small
// (a coder holds the largest band) and set the second core going sooner: on 4K screens a
// quarter to a third less time and half the memory, files within 0.3 % of four bands'.
constexpr std::size_t kMaxFastBands = 16;
constexpr int kFastestLibdeflateLevel = 2;

// An empty stored block after the last byte, and one byte more when the 3 header bits do not
// fit in that byte's padding.
constexpr std::size_t kOpenEndBytes = 5;

// The libdeflate level for each zlib level 1..9: the fastest one whose files were no larger
// than zlib's at that level on Sub-filtered screenshots (text, desktop, photo; 1080 and 2160
// lines), and at level 1 the fastest one as fast as zlib. The levels do not match one to one:
// libdeflate 6 loses to zlib 6 on 4K screens, and libdeflate 1 is slower than its 2 on 4K
// screens; libdeflate 2 is as fast as zlib 1 on screens and 1.6 times faster on photos, with
// files 2-11 % smaller.
int LibdeflateLevel(int zlibLevel) {
  static constexpr int kLevels[10] = {0, 2, 2, 5, 5, 6, 7, 8, 8, 9};  // 0: stored, by zlib
  return kLevels[std::clamp(zlibLevel, 0, 9)];
}

void CompressionFailed() { throw CodecError("PNG compression error"); }

struct Band {
  int firstRow = 0;
  int rows = 0;
  std::size_t length = 0;  // uncompressed
  std::uint32_t adler = 1;
  std::unique_ptr<std::uint8_t[]> out;  // room for the bound, reserved before any band starts
  std::size_t size = 0;                 // compressed
  bool done = false;                    // guarded by the band list's mutex
};

// The most a band's compressed form can take, with room to open its end.
std::size_t Bound(std::size_t length) {
  // libdeflate's bound does not depend on the compressor or its level.
  return libdeflate_deflate_compress_bound(nullptr, length) + kOpenEndBytes;
}

// Compresses bands on one thread; each thread has its own, as a compressor may not be shared.
// All memory is taken when it is made, so that no band fails for memory once one is written.
class BandCoder {
 public:
  BandCoder(int level, std::size_t rowBytes, std::size_t bandBytes, const RowMaker& makeRow)
      : rowBytes_(rowBytes),
        makeRow_(makeRow),
        compressor_(libdeflate_alloc_compressor(LibdeflateLevel(level))),
        // Not zero-filled, and kept from band to band: fresh pages cost as much as filtering.
        rows_(std::make_unique_for_overwrite<std::uint8_t[]>(bandBytes)) {
    if (compressor_ == nullptr) throw std::bad_alloc();
  }
  ~BandCoder() { libdeflate_free_compressor(compressor_); }
  BandCoder(const BandCoder&) = delete;
  BandCoder& operator=(const BandCoder&) = delete;

  void Compress(Band& band, bool last) {
    for (int i = 0; i < band.rows; ++i)
      makeRow_(band.firstRow + i, &rows_[static_cast<std::size_t>(i) * rowBytes_]);
    band.adler = libdeflate_adler32(1, rows_.get(), band.length);
    const std::size_t size = libdeflate_deflate_compress(compressor_, rows_.get(), band.length,
                                                         band.out.get(), Bound(band.length));
    if (size == 0) CompressionFailed();
    band.size = last ? size : OpenDeflateEnd(band.out.get(), size);
  }

 private:
  std::size_t rowBytes_;
  const RowMaker& makeRow_;
  libdeflate_compressor* compressor_;
  std::unique_ptr<std::uint8_t[]> rows_;
};

// Runs the bands on this thread and up to one more per core. This thread also hands each band,
// in order, to `write` as soon as the bands above it are written; the first failure wins.
void CompressAll(std::vector<Band>& bands, std::vector<std::unique_ptr<BandCoder>>& coders,
                 const std::function<void(Band&)>& write) {
  std::atomic<std::size_t> next{0};
  std::mutex mutex;
  std::condition_variable finished;
  std::vector<std::exception_ptr> errors(coders.size());
  bool failed = false;  // guarded by mutex
  std::size_t written = 0;
  // Writes the bands that are done, in order, up to the first that is not; waits for that one
  // when asked to.
  const auto writeDone = [&](bool wait) {
    while (written < bands.size()) {
      {
        std::unique_lock lock(mutex);
        if (wait) finished.wait(lock, [&] { return bands[written].done || failed; });
        if (!bands[written].done) return;
      }
      write(bands[written]);
      bands[written++].out.reset();
    }
  };
  const auto work = [&](std::size_t thread) {
    try {
      for (std::size_t i = next++; i < bands.size(); i = next++) {
        coders[thread]->Compress(bands[i], i + 1 == bands.size());
        {
          const std::lock_guard lock(mutex);
          bands[i].done = true;
          finished.notify_all();
        }
        if (thread == 0) writeDone(false);
      }
      coders[thread].reset();  // its rows' memory is not needed while the others finish
    } catch (...) {
      errors[thread] = std::current_exception();
      next = bands.size();  // the others stop after their current band
      const std::lock_guard lock(mutex);
      failed = true;
      finished.notify_all();
    }
  };
  std::vector<std::thread> helpers;
  helpers.reserve(coders.size());
  // Also when a write throws: the others stop after their current band.
  struct Join {
    std::atomic<std::size_t>& next;
    std::size_t count;
    std::vector<std::thread>& threads;
    void operator()() {
      next = count;
      for (std::thread& thread : threads) {
        if (thread.joinable()) thread.join();
      }
    }
    ~Join() { (*this)(); }
  } join{next, bands.size(), helpers};
  try {
    for (std::size_t t = 1; t < coders.size(); ++t) helpers.emplace_back(work, t);
  } catch (const std::system_error&) {
    // No more threads to be had: those running and this one take every band.
  }
  work(0);
  if (!errors[0]) writeDone(true);
  join();
  for (const std::exception_ptr& error : errors) {
    if (error) std::rethrow_exception(error);
  }
}

// Reads a raw deflate stream's blocks without producing what they hold: enough to know where
// its last block starts and where its last bit is. About four times faster than inflating on
// screens (long matches are skipped, not copied); throws CodecError for a broken stream.
class BlockWalker {
 public:
  struct End {
    std::uint64_t lastHeaderBit = 0;  // of the final block's header, from the start
    std::uint64_t bits = 0;           // bits the stream uses
  };

  BlockWalker(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  End WalkToEnd() {
    End end;
    for (bool last = false; !last;) {
      Refill();
      end.lastHeaderBit = BitPosition();
      last = Take(1) != 0;
      switch (Take(2)) {
        case 0:
          SkipStored();
          break;
        case 1:
          SkipCodes(FixedCodes().literals, FixedCodes().distances);
          break;
        case 2:
          ReadDynamicCodes();
          SkipCodes(literals_, distances_);
          break;
        default:
          Broken();
      }
    }
    end.bits = BitPosition();
    if ((end.bits + 7) / 8 != size_) Broken();  // the stream must be all of the bytes
    return end;
  }

 private:
  static constexpr int kFastBits = 11;
  static constexpr int kMaxBits = 15;

  // A canonical Huffman code: codes of up to kFastBits bits looked up at once, longer ones
  // (rare symbols by construction) decoded a bit at a time.
  struct Code {
    std::array<std::uint16_t, 1 << kFastBits> fast{};  // symbol << 4 | length; 0: longer code
    std::array<std::uint16_t, kMaxBits + 1> count{};
    std::array<std::uint16_t, 288> symbols{};  // in code order

    void Build(const std::uint8_t* lengths, int n) {
      count.fill(0);
      for (int i = 0; i < n; ++i) ++count[lengths[i]];
      count[0] = 0;
      std::array<std::uint16_t, kMaxBits + 2> offset{};
      for (int len = 1; len <= kMaxBits; ++len) offset[len + 1] = offset[len] + count[len];
      for (int i = 0; i < n; ++i) {
        if (lengths[i] != 0) symbols[offset[lengths[i]]++] = static_cast<std::uint16_t>(i);
      }
      fast.fill(0);
      unsigned code = 0;
      int index = 0;
      for (int len = 1; len <= kMaxBits; ++len, code <<= 1) {
        for (int k = 0; k < count[len]; ++k, ++code, ++index) {
          if (len > kFastBits) continue;
          unsigned reversed = 0;
          for (int b = 0; b < len; ++b) reversed |= ((code >> b) & 1u) << (len - 1 - b);
          for (unsigned i = reversed; i < fast.size(); i += 1u << len)
            fast[i] = static_cast<std::uint16_t>(symbols[index] << 4 | len);
        }
      }
    }
  };
  struct Fixed {
    Code literals, distances;
    Fixed() {
      std::array<std::uint8_t, 288> lengths{};
      std::fill(lengths.begin(), lengths.begin() + 144, 8);
      std::fill(lengths.begin() + 144, lengths.begin() + 256, 9);
      std::fill(lengths.begin() + 256, lengths.begin() + 280, 7);
      std::fill(lengths.begin() + 280, lengths.end(), 8);
      literals.Build(lengths.data(), 288);
      std::fill(lengths.begin(), lengths.begin() + 30, 5);
      distances.Build(lengths.data(), 30);
    }
  };
  static const Fixed& FixedCodes() {
    static const Fixed fixed;
    return fixed;
  }

  [[noreturn]] static void Broken() { throw CodecError("PNG compression error"); }

  std::uint64_t BitPosition() const { return std::uint64_t{pos_} * 8 - count_; }

  // At least 56 bits in the buffer; past the end it reads zeros, a little way only.
  void Refill() {
    if constexpr (std::endian::native == std::endian::little) {
      if (pos_ + 8 <= size_) {
        std::uint64_t word;
        std::memcpy(&word, data_ + pos_, 8);
        bits_ |= word << count_;
        pos_ += (63 - count_) / 8;
        count_ |= 56;
        return;
      }
    }
    for (; count_ <= 56; ++pos_, count_ += 8) {
      if (pos_ < size_) bits_ |= std::uint64_t{data_[pos_]} << count_;
      if (pos_ > size_ + 16) Broken();
    }
  }
  unsigned Take(unsigned n) {
    const auto value = static_cast<unsigned>(bits_ & ((std::uint64_t{1} << n) - 1));
    bits_ >>= n;
    count_ -= n;
    return value;
  }
  unsigned Decode(const Code& code) {
    const unsigned entry = code.fast[bits_ & ((1u << kFastBits) - 1)];
    if (entry == 0) return DecodeLong(code);
    bits_ >>= entry & 15;
    count_ -= entry & 15;
    return entry >> 4;
  }
  unsigned DecodeLong(const Code& code) {
    int first = 0, index = 0, value = 0;
    for (int len = 1; len <= kMaxBits; ++len) {
      value |= static_cast<int>(Take(1));
      const int n = code.count[len];
      if (value - n < first) return code.symbols[index + (value - first)];
      index += n;
      first = (first + n) << 1;
      value <<= 1;
    }
    Broken();
  }

  void SkipStored() {
    Take(count_ % 8);
    const std::size_t at = BitPosition() / 8;
    if (at + 4 > size_) Broken();
    const unsigned length = data_[at] | data_[at + 1] << 8;
    if ((length ^ 0xFFFFu) != static_cast<unsigned>(data_[at + 2] | data_[at + 3] << 8)) Broken();
    pos_ = at + 4 + length;
    if (pos_ > size_) Broken();
    bits_ = 0;
    count_ = 0;
  }

  void ReadDynamicCodes() {
    Refill();
    const unsigned literalCount = Take(5) + 257, distanceCount = Take(5) + 1;
    const unsigned lengthCodeCount = Take(4) + 4;
    static constexpr std::uint8_t kOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                11, 4,  12, 3, 13, 2, 14, 1, 15};
    std::array<std::uint8_t, 19> lengthCodeLengths{};
    for (unsigned i = 0; i < lengthCodeCount; ++i) {
      Refill();
      lengthCodeLengths[kOrder[i]] = static_cast<std::uint8_t>(Take(3));
    }
    lengthCode_.Build(lengthCodeLengths.data(), 19);
    std::array<std::uint8_t, 288 + 32> lengths{};
    for (unsigned i = 0; i < literalCount + distanceCount;) {
      Refill();
      const unsigned symbol = Decode(lengthCode_);
      if (symbol < 16) {
        lengths[i++] = static_cast<std::uint8_t>(symbol);
        continue;
      }
      const std::uint8_t repeated = symbol == 16 ? (i > 0 ? lengths[i - 1] : 0xFF) : 0;
      const unsigned times = symbol == 16 ? 3 + Take(2) : symbol == 17 ? 3 + Take(3) : 11 + Take(7);
      if (repeated == 0xFF || i + times > literalCount + distanceCount) Broken();
      std::fill_n(lengths.begin() + i, times, repeated);
      i += times;
    }
    literals_.Build(lengths.data(), static_cast<int>(literalCount));
    distances_.Build(lengths.data() + literalCount, static_cast<int>(distanceCount));
  }

  void SkipCodes(const Code& literals, const Code& distances) {
    static constexpr std::uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    static constexpr std::uint8_t kDistanceExtra[30] = {0, 0, 0,  0,  1,  1,  2,  2,  3,  3,
                                                        4, 4, 5,  5,  6,  6,  7,  7,  8,  8,
                                                        9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
    for (;;) {
      // A length and its distance take at most 15 + 5 + 15 + 13 bits.
      if (count_ < 48) Refill();
      const unsigned symbol = Decode(literals);
      if (symbol < 256) continue;
      if (symbol == 256) return;
      if (symbol > 285) Broken();
      Take(kLengthExtra[symbol - 257]);
      const unsigned distance = Decode(distances);
      if (distance >= 30) Broken();
      Take(kDistanceExtra[distance]);
    }
  }

  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;  // next byte to load
  std::uint64_t bits_ = 0;
  unsigned count_ = 0;  // bits in bits_
  Code lengthCode_, literals_, distances_;
};

// Bytes of a filtered row that are not zero: flat colour filters to zeros.
std::size_t NonZeroBytes(const std::vector<std::uint8_t>& row) {
  return row.size() - static_cast<std::size_t>(std::count(row.begin(), row.end(), 0));
}

// A band starts without the history of the rows above it; the rows within a window's reach of
// its start are where that costs bytes. Each join moves, by at most an eighth of a band, to
// where those rows hold the fewest non-zero bytes (plain rows: flat colour filters to zeros).
// On screens this takes back most of what the joins cost; on photos the joins stay put.
void MoveJoinsToPlainRows(std::vector<int>& starts, int bandRows, std::size_t rowBytes, int rows,
                          const RowMaker& makeRow) {
  const int reach = static_cast<int>(std::clamp<std::size_t>(32768 / rowBytes + 1, 1, 8));
  const int slack = bandRows / 8;
  if (slack == 0) return;
  std::vector<std::uint8_t> row(rowBytes);
  std::vector<std::size_t> busy;  // non-zero bytes per row from the window's first row
  for (std::size_t i = 1; i < starts.size(); ++i) {
    const int first = std::max(starts[i] - slack, starts[i - 1] + 1);
    const int last = std::min(starts[i] + slack, rows - 1);
    busy.clear();
    for (int y = first; y < std::min(last + reach, rows); ++y) {
      makeRow(y, row.data());
      busy.push_back(NonZeroBytes(row));
    }
    std::size_t best = SIZE_MAX;
    const int even = starts[i];
    for (int y = first; y <= last; ++y) {
      std::size_t cost = 0;
      for (int k = 0; k < reach && y + k - first < static_cast<int>(busy.size()); ++k)
        cost += busy[static_cast<std::size_t>(y + k - first)];
      // Ties go to the row nearest the even split.
      if (cost < best || (cost == best && std::abs(y - even) < std::abs(starts[i] - even))) {
        best = cost;
        starts[i] = y;
      }
    }
  }
}

// Whether most bytes of a sample of the rows are not zero once filtered: no flat colour.
bool MostlyDetail(std::size_t rowBytes, int rows, const RowMaker& makeRow) {
  std::vector<std::uint8_t> row(rowBytes);
  std::size_t busy = 0, seen = 0;
  for (int y = kDetailSampleStep / 2; y < rows; y += kDetailSampleStep) {
    makeRow(y, row.data());
    busy += NonZeroBytes(row);
    seen += rowBytes;
  }
  return busy * 2 > seen;
}

}  // namespace

bool DeflateInBands(int level, std::size_t rowBytes, int rows, const RowMaker& makeRow,
                    const StreamWriter& write) {
  std::vector<Band> bands;
  std::vector<std::unique_ptr<BandCoder>> coders;
  try {
    const std::size_t total = rowBytes * static_cast<std::size_t>(std::max(rows, 1));
    const bool fast = LibdeflateLevel(level) <= kFastestLibdeflateLevel;
    const std::size_t bandBytes =
        fast || (total > kBandBytes && MostlyDetail(rowBytes, rows, makeRow)) ? kDetailedBandBytes
                                                                              : kBandBytes;
    const std::size_t maxBands = fast ? kMaxFastBands : kMaxBands;
    const std::size_t bandCount = std::clamp<std::size_t>((total + bandBytes / 2) / bandBytes, 1,
                                                          std::min<std::size_t>(maxBands, rows));
    const int bandRows =
        static_cast<int>((static_cast<std::size_t>(rows) + bandCount - 1) / bandCount);
    std::vector<int> starts;
    for (int y = 0; y < rows; y += bandRows) starts.push_back(y);
    MoveJoinsToPlainRows(starts, bandRows, rowBytes, rows, makeRow);
    starts.push_back(rows);
    bands.resize(starts.size() - 1);
    std::size_t largest = 0;
    for (std::size_t i = 0; i < bands.size(); ++i) {
      Band& band = bands[i];
      band.firstRow = starts[i];
      band.rows = starts[i + 1] - starts[i];
      band.length = rowBytes * static_cast<std::size_t>(band.rows);
      // Only the pages compression reaches become resident.
      band.out = std::make_unique_for_overwrite<std::uint8_t[]>(Bound(band.length));
      largest = std::max(largest, band.length);
    }
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    while (coders.size() < std::min<std::size_t>(cores, bands.size()))
      coders.push_back(std::make_unique<BandCoder>(level, rowBytes, largest, makeRow));
  } catch (const std::bad_alloc&) {
    return false;
  }
  // Deflate with a 32 KiB window, the level class as zlib sets it, and the check bits.
  const unsigned levelClass = level < 2 ? 0 : level < 6 ? 1 : level == 6 ? 2 : 3;
  unsigned header = 0x7800 | levelClass << 6;
  header += 31 - header % 31;
  const std::uint8_t head[2] = {static_cast<std::uint8_t>(header >> 8),
                                static_cast<std::uint8_t>(header)};
  write(head, sizeof head);
  uLong adler = 1;
  CompressAll(bands, coders, [&](Band& band) {
    write(band.out.get(), band.size);
    adler = adler32_combine(adler, band.adler, static_cast<z_off_t>(band.length));
  });
  std::uint8_t tail[4];
  for (int i = 0; i < 4; ++i) tail[i] = static_cast<std::uint8_t>(adler >> (24 - 8 * i));
  write(tail, sizeof tail);
  return true;
}

std::size_t OpenDeflateEnd(std::uint8_t* data, std::size_t size) {
  const BlockWalker::End end = BlockWalker(data, size).WalkToEnd();
  data[end.lastHeaderBit / 8] &= static_cast<std::uint8_t>(~(1u << (end.lastHeaderBit % 8)));
  // The stored block's 3 header bits (all zero) go into the unused padding of the last byte
  // when it has room for them; its length words start on the next whole byte either way.
  const auto unused = static_cast<unsigned>((8 - end.bits % 8) % 8);
  if (unused < 3) data[size++] = 0;
  static constexpr std::uint8_t kEmptyStored[4] = {0x00, 0x00, 0xFF, 0xFF};  // length, ~length
  std::copy_n(kEmptyStored, 4, data + size);
  return size + 4;
}

}  // namespace codecs
