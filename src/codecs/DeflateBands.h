// One zlib stream compressed as bands of rows on all the machine's cores.
//
// Each band is deflated on its own by libdeflate and made to end on a byte with no final-block
// mark, so that the bands written one after the other form a single deflate stream that any
// inflater reads in one go. The output depends only on the rows and the level, never on the
// number of cores. A band starts without the previous band's history, which costs a few hundred
// bytes per join on a screen (0.01-0.1 %); a picture has at most four bands, sixteen at the
// fastest level.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace codecs {

// Writes the uncompressed row `y`, `rowBytes` long, to `out`. Called from several threads at
// once, each time for a different row.
using RowMaker = std::function<void(int y, std::uint8_t* out)>;

// Takes the stream's bytes in order.
using StreamWriter = std::function<void(const std::uint8_t* data, std::size_t size)>;

// Writes the zlib stream of `rows` rows at `level` (1..9) through `write`, on the calling thread
// only, each band as soon as it and the bands above it are compressed (their memory goes as
// they are written). False, with nothing written, when the memory for the bands is not there;
// throws CodecError when compression fails, and whatever `write` throws.
bool DeflateInBands(int level, std::size_t rowBytes, int rows, const RowMaker& makeRow,
                    const StreamWriter& write);

// Turns the complete raw deflate stream data[0, size) into one that another raw stream can
// follow: clears the final-block mark of its last block and pads it to a whole byte with an
// empty stored block. `data` must have room for 5 more bytes; returns the new size.
std::size_t OpenDeflateEnd(std::uint8_t* data, std::size_t size);

}  // namespace codecs
