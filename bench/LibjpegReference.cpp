#include "LibjpegReference.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include <jpeglib.h>

namespace lumivex::reference {
namespace {

struct JpegFailure {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

}  // namespace

std::vector<std::uint8_t> EncodeWithLibjpeg(const std::uint8_t* pixels, int width, int height,
                                            std::size_t stride, JpegInput input, int quality) {
  jpeg_compress_struct cinfo{};
  JpegFailure err{};
  unsigned char* out = nullptr;
  unsigned long size = 0;
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = [](j_common_ptr c) {
    std::longjmp(reinterpret_cast<JpegFailure*>(c->err)->jump, 1);
  };
  if (setjmp(err.jump)) {
    jpeg_destroy_compress(&cinfo);
    std::free(out);
    throw std::runtime_error("libjpeg failed");
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, &out, &size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = input == JpegInput::kRgb ? 3 : 4;
  cinfo.in_color_space = input == JpegInput::kRgb ? JCS_RGB : JCS_EXT_BGRX;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  cinfo.dct_method = JDCT_FLOAT;
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    // libjpeg's row type is not const, but the encoder only reads the rows.
    auto* row = const_cast<JSAMPROW>(pixels + cinfo.next_scanline * stride);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  std::vector<std::uint8_t> bytes(out, out + size);
  std::free(out);
  return bytes;
}

}  // namespace lumivex::reference
