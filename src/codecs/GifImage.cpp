#include "codecs/GifImage.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <numeric>

namespace codecs {
namespace {

constexpr std::size_t kMaxColours = 2049;
constexpr std::uint8_t kMidGrey = 128;

// Colour -> entry number, open addressing. Starts small and doubles, up to 2^maxBits slots,
// to stay at most half full: a screen's few thousand colours then stay in a cache-sized table.
class ColourIndex {
 public:
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;  // no 24-bit colour equals it
  static constexpr std::uint32_t kAbsent = 0xFFFFFFFFu;

  explicit ColourIndex(int maxBits) : maxBits_(maxBits) {}
  void Reset() {
    bits_ = std::min(12, maxBits_);
    slots_.assign(std::size_t{1} << bits_, Slot{kEmpty, 0});
    size_ = 0;
  }
  // Entry of `colour`, or kAbsent; the slot probed is kept for Add().
  std::uint32_t Find(std::uint32_t colour) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = (colour * 0x9E3779B1u) >> (32 - bits_);
    while (slots_[i].colour != kEmpty && slots_[i].colour != colour) i = (i + 1) & mask;
    probed_ = i;
    return slots_[i].colour == kEmpty ? kAbsent : slots_[i].entry;
  }
  // Adds `colour`, which the last Find() did not find.
  void Add(std::uint32_t colour, std::uint32_t entry) {
    slots_[probed_] = {colour, entry};
    if (++size_ * 2 > slots_.size() && bits_ < maxBits_) Grow();
  }

 private:
  struct Slot {
    std::uint32_t colour;
    std::uint32_t entry;
  };

  void Grow() {
    std::vector<Slot> old(std::size_t{1} << ++bits_, Slot{kEmpty, 0});
    old.swap(slots_);
    for (const Slot& slot : old) {
      if (slot.colour == kEmpty) continue;
      Find(slot.colour);
      slots_[probed_] = slot;
    }
  }

  int maxBits_;
  int bits_ = 0;
  std::size_t size_ = 0;
  std::size_t probed_ = 0;
  std::vector<Slot> slots_;
};

// Popularity reduction: distinct masked colours counted bottom row first, in a table of at
// most 2049; a 2050th colour drops one more low bit, blue, red, green in turn, and the count
// starts again. The outcome is the first mask of that sequence under which the whole picture
// has at most 2049 colours, with entries in order of first appearance. Screens have a few
// thousand exact colours: one pass collects them and the masks are tried on that list. Photos
// have more; for them the pixels are counted again under each mask (a failing pass ends early).
class ColourReducer {
 public:
  void Reduce(const PictureView& picture, GifPalette& palette) {
    row_.resize(static_cast<std::size_t>(picture.width));
    pixels_ = static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height);
    ids_ = std::make_unique_for_overwrite<std::uint16_t[]>(pixels_);
    if (CollectDistinct(picture)) {
      while (!CountMasked()) NextMask();
    } else {
      while (!CountPixels(picture)) NextMask();
    }
    ChoosePalette(palette);
  }

  // Per pixel, rows from the top, an id whose palette index is IdPalette()[id].
  const std::uint16_t* Ids() const { return ids_.get(); }
  std::size_t PixelCount() const { return pixels_; }
  const std::vector<std::uint8_t>& IdPalette() const { return idPalette_; }

 private:
  static constexpr std::size_t kMaxDistinct = 32768;

  // Calls body(y, word) for each row from the bottom up, where word(x) is pixel x as a
  // 0x??RRGGBB word, read in place from a 32-bit picture and from a converted copy otherwise;
  // stops early when body returns false.
  template <class Body>
  bool ForEachRowUpwards(const PictureView& picture, Body&& body) {
    for (int y = picture.height - 1; y >= 0; --y) {
      if (picture.bitsPerPixel == 32) {
        const std::uint8_t* bytes = picture.Row(y);
        const auto word = [bytes](std::size_t x) {
          std::uint32_t value;
          std::memcpy(&value, bytes + 4 * x, 4);  // little-endian: blue is the low byte
          return value;
        };
        if (!body(y, word)) return false;
      } else {
        ReadRowRgb(picture, y, row_.data());
        const std::uint32_t* words = row_.data();
        if (!body(y, [words](std::size_t x) { return words[x]; })) return false;
      }
    }
    return true;
  }

  void NextMask() {
    const int shift = turn_ == 0 ? 0 : turn_ == 1 ? 16 : 8;  // blue, red, green
    const std::uint32_t channel = (mask_ >> shift) & 0xFF;
    mask_ = (mask_ & ~(0xFFu << shift)) | (((channel << 1) & 0xFF) << shift);
    turn_ = (turn_ + 1) % 3;
  }

  // Colours under `mask` in order of first appearance, with pixel counts; each pixel's entry in
  // `ids_`. False when a colour past `limit` turns up. Runs are counted when they end.
  bool CountRuns(const PictureView& picture, std::uint32_t mask, ColourIndex& index,
                 std::vector<std::uint32_t>& colours, std::vector<std::uint32_t>& counts,
                 std::size_t limit) {
    index.Reset();
    colours.clear();
    counts.clear();
    const std::size_t width = static_cast<std::size_t>(picture.width);
    return ForEachRowUpwards(picture, [&](int y, auto word) {
      std::uint16_t* ids = ids_.get() + static_cast<std::size_t>(y) * width;
      std::uint32_t lastColour = kNoColour, lastEntry = 0, run = 0;
      for (std::size_t x = 0; x < width; ++x) {
        const std::uint32_t colour = word(x) & mask;
        if (colour != lastColour) {
          if (run > 0) counts[lastEntry] += run;
          run = 0;
          std::uint32_t entry = index.Find(colour);
          if (entry == ColourIndex::kAbsent) {
            if (colours.size() == limit) return false;
            entry = static_cast<std::uint32_t>(colours.size());
            index.Add(colour, entry);
            colours.push_back(colour);
            counts.push_back(0);
          }
          lastColour = colour;
          lastEntry = entry;
        }
        ++run;
        ids[x] = static_cast<std::uint16_t>(lastEntry);
      }
      if (run > 0) counts[lastEntry] += run;
      return true;
    });
  }

  // Distinct exact colours in order of first appearance, with counts; each pixel's id in
  // `ids_`. False when there are more than kMaxDistinct.
  bool CollectDistinct(const PictureView& picture) {
    return CountRuns(picture, 0xFFFFFF, exactIndex_, exact_, exactCounts_, kMaxDistinct);
  }

  // The table under the current mask, built from the collected colours in order of appearance
  // (a masked colour first appears with the first of the colours it merges).
  bool CountMasked() {
    const std::vector<std::uint32_t>& exact = exact_;
    const std::vector<std::uint32_t>& exactCounts = exactCounts_;
    index_.Reset();
    colours_.clear();
    counts_.clear();
    entryOfId_.resize(exact.size());
    for (std::size_t id = 0; id < exact.size(); ++id) {
      const std::uint32_t colour = exact[id] & mask_;
      std::uint32_t entry = index_.Find(colour);
      if (entry == ColourIndex::kAbsent) {
        if (colours_.size() == kMaxColours) return false;
        entry = static_cast<std::uint32_t>(colours_.size());
        index_.Add(colour, entry);
        colours_.push_back(colour);
        counts_.push_back(0);
      }
      entryOfId_[id] = static_cast<std::uint16_t>(entry);
      counts_[entryOfId_[id]] += exactCounts[id];
    }
    return true;
  }

  // One counting pass over the pixels; false when a 2050th colour turns up.
  bool CountPixels(const PictureView& picture) {
    const bool complete = CountRuns(picture, mask_, index_, colours_, counts_, kMaxColours);
    if (!complete) return false;
    entryOfId_.resize(colours_.size());
    std::iota(entryOfId_.begin(), entryOfId_.end(), std::uint16_t{0});
    return true;
  }

  void ChoosePalette(GifPalette& palette) {
    std::vector<int> order(colours_.size());
    std::iota(order.begin(), order.end(), 0);
    // Largest count first; on equal counts the colour met first.
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return counts_[a] > counts_[b]; });
    const std::size_t chosen = std::min<std::size_t>(order.size(), 256);
    std::uint32_t colours[256];
    for (std::size_t i = 0; i < 256; ++i) {
      colours[i] = i < chosen ? colours_[order[i]] : (kMidGrey << 16) | (kMidGrey << 8) | kMidGrey;
      palette[3 * i] = static_cast<std::uint8_t>(colours[i] >> 16);
      palette[3 * i + 1] = static_cast<std::uint8_t>(colours[i] >> 8);
      palette[3 * i + 2] = static_cast<std::uint8_t>(colours[i]);
    }
    std::vector<std::uint8_t> paletteIndex(colours_.size(), 0);
    for (std::size_t i = 0; i < chosen; ++i) paletteIndex[order[i]] = static_cast<std::uint8_t>(i);
    for (std::size_t i = chosen; i < order.size(); ++i) {
      paletteIndex[order[i]] = Nearest(colours_[order[i]], colours);
    }
    idPalette_.resize(entryOfId_.size());
    for (std::size_t id = 0; id < entryOfId_.size(); ++id) {
      idPalette_[id] = paletteIndex[entryOfId_[id]];
    }
  }

  // Palette entry closest to `colour` (squared RGB distance), the lowest index on ties.
  static std::uint8_t Nearest(std::uint32_t colour, const std::uint32_t (&palette)[256]) {
    int distance[256];
    const int r = (colour >> 16) & 0xFF, g = (colour >> 8) & 0xFF, b = colour & 0xFF;
    for (int i = 0; i < 256; ++i) {  // vectorises: no branch inside
      const int dr = r - static_cast<int>((palette[i] >> 16) & 0xFF);
      const int dg = g - static_cast<int>((palette[i] >> 8) & 0xFF);
      const int db = b - static_cast<int>(palette[i] & 0xFF);
      distance[i] = dr * dr + dg * dg + db * db;
    }
    return static_cast<std::uint8_t>(std::min_element(distance, distance + 256) - distance);
  }

  static constexpr std::uint32_t kNoColour = 0xFFFFFFFFu;  // no 24-bit colour equals it

  std::uint32_t mask_ = 0xFFFFFF;
  int turn_ = 0;
  std::vector<std::uint32_t> row_;
  // Per pixel, top row first: an exact-colour id, or a table entry when counting pixels.
  std::unique_ptr<std::uint16_t[]> ids_;
  std::size_t pixels_ = 0;
  std::vector<std::uint16_t> entryOfId_;
  std::vector<std::uint8_t> idPalette_;
  std::vector<std::uint32_t> exact_;
  std::vector<std::uint32_t> exactCounts_;
  ColourIndex exactIndex_{16};  // up to 65536 slots for at most kMaxDistinct colours
  std::vector<std::uint32_t> colours_;
  std::vector<std::uint32_t> counts_;
  ColourIndex index_{12};  // 4096 slots for at most 2049 colours
};

// GIF LZW with 8-bit indices: codes packed least significant bit first into 255-byte
// sub-blocks; the string table is cleared once the code 4094 has been given out.
class LzwEncoder {
 public:
  explicit LzwEncoder(std::vector<std::uint8_t>& out) : out_(out) {
    out_.push_back(kMinCodeSize);
    ResetTable();
    Put(kClearCode);
  }

  // Codes the palette indices toIndex[ids[0]], toIndex[ids[1]], ... in one go; the string
  // being matched lives in a register here, the rarer code output in members.
  void Encode(const std::uint16_t* ids, std::size_t count, const std::uint8_t* toIndex) {
    std::size_t i = 0;
    if (pending_ < 0) {
      if (count == 0) return;
      pending_ = toIndex[ids[i++]];
    }
    std::uint32_t pending = static_cast<std::uint32_t>(pending_);
    for (; i < count; ++i) {
      const std::uint32_t index = toIndex[ids[i]];
      // Screens repeat themselves: the child last taken from a string is usually taken again.
      const std::uint32_t recent = recentChild_[pending];
      if ((recent >> 12) == index) {
        pending = recent & 0xFFF;
        continue;
      }
      const std::uint32_t key = (pending << 8) | index;
      std::size_t slot = (key * 0x9E3779B1u) >> (32 - kHashBits);
      std::uint32_t held;
      while ((held = table_[slot]) != kEmpty && (held >> 12) != key) {
        slot = (slot + 1) & (kHashSize - 1);
      }
      if (held != kEmpty) {
        recentChild_[pending] = (index << 12) | (held & 0xFFF);
        pending = held & 0xFFF;
        continue;
      }
      Put(pending);
      const unsigned code = nextCode_++;
      table_[slot] = (key << 12) | code;
      recentChild_[pending] = (index << 12) | code;
      if (code == (1u << width_)) {
        ++width_;
      } else if (code >= kLastCode) {
        Put(index);
        Put(kClearCode);
        ResetTable();
        // The next string starts afresh with the following index.
        if (++i == count) {
          pending_ = -1;
          return;
        }
        pending = toIndex[ids[i]];
        continue;
      }
      pending = index;
    }
    pending_ = static_cast<int>(pending);
  }

  void Finish() {
    if (pending_ >= 0) Put(static_cast<unsigned>(pending_));
    Put(kEndCode);
    if (bitCount_ > 0) Byte(static_cast<std::uint8_t>(bits_));
    if (blockUsed_ > 0) EmitBlock();
    out_.push_back(0);  // block terminator
  }

 private:
  static constexpr std::uint8_t kMinCodeSize = 8;
  static constexpr unsigned kClearCode = 256;
  static constexpr unsigned kEndCode = 257;
  static constexpr unsigned kLastCode = 4094;
  // 32768 slots for at most 3837 strings: photos make short strings, so every index is a
  // lookup, and a sparse table keeps the probes short.
  static constexpr int kHashBits = 15;
  static constexpr std::size_t kHashSize = std::size_t{1} << kHashBits;
  // Slots hold key (prefix code << 8 | index, 20 bits) << 12 | code; no key has prefix 4095.
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;

  void ResetTable() {
    std::fill(std::begin(table_), std::end(table_), kEmpty);
    std::fill(std::begin(recentChild_), std::end(recentChild_), kNoChild);
    nextCode_ = kEndCode + 1;
    width_ = kMinCodeSize + 1;
  }

  void Put(unsigned code) {
    bits_ |= static_cast<std::uint64_t>(code) << bitCount_;
    bitCount_ += width_;
    while (bitCount_ >= 8) {
      Byte(static_cast<std::uint8_t>(bits_));
      bits_ >>= 8;
      bitCount_ -= 8;
    }
  }

  void Byte(std::uint8_t value) {
    block_[blockUsed_++] = value;
    if (blockUsed_ == 255) EmitBlock();
  }

  void EmitBlock() {
    out_.push_back(static_cast<std::uint8_t>(blockUsed_));
    out_.insert(out_.end(), block_, block_ + blockUsed_);
    blockUsed_ = 0;
  }

  std::vector<std::uint8_t>& out_;
  std::uint32_t table_[kHashSize];
  // Per string code: index << 12 | code of the child string last seen; kNoChild matches no index.
  static constexpr std::uint32_t kNoChild = 0xFFFFFFFFu;
  std::uint32_t recentChild_[4096];
  unsigned nextCode_ = 0;
  int width_ = 0;
  int pending_ = -1;
  std::uint64_t bits_ = 0;
  int bitCount_ = 0;
  std::uint8_t block_[255];
  int blockUsed_ = 0;
};

void Put16(std::vector<std::uint8_t>& out, unsigned value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

}  // namespace

std::uint16_t TGIFFrame::Delay() const {
  return static_cast<std::uint16_t>(std::min<std::uint32_t>(displayTime_ / 10, 0xFFFF));
}

void TGIFImage::Clear() {
  frames_.clear();
  looping_ = false;
  repeatCount_ = 1;
  globalColourTable_.clear();
}

std::size_t TGIFImage::AddFrame(const PictureView& picture) {
  CheckPicture(picture);
  TGIFFrame frame;
  frame.width_ = picture.width;
  frame.height_ = picture.height;
  frame.localColours_ = !frames_.empty();
  if (!picture.IsEmpty() && picture.width <= 0xFFFF && picture.height <= 0xFFFF) {
    // Working set: two bytes per pixel, a row and two small hash tables, freed on return.
    auto reducer = std::make_unique<ColourReducer>();
    reducer->Reduce(picture, frame.palette_);
    auto lzw = std::make_unique<LzwEncoder>(frame.data_);
    lzw->Encode(reducer->Ids(), reducer->PixelCount(), reducer->IdPalette().data());
    lzw->Finish();
    frame.data_.shrink_to_fit();
    frame.encoded_ = true;
  }
  if (frames_.empty() && frame.encoded_) {
    globalColourTable_.assign(frame.palette_.begin(), frame.palette_.end());
  }
  frames_.push_back(std::move(frame));
  return frames_.size() - 1;
}

std::string_view TGIFImage::Version() const {
  const bool timed = std::any_of(frames_.begin(), frames_.end(),
                                 [](const TGIFFrame& f) { return f.DisplayTime() > 0; });
  return timed || frames_.size() > 1 ? "89a" : "87a";
}

void TGIFImage::CheckWritable() const {
  if (frames_.empty()) throw CodecError("No GIF Data to write");
  for (const TGIFFrame& frame : frames_) {
    if (!frame.Encoded()) throw CodecError("GIF image encoding error");
  }
}

void TGIFImage::SaveToFile(const std::string& path) const {
  CheckWritable();
  FileSink file(path);
  SaveToStream(file);
  file.Close();
}

void TGIFImage::SaveToStream(ByteSink& sink) const {
  CheckWritable();
  std::vector<std::uint8_t> head;
  head.reserve(1024);
  head.insert(head.end(), {'G', 'I', 'F'});
  const std::string_view version = Version();
  head.insert(head.end(), version.begin(), version.end());
  unsigned screenWidth = 0, screenHeight = 0;
  for (const TGIFFrame& frame : frames_) {
    screenWidth = std::max<unsigned>(screenWidth, frame.Left() + frame.Width());
    screenHeight = std::max<unsigned>(screenHeight, frame.Top() + frame.Height());
  }
  Put16(head, screenWidth);
  Put16(head, screenHeight);
  head.insert(head.end(), {0xF7, 0, 0});  // global table of 2^8 entries; background 0; aspect 0
  head.insert(head.end(), globalColourTable_.begin(), globalColourTable_.end());
  if (looping_ && frames_.size() >= 2) {
    head.insert(head.end(), {0x21, 0xFF, 11});
    for (const char c : std::string_view("NETSCAPE2.0"))
      head.push_back(static_cast<std::uint8_t>(c));
    head.insert(head.end(), {3, 1});
    Put16(head, repeatCount_);
    head.push_back(0);
  }
  sink.Write(head.data(), head.size());

  for (const TGIFFrame& frame : frames_) {
    head.clear();
    if (frame.DisplayTime() > 0) {
      head.insert(head.end(), {0x21, 0xF9, 4, 0});
      Put16(head, frame.Delay());
      head.insert(head.end(), {0, 0});
    }
    head.push_back(0x2C);
    Put16(head, static_cast<unsigned>(frame.Left()));
    Put16(head, static_cast<unsigned>(frame.Top()));
    Put16(head, static_cast<unsigned>(frame.Width()));
    Put16(head, static_cast<unsigned>(frame.Height()));
    head.push_back(frame.LocalColours() ? 0x87 : 0);
    if (frame.LocalColours())
      head.insert(head.end(), frame.Palette().begin(), frame.Palette().end());
    sink.Write(head.data(), head.size());
    sink.Write(frame.ImageData().data(), frame.ImageData().size());
  }
  const std::uint8_t trailer = 0x3B;
  sink.Write(&trailer, 1);
}

}  // namespace codecs
