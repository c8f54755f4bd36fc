#include "codecs/gif_image.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <numeric>

namespace codecs {
namespace {

constexpr std::size_t kMaxColours = 2049;
constexpr std::uint8_t kMidGrey = 128;

// Colour -> position in a table of distinct colours, open addressing; 2^bits slots.
template <int kBits>
class ColourIndex {
 public:
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;

  ColourIndex() : slots_(kSize) {}
  void Reset() { std::fill(slots_.begin(), slots_.end(), Slot{kEmpty, 0}); }
  // Slot for `colour`: either holding it or the empty slot where it belongs.
  std::size_t Probe(std::uint32_t colour) const {
    std::size_t i = (colour * 0x9E3779B1u) >> (32 - kBits);
    while (slots_[i].colour != kEmpty && slots_[i].colour != colour) i = (i + 1) & (kSize - 1);
    return i;
  }
  bool Holds(std::size_t slot) const { return slots_[slot].colour != kEmpty; }
  std::uint32_t Entry(std::size_t slot) const { return slots_[slot].entry; }
  void Put(std::size_t slot, std::uint32_t colour, std::uint32_t entry) {
    slots_[slot] = {colour, entry};
  }

 private:
  static constexpr std::size_t kSize = std::size_t{1} << kBits;
  struct Slot {
    std::uint32_t colour;
    std::uint32_t entry;
  };
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
    ids_.resize(static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height));
    if (CollectDistinct(picture)) {
      while (!CountMasked()) NextMask();
    } else {
      while (!CountPixels(picture)) NextMask();
    }
    ChoosePalette(palette);
  }

  // Palette index of every pixel, rows from the top.
  template <class Sink>
  void ForEachIndex(Sink&& sink) const {
    for (const std::uint16_t id : ids_) sink(idPalette_[id]);
  }

 private:
  static constexpr std::size_t kMaxDistinct = 32768;

  void NextMask() {
    const int shift = turn_ == 0 ? 0 : turn_ == 1 ? 16 : 8;  // blue, red, green
    const std::uint32_t channel = (mask_ >> shift) & 0xFF;
    mask_ = (mask_ & ~(0xFFu << shift)) | (((channel << 1) & 0xFF) << shift);
    turn_ = (turn_ + 1) % 3;
  }

  // Distinct exact colours in order of first appearance, with counts; each pixel's id in
  // `ids_`. False when there are more than kMaxDistinct.
  bool CollectDistinct(const PictureView& picture) {
    exactIndex_.Reset();
    exact_.clear();
    exactCounts_.clear();
    const std::size_t width = static_cast<std::size_t>(picture.width);
    for (int y = picture.height - 1; y >= 0; --y) {
      ReadRowRgb(picture, y, row_.data());
      std::uint16_t* ids = ids_.data() + static_cast<std::size_t>(y) * width;
      std::uint32_t lastColour = kNoColour;
      std::uint16_t lastId = 0;
      for (std::size_t x = 0; x < width; ++x) {
        const std::uint32_t colour = row_[x];
        if (colour != lastColour) {
          const std::size_t slot = exactIndex_.Probe(colour);
          if (!exactIndex_.Holds(slot)) {
            if (exact_.size() == kMaxDistinct) return false;
            exactIndex_.Put(slot, colour, static_cast<std::uint32_t>(exact_.size()));
            exact_.push_back(colour);
            exactCounts_.push_back(0);
          }
          lastColour = colour;
          lastId = static_cast<std::uint16_t>(exactIndex_.Entry(slot));
        }
        ++exactCounts_[lastId];
        ids[x] = lastId;
      }
    }
    return true;
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
      const std::size_t slot = index_.Probe(colour);
      if (!index_.Holds(slot)) {
        if (colours_.size() == kMaxColours) return false;
        index_.Put(slot, colour, static_cast<std::uint32_t>(colours_.size()));
        colours_.push_back(colour);
        counts_.push_back(0);
      }
      entryOfId_[id] = static_cast<std::uint16_t>(index_.Entry(slot));
      counts_[entryOfId_[id]] += exactCounts[id];
    }
    return true;
  }

  // One counting pass over the pixels; false when a 2050th colour turns up.
  bool CountPixels(const PictureView& picture) {
    index_.Reset();
    colours_.clear();
    counts_.clear();
    const std::size_t width = static_cast<std::size_t>(picture.width);
    for (int y = picture.height - 1; y >= 0; --y) {
      ReadRowRgb(picture, y, row_.data());
      std::uint16_t* ids = ids_.data() + static_cast<std::size_t>(y) * width;
      std::uint32_t lastColour = kNoColour;
      std::uint16_t lastEntry = 0;
      for (std::size_t x = 0; x < width; ++x) {
        const std::uint32_t colour = row_[x] & mask_;
        if (colour != lastColour) {
          const std::size_t slot = index_.Probe(colour);
          if (!index_.Holds(slot)) {
            if (colours_.size() == kMaxColours) return false;
            index_.Put(slot, colour, static_cast<std::uint32_t>(colours_.size()));
            colours_.push_back(colour);
            counts_.push_back(0);
          }
          lastColour = colour;
          lastEntry = static_cast<std::uint16_t>(index_.Entry(slot));
        }
        ++counts_[lastEntry];
        ids[x] = lastEntry;
      }
    }
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

  static std::uint8_t Nearest(std::uint32_t colour, const std::uint32_t (&palette)[256]) {
    int best = 0;
    long bestDistance = -1;
    for (int i = 0; i < 256; ++i) {
      long distance = 0;
      for (int shift = 0; shift <= 16; shift += 8) {
        const long d = static_cast<long>((colour >> shift) & 0xFF) - ((palette[i] >> shift) & 0xFF);
        distance += d * d;
      }
      if (bestDistance < 0 || distance < bestDistance) best = i, bestDistance = distance;
    }
    return static_cast<std::uint8_t>(best);
  }

  static constexpr std::uint32_t kNoColour = 0xFFFFFFFFu;  // no 24-bit colour equals it

  std::uint32_t mask_ = 0xFFFFFF;
  int turn_ = 0;
  std::vector<std::uint32_t> row_;
  // Per pixel, top row first: an exact-colour id, or a table entry when counting pixels.
  std::vector<std::uint16_t> ids_;
  std::vector<std::uint16_t> entryOfId_;
  std::vector<std::uint8_t> idPalette_;
  std::vector<std::uint32_t> exact_;
  std::vector<std::uint32_t> exactCounts_;
  ColourIndex<16> exactIndex_;  // 65536 slots for at most kMaxDistinct colours
  std::vector<std::uint32_t> colours_;
  std::vector<std::uint32_t> counts_;
  ColourIndex<12> index_;  // 4096 slots for at most 2049 colours
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

  void Add(std::uint8_t index) {
    if (pending_ < 0) {
      pending_ = index;
      return;
    }
    const std::uint32_t key = (static_cast<std::uint32_t>(pending_) << 8) | index;
    std::size_t slot = (key * 0x9E3779B1u) >> (32 - kHashBits);
    while (table_[slot] != kEmpty) {
      if ((table_[slot] >> 12) == key) {
        pending_ = static_cast<int>(table_[slot] & 0xFFF);
        return;
      }
      slot = (slot + 1) & (kHashSize - 1);
    }
    Put(static_cast<unsigned>(pending_));
    const unsigned code = nextCode_++;
    table_[slot] = (key << 12) | code;
    if (code == (1u << width_)) {
      ++width_;
    } else if (code >= kLastCode) {
      Put(index);
      Put(kClearCode);
      ResetTable();
      pending_ = -1;
      return;
    }
    pending_ = index;
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
  static constexpr int kHashBits = 13;  // 8192 slots for at most 3837 strings
  static constexpr std::size_t kHashSize = std::size_t{1} << kHashBits;
  // Slots hold key (prefix code << 8 | index, 20 bits) << 12 | code; no key has prefix 4095.
  static constexpr std::uint32_t kEmpty = 0xFFFFFFFFu;

  void ResetTable() {
    std::fill(std::begin(table_), std::end(table_), kEmpty);
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
    LzwEncoder& coder = *lzw;
    reducer->ForEachIndex([&coder](std::uint8_t index) { coder.Add(index); });
    coder.Finish();
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
