// JPEG writer on libjpeg: baseline, standard tables, 4:2:0, JFIF 1.01, floating-point DCT.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "codecs/ByteSink.h"
#include "codecs/Picture.h"

namespace codecs {

class TJPEGImage {
 public:
  static constexpr int kDefaultQuality = 90;

  // Keeps the view, not a copy: `picture` must stay valid until Compress() has run.
  void Assign(const PictureView& picture);
  // Keeps the low 8 bits; libjpeg then counts 0 as 1 and anything above 100 as 100.
  void SetCompressionQuality(int quality) { quality_ = quality & 0xFF; }
  int CompressionQuality() const { return quality_; }
  bool Grayscale() const { return false; }
  bool ProgressiveEncoding() const { return false; }

  // Compresses the assigned picture into memory (nothing for a picture without width or
  // height). A libjpeg failure throws CodecError with libjpeg's text.
  void Compress();
  std::span<const std::uint8_t> Data() const { return {data_.get(), size_}; }

  // Both compress first; a file is created or truncated only after compression succeeded.
  void SaveToFile(const std::string& path);
  void SaveToStream(ByteSink& sink);

 private:
  PictureView picture_;
  int quality_ = kDefaultQuality;
  // Compressed bytes: a buffer that grows by doubling without being cleared first.
  std::unique_ptr<std::uint8_t[]> data_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

// Writes `picture` to `path` at `quality` (the converted "JPGCompr1_Position" text).
void SaveAsJpeg(const std::string& path, const PictureView& picture, int quality);

}  // namespace codecs
