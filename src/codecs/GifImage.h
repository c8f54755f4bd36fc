// Animated GIF: popularity colour reduction to 256 colours, GIF89a layout, LZW.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "codecs/ByteSink.h"
#include "codecs/Picture.h"

namespace codecs {

// 256 palette entries as red, green, blue bytes.
using GifPalette = std::array<std::uint8_t, std::size_t{3} * 256>;

// One frame, kept as its palette and its LZW-coded image data only.
class TGIFFrame {
 public:
  std::uint32_t DisplayTime() const { return displayTime_; }
  void SetDisplayTime(std::uint32_t milliseconds) { displayTime_ = milliseconds; }
  // Display time in hundredths of a second; times above 655350 ms give the largest delay.
  std::uint16_t Delay() const;
  int Left() const { return 0; }
  int Top() const { return 0; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  // Every frame but the first carries its own colour table.
  bool LocalColours() const { return localColours_; }
  bool Encoded() const { return encoded_; }
  const GifPalette& Palette() const { return palette_; }
  // Minimum code size byte, the data sub-blocks and the block terminator.
  const std::vector<std::uint8_t>& ImageData() const { return data_; }

 private:
  friend class TGIFImage;
  std::uint32_t displayTime_ = 0;
  int width_ = 0;
  int height_ = 0;
  bool localColours_ = false;
  bool encoded_ = false;
  GifPalette palette_{};
  std::vector<std::uint8_t> data_;
};

class TGIFImage {
 public:
  // Removes all frames; looping off, repeat count 1, no global colour table.
  void Clear();
  void SetLooping(bool looping) { looping_ = looping; }
  bool Looping() const { return looping_; }
  std::uint16_t RepeatCount() const { return repeatCount_; }
  void SetRepeatCount(std::uint16_t count) { repeatCount_ = count; }

  // Appends a frame and encodes it at once (colour reduction and LZW); the picture is read
  // here and not kept, so a long run holds only compressed frames. A picture that cannot be
  // coded (no pixels, or wider or taller than 65535) is still appended: the write then fails
  // with "GIF image encoding error". Returns the new frame's index.
  std::size_t AddFrame(const PictureView& picture);
  std::size_t FrameCount() const { return frames_.size(); }
  TGIFFrame& Frame(std::size_t index) { return frames_.at(index); }
  const TGIFFrame& Frame(std::size_t index) const { return frames_.at(index); }

  // The first frame's palette; empty before a frame was added.
  const std::vector<std::uint8_t>& GlobalColourTable() const { return globalColourTable_; }
  // "89a" once a frame has a display time or there is more than one frame, else "87a".
  std::string_view Version() const;

  // Fail before touching the file: "No GIF Data to write" without frames, "GIF image encoding
  // error" when a frame could not be coded.
  void SaveToFile(const std::string& path) const;
  void SaveToStream(ByteSink& sink) const;

 private:
  void CheckWritable() const;

  std::vector<TGIFFrame> frames_;
  bool looping_ = false;
  std::uint16_t repeatCount_ = 1;
  std::vector<std::uint8_t> globalColourTable_;
};

}  // namespace codecs
