// Uncompressed Windows BMP at the picture's own depth, rows bottom-up.
#pragma once

#include <string>

#include "codecs/ByteSink.h"
#include "codecs/Picture.h"

namespace codecs {

// A picture without width or height gives an empty (0-byte) file. 16-bit pixels are written
// as 5-5-5 with bit 15 clear; 32-bit pixels keep their fourth byte. Throws CodecError when the
// file cannot be created or the picture needs over 4 GiB (before the file is touched), "Stream
// write error" when a write fails.
void SaveAsBmp(const std::string& path, const PictureView& picture);
void WriteBmp(ByteSink& sink, const PictureView& picture);

}  // namespace codecs
