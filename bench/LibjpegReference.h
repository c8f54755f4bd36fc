// libjpeg used directly, the way a program without our writer would: the independent encoder the
// codec tests compare against and the anchor the benchmark measures against. Same settings as
// our writer (baseline, 4:2:0, float DCT) so sizes and pixels are comparable.
#pragma once

#include <cstdint>
#include <vector>

namespace lumivex::reference {

enum class JpegInput { kRgb, kBgrx };  // 3 bytes R,G,B or 4 bytes B,G,R,unused per pixel

// The JPEG file of `height` rows of `stride` bytes each; throws std::runtime_error when libjpeg
// fails.
std::vector<std::uint8_t> EncodeWithLibjpeg(const std::uint8_t* pixels, int width, int height,
                                            std::size_t stride, JpegInput input, int quality);

}  // namespace lumivex::reference
