#include "codecs/JpegImage.h"

// clang-format off
#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include <algorithm>
#include <cstring>

namespace codecs {
namespace {

constexpr int kRowsPerCall = 16;
constexpr std::size_t kFirstOutputSize = std::size_t{64} * 1024;

struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

// Compressed bytes go to a buffer owned by the caller; growth failures are reported to libjpeg,
// which leaves by longjmp, so no exception may cross its frames.
struct Destination {
  jpeg_destination_mgr pub;
  std::unique_ptr<std::uint8_t[]>* buffer;
  std::size_t* capacity;
  std::size_t* size;
};

[[noreturn]] void OnError(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  std::longjmp(err->jump, 1);
}

void OnMessage(j_common_ptr, int) {}

// Moves the first `used` bytes into a buffer of `capacity` bytes and points libjpeg after them.
bool Grow(j_compress_ptr cinfo, std::size_t capacity, std::size_t used) {
  auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
  std::unique_ptr<std::uint8_t[]> grown;
  try {
    grown = std::make_unique_for_overwrite<std::uint8_t[]>(capacity);
  } catch (...) {
    return false;
  }
  if (used > 0) std::memcpy(grown.get(), dest->buffer->get(), used);
  *dest->buffer = std::move(grown);
  *dest->capacity = capacity;
  dest->pub.next_output_byte = dest->buffer->get() + used;
  dest->pub.free_in_buffer = capacity - used;
  return true;
}

void InitDestination(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
  // A screen compresses to a tenth of its raw size or less: usually one buffer suffices.
  const std::size_t first =
      std::max(kFirstOutputSize, std::size_t{cinfo->image_width} * cinfo->image_height / 4);
  if (!Grow(cinfo, std::max(first, *dest->capacity), 0)) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
}

// libjpeg calls this with the whole buffer full; its free_in_buffer may be stale by then, as
// the Huffman coder keeps its own copy, so it must not be used to count the bytes.
boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
  if (!Grow(cinfo, *dest->capacity * 2, *dest->capacity)) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 1);
  return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
  auto* dest = reinterpret_cast<Destination*>(cinfo->dest);
  *dest->size = *dest->capacity - dest->pub.free_in_buffer;
}

// libjpeg leaves this function by longjmp on failure: only trivially destructible locals here.
// 32- and 24-bit rows are handed over as they are (libjpeg-turbo's BGRX and BGR input gives
// the same bytes as a 24-bit copy would); other depths go through `convert`.
bool RunCompressor(jpeg_compress_struct& cinfo, ErrorManager& err, Destination& dest,
                   const PictureView& picture, int quality, std::uint8_t* convert) {
  if (setjmp(err.jump) != 0) return false;
  jpeg_create_compress(&cinfo);
  cinfo.dest = &dest.pub;
  cinfo.image_width = static_cast<JDIMENSION>(picture.width);
  cinfo.image_height = static_cast<JDIMENSION>(picture.height);
  const bool direct = picture.bitsPerPixel == 32 || picture.bitsPerPixel == 24;
  cinfo.input_components = picture.bitsPerPixel == 32 ? 4 : 3;
  cinfo.in_color_space = picture.bitsPerPixel == 32 ? JCS_EXT_BGRX : JCS_EXT_BGR;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  cinfo.dct_method = JDCT_FLOAT;
  jpeg_start_compress(&cinfo, TRUE);
  JSAMPROW rows[kRowsPerCall];
  const std::size_t convertStride = static_cast<std::size_t>(picture.width) * 3;
  while (cinfo.next_scanline < cinfo.image_height) {
    const int first = static_cast<int>(cinfo.next_scanline);
    const int count = std::min(kRowsPerCall, picture.height - first);
    for (int i = 0; i < count; ++i) {
      if (direct) {
        rows[i] = const_cast<JSAMPROW>(picture.Row(first + i));
      } else {
        rows[i] = convert + i * convertStride;
        ReadRowBgr24(picture, first + i, rows[i]);
      }
    }
    jpeg_write_scanlines(&cinfo, rows, static_cast<JDIMENSION>(count));
  }
  jpeg_finish_compress(&cinfo);
  return true;
}

}  // namespace

void TJPEGImage::Assign(const PictureView& picture) {
  CheckPicture(picture);
  picture_ = picture;
  size_ = 0;
}

void TJPEGImage::Compress() {
  size_ = 0;
  if (picture_.IsEmpty()) return;
  const bool direct = picture_.bitsPerPixel == 32 || picture_.bitsPerPixel == 24;
  std::vector<std::uint8_t> convert(
      direct ? 0 : static_cast<std::size_t>(picture_.width) * 3 * kRowsPerCall);

  jpeg_compress_struct cinfo{};
  ErrorManager err{};
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = OnError;
  err.pub.emit_message = OnMessage;
  Destination dest{};
  dest.pub.init_destination = InitDestination;
  dest.pub.empty_output_buffer = EmptyOutputBuffer;
  dest.pub.term_destination = TermDestination;
  dest.buffer = &data_;
  dest.capacity = &capacity_;
  dest.size = &size_;

  const bool ok = RunCompressor(cinfo, err, dest, picture_, quality_, convert.data());
  jpeg_destroy_compress(&cinfo);
  if (!ok) {
    data_.reset();
    size_ = capacity_ = 0;
    throw CodecError(err.message);
  }
}

void TJPEGImage::SaveToFile(const std::string& path) {
  Compress();
  FileSink file(path);
  if (size_ > 0) file.Write(data_.get(), size_);
  file.Close();
}

void TJPEGImage::SaveToStream(ByteSink& sink) {
  Compress();
  if (size_ > 0) sink.Write(data_.get(), size_);
}

void SaveAsJpeg(const std::string& path, const PictureView& picture, int quality) {
  TJPEGImage image;
  image.Assign(picture);
  image.SetCompressionQuality(quality);
  image.SaveToFile(path);
}

}  // namespace codecs
