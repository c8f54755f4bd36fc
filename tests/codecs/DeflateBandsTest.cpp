#include "codecs/DeflateBands.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

namespace {

// A complete raw deflate stream of `input` as zlib writes it with the given settings.
std::vector<std::uint8_t> RawDeflate(const std::vector<std::uint8_t>& input, int level,
                                     int strategy) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, strategy), Z_OK);
  std::vector<std::uint8_t> out(deflateBound(&z, input.size()));
  z.next_in = const_cast<Bytef*>(input.data());
  z.avail_in = static_cast<uInt>(input.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(out.size() - z.avail_out);
  deflateEnd(&z);
  return out;
}

std::vector<std::uint8_t> RawInflate(const std::vector<std::uint8_t>& stream, std::size_t size) {
  std::vector<std::uint8_t> out(size + 1);
  z_stream z{};
  EXPECT_EQ(inflateInit2(&z, -MAX_WBITS), Z_OK);
  z.next_in = const_cast<Bytef*>(stream.data());
  z.avail_in = static_cast<uInt>(stream.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(inflate(&z, Z_FINISH), Z_STREAM_END);
  EXPECT_EQ(z.avail_in, 0u) << "bytes after the end of the joined stream";
  out.resize(out.size() - z.avail_out);
  inflateEnd(&z);
  return out;
}

// Streams ending in every block type, at every bit of their last byte, and of several blocks,
// opened and joined in order, inflate as one stream to the inputs one after the other.
TEST(DeflateBands, OpenedStreamsJoinIntoOne) {
  std::mt19937 random(9);
  const auto text = [&](std::size_t n) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = "lumivex  \n"[random() % 10];
    return v;
  };
  const auto noise = [&](std::size_t n) {
    std::vector<std::uint8_t> v(n);
    for (auto& b : v) b = static_cast<std::uint8_t>(random());
    return v;
  };
  struct Kind {
    int level, strategy;
  };
  const Kind kinds[] = {
      {0, Z_DEFAULT_STRATEGY}, {1, Z_FIXED}, {6, Z_DEFAULT_STRATEGY}, {9, Z_HUFFMAN_ONLY}};
  std::vector<std::uint8_t> joined, expected;
  int streams = 0;
  for (std::size_t length = 0; length < 40; ++length) {
    for (const Kind kind : kinds) {
      for (const auto& input : {text(length * 37), noise(length), text(length * 3000)}) {
        auto stream = RawDeflate(input, kind.level, kind.strategy);
        const std::size_t size = stream.size();
        stream.resize(size + 5);
        stream.resize(codecs::OpenDeflateEnd(stream.data(), size));
        ASSERT_GE(stream.size(), size + 4);
        joined.insert(joined.end(), stream.begin(), stream.end());
        expected.insert(expected.end(), input.begin(), input.end());
        ++streams;
      }
    }
  }
  const auto last = text(1000);
  const auto end = RawDeflate(last, 6, Z_DEFAULT_STRATEGY);
  joined.insert(joined.end(), end.begin(), end.end());
  expected.insert(expected.end(), last.begin(), last.end());
  EXPECT_EQ(RawInflate(joined, expected.size()), expected) << streams << " streams joined";
}

}  // namespace
