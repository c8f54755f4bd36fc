// PNG writer: signature, IHDR, PLTE (palette pictures), IDAT..., IEND; Sub filter on every row.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "codecs/ByteSink.h"
#include "codecs/Picture.h"

namespace codecs {

class TPNGWriter;

// One chunk: four type letters and a data block, written as length, type, data, CRC-32.
class TChunk {
 public:
  explicit TChunk(std::string_view type);
  virtual ~TChunk() = default;
  std::string_view Type() const { return {type_.data(), type_.size()}; }
  const std::vector<std::uint8_t>& Data() const { return data_; }
  virtual void SaveTo(ByteSink& sink, const TPNGWriter& owner) const;

 protected:
  std::array<char, 4> type_{};
  std::vector<std::uint8_t> data_;
};

class TChunkIHDR final : public TChunk {
 public:
  TChunkIHDR(std::uint32_t width, std::uint32_t height, std::uint8_t bitDepth,
             std::uint8_t colourType, std::uint8_t interlaceMethod);
};

class TChunkPLTE final : public TChunk {
 public:
  explicit TChunkPLTE(const PictureView& picture);
};

// The image data: one zlib stream cut into chunks of the writer's maximum IDAT size; only the
// last chunk is shorter, none is empty. Levels 1-9 compress bands of rows on all cores with
// libdeflate (DeflateBands.h; on one core already about three times faster than zlib at level 9
// on screenshots, files no larger): memory is one filtered band per core plus the compressed
// bands not yet written, which go to the sink in order as soon as they can. Level 0 streams
// through zlib row by row.
class TChunkIDAT final : public TChunk {
 public:
  explicit TChunkIDAT(const PictureView& picture);
  void SaveTo(ByteSink& sink, const TPNGWriter& owner) const override;

 private:
  // False, with nothing written, when the memory for the bands is not there.
  bool SaveInBands(ByteSink& sink, const TPNGWriter& owner, std::size_t rowLength) const;
  void SaveStreamed(ByteSink& sink, const TPNGWriter& owner, std::size_t rowLength) const;

  PictureView picture_;
};

class TChunkIEND final : public TChunk {
 public:
  TChunkIEND() : TChunk("IEND") {}
};

enum class TPNGFilter : unsigned { None = 1, Sub = 2, Up = 4, Average = 8, Paeth = 16 };

class TPNGWriter {
 public:
  static constexpr int kDefaultCompressionLevel = 7;
  static constexpr std::size_t kMaxIdatSize = 65535;

  // Builds the chunk list from `picture`, which must stay valid until the last save: the rows
  // are converted while they are written, not copied here. Throws CodecError for a picture
  // without width or height, which PNG cannot hold.
  void Assign(const PictureView& picture);

  // Keeps the low 8 bits of `level`, then limits it to zlib's 0..9.
  void SetCompressionLevel(int level);
  int CompressionLevel() const { return compressionLevel_; }
  unsigned Filters() const { return static_cast<unsigned>(TPNGFilter::Sub); }
  std::size_t MaxIdatSize() const { return kMaxIdatSize; }
  std::uint8_t InterlaceMethod() const { return 0; }
  const std::vector<std::unique_ptr<TChunk>>& Chunks() const { return chunks_; }

  // Creates or truncates `path` and writes the PNG to it.
  void SaveToFile(const std::string& path) const;
  void SaveToStream(ByteSink& sink) const;

 private:
  int compressionLevel_ = kDefaultCompressionLevel;
  std::vector<std::unique_ptr<TChunk>> chunks_;
};

// Writes `picture` to `path` at `level` (the converted "PNGCompr1_Position" text).
void SaveAsPng(const std::string& path, const PictureView& picture, int level);

}  // namespace codecs
