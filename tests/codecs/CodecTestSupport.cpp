#include "CodecTestSupport.h"

#include "LibjpegReference.h"

// clang-format off
#include <cstdio>
#include <csetjmp>
#include <jpeglib.h>
// clang-format on
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <png.h>
#include <stdlib.h>
#include <zlib.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace codecs_test {

void MakePicture(TestPicture& picture, int width, int height, int bitsPerPixel,
                 const std::function<std::uint32_t(int, int)>& value, int colours) {
  const std::size_t rowBytes = (static_cast<std::size_t>(width) * bitsPerPixel + 7) / 8;
  const std::size_t stride = rowBytes + 5;
  picture.pixels.assign(stride * height, 0xAA);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = picture.pixels.data() + y * stride;
    std::fill(row, row + rowBytes, 0);
    for (int x = 0; x < width; ++x) {
      const std::uint32_t v = value(x, y);
      switch (bitsPerPixel) {
        case 1:
          row[x / 8] |= static_cast<std::uint8_t>((v & 1) << (7 - x % 8));
          break;
        case 4:
          row[x / 2] |= static_cast<std::uint8_t>((v & 15) << (x % 2 ? 0 : 4));
          break;
        case 8:
          row[x] = static_cast<std::uint8_t>(v);
          break;
        case 16:
          row[2 * x] = static_cast<std::uint8_t>(v);
          row[2 * x + 1] = static_cast<std::uint8_t>(v >> 8);
          break;
        default:
          for (int i = 0; i < bitsPerPixel / 8; ++i) {
            row[x * bitsPerPixel / 8 + i] = static_cast<std::uint8_t>(v >> (8 * i));
          }
      }
    }
  }
  picture.table.clear();
  if (bitsPerPixel < 16) {
    const int n = colours < 0 ? 1 << bitsPerPixel : colours;
    for (int i = 0; i < n; ++i) {
      picture.table.push_back(0xFF000000u |
                              static_cast<std::uint32_t>(i * 0x3F1D27 + 0x102030) % 0xFFFFFFu);
    }
  }
  picture.view = codecs::PictureView{width,
                                     height,
                                     bitsPerPixel,
                                     picture.pixels.data(),
                                     static_cast<std::ptrdiff_t>(stride),
                                     picture.table.data(),
                                     static_cast<int>(picture.table.size())};
}

int PaletteIndexAt(const codecs::PictureView& picture, int x, int y) {
  const std::uint8_t* row = picture.bits + y * picture.stride;
  switch (picture.bitsPerPixel) {
    case 1:
      return (row[x / 8] >> (7 - x % 8)) & 1;
    case 4:
      return (row[x / 2] >> (x % 2 ? 0 : 4)) & 15;
    default:
      return row[x];
  }
}

std::uint32_t ExpectedRgb(const codecs::PictureView& picture, int x, int y) {
  const std::uint8_t* row = picture.bits + y * picture.stride;
  if (picture.bitsPerPixel < 16) {
    const int index = PaletteIndexAt(picture, x, y);
    return index < picture.colourCount ? picture.colourTable[index] & 0xFFFFFF : 0;
  }
  if (picture.bitsPerPixel == 16) {
    const unsigned w = row[2 * x] | (row[2 * x + 1] << 8);
    // Five bits widened by repeating their top bits, as Qt and GDI do: 31 comes out as 255.
    const auto widen = [](unsigned v) { return (v << 3) | (v >> 2); };
    return (widen((w >> 10) & 31) << 16) | (widen((w >> 5) & 31) << 8) | widen(w & 31);
  }
  const std::uint8_t* p = row + x * picture.bitsPerPixel / 8;
  return static_cast<std::uint32_t>(p[2] << 16 | p[1] << 8 | p[0]);
}

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void ExpectWriteFailures(const std::function<void(const std::string&)>& save) {
  try {
    save("/dev/full");
    ADD_FAILURE() << "no error on a full disk";
  } catch (const codecs::CodecError& e) {
    EXPECT_STREQ(e.what(), "Stream write error");
  }
  TempDir dir;
  const std::string missing = dir.File("gone/a");
  try {
    save(missing);
    ADD_FAILURE() << "no error for a missing folder";
  } catch (const codecs::CodecError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot create file \"" + missing + "\". No such file or directory");
  }
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "lumivex-codecs-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::vector<PngChunk> PngChunks(const std::vector<std::uint8_t>& file) {
  std::vector<PngChunk> chunks;
  std::size_t at = 8;
  while (at + 12 <= file.size()) {
    const std::uint32_t length =
        (file[at] << 24) | (file[at + 1] << 16) | (file[at + 2] << 8) | file[at + 3];
    if (at + 12 + length > file.size()) break;
    PngChunk chunk;
    chunk.type.assign(file.begin() + at + 4, file.begin() + at + 8);
    chunk.data.assign(file.begin() + at + 8, file.begin() + at + 8 + length);
    const std::uint8_t* c = &file[at + 8 + length];
    const std::uint32_t stored = (c[0] << 24) | (c[1] << 16) | (c[2] << 8) | c[3];
    chunk.crcOk = crc32(0, &file[at + 4], 4 + length) == stored;
    chunks.push_back(std::move(chunk));
    at += 12 + length;
  }
  return chunks;
}

PngImage DecodePng(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) throw std::runtime_error("cannot open " + path);
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  PngImage image;
  // No C++ object is created between setjmp and the end of decoding but `image`, which libpng
  // does not touch.
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    throw std::runtime_error("libpng rejected " + path);
  }
  png_init_io(png, f);
  png_read_info(png, info);
  image.width = png_get_image_width(png, info);
  image.height = png_get_image_height(png, info);
  image.bitDepth = png_get_bit_depth(png, info);
  image.colourType = png_get_color_type(png, info);
  image.interlace = png_get_interlace_type(png, info);
  png_colorp palette = nullptr;
  int entries = 0;
  if (png_get_PLTE(png, info, &palette, &entries) & PNG_INFO_PLTE) {
    for (int i = 0; i < entries; ++i) {
      image.palette.insert(image.palette.end(),
                           {palette[i].red, palette[i].green, palette[i].blue});
    }
  }
  image.rows.assign(image.height, std::vector<std::uint8_t>(png_get_rowbytes(png, info)));
  for (auto& row : image.rows) png_read_row(png, row.data(), nullptr);
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(f);
  return image;
}

namespace {

struct JpegError {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

[[noreturn]] void JpegFail(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1);
}

// Reads the header of `bytes`, then runs `body` on the decompressor; a libjpeg failure throws.
// libjpeg leaves by longjmp: `body` keeps its results in objects that outlive this call.
template <class Body>
void ReadJpeg(const std::vector<std::uint8_t>& bytes, Body&& body) {
  jpeg_decompress_struct cinfo{};
  JpegError err{};
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = JpegFail;
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    throw std::runtime_error("libjpeg rejected the data");
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, bytes.data(), bytes.size());
  jpeg_read_header(&cinfo, TRUE);
  body(cinfo);
  jpeg_destroy_decompress(&cinfo);
}

}  // namespace

JpegImage DecodeJpeg(const std::vector<std::uint8_t>& bytes) {
  JpegImage image;
  ReadJpeg(bytes, [&](jpeg_decompress_struct& cinfo) {
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    image.width = static_cast<int>(cinfo.output_width);
    image.height = static_cast<int>(cinfo.output_height);
    image.rgb.resize(static_cast<std::size_t>(image.width) * image.height * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
      JSAMPROW row = image.rgb.data() + cinfo.output_scanline * image.width * 3;
      jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
  });
  return image;
}

JpegHeader ReadJpegHeader(const std::vector<std::uint8_t>& bytes) {
  JpegHeader header;
  ReadJpeg(bytes, [&](jpeg_decompress_struct& cinfo) {
    header.jfif = cinfo.saw_JFIF_marker;
    header.jfifMajor = cinfo.JFIF_major_version;
    header.jfifMinor = cinfo.JFIF_minor_version;
    header.densityUnit = cinfo.density_unit;
    header.xDensity = cinfo.X_density;
    header.yDensity = cinfo.Y_density;
    header.progressive = cinfo.progressive_mode;
    header.arithmetic = cinfo.arith_code;
    header.restartInterval = cinfo.restart_interval;
    for (int i = 0; i < cinfo.num_components; ++i) {
      const jpeg_component_info& c = cinfo.comp_info[i];
      header.components.push_back({c.component_id, c.h_samp_factor, c.v_samp_factor, c.quant_tbl_no,
                                   c.dc_tbl_no, c.ac_tbl_no});
    }
    for (const JQUANT_TBL* table : cinfo.quant_tbl_ptrs) {
      if (table == nullptr) continue;
      header.quantTables.emplace_back(table->quantval, table->quantval + DCTSIZE2);
    }
    if (cinfo.dc_huff_tbl_ptrs[0] != nullptr) {
      const UINT8* bits = cinfo.dc_huff_tbl_ptrs[0]->bits;
      header.dcLuminanceBits.assign(bits + 1, bits + 17);
    }
  });
  return header;
}

std::vector<std::uint8_t> ReferenceJpeg(const codecs::PictureView& picture, int quality) {
  std::vector<std::uint8_t> rgb(static_cast<std::size_t>(picture.width) * picture.height * 3);
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      const std::uint32_t c = ExpectedRgb(picture, x, y);
      std::uint8_t* p = &rgb[(static_cast<std::size_t>(y) * picture.width + x) * 3];
      p[0] = static_cast<std::uint8_t>(c >> 16);
      p[1] = static_cast<std::uint8_t>(c >> 8);
      p[2] = static_cast<std::uint8_t>(c);
    }
  }
  return lumivex::reference::EncodeWithLibjpeg(rgb.data(), picture.width, picture.height,
                                               static_cast<std::size_t>(picture.width) * 3,
                                               lumivex::reference::JpegInput::kRgb, quality);
}

GifImage DecodeGif(const std::string& path) {
  int error = 0;
  GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
  if (gif == nullptr) throw std::runtime_error("giflib cannot open " + path);
  if (DGifSlurp(gif) != GIF_OK) {
    const std::string reason = GifErrorString(gif->Error);
    DGifCloseFile(gif, &error);
    throw std::runtime_error("giflib rejected " + path + ": " + reason);
  }
  GifImage image;
  image.screenWidth = gif->SWidth;
  image.screenHeight = gif->SHeight;
  const auto table = [](const ColorMapObject* map) {
    std::vector<std::uint8_t> bytes;
    for (int i = 0; map != nullptr && i < map->ColorCount; ++i) {
      bytes.insert(bytes.end(), {map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue});
    }
    return bytes;
  };
  image.globalTable = table(gif->SColorMap);
  for (int i = 0; i < gif->ImageCount; ++i) {
    const SavedImage& saved = gif->SavedImages[i];
    GifFrame frame;
    frame.width = saved.ImageDesc.Width;
    frame.height = saved.ImageDesc.Height;
    frame.hasLocalTable = saved.ImageDesc.ColorMap != nullptr;
    frame.palette = frame.hasLocalTable ? table(saved.ImageDesc.ColorMap) : image.globalTable;
    frame.indices.assign(saved.RasterBits, saved.RasterBits + frame.width * frame.height);
    for (int e = 0; e < saved.ExtensionBlockCount; ++e) {
      const ExtensionBlock& block = saved.ExtensionBlocks[e];
      if (block.Function == GRAPHICS_EXT_FUNC_CODE && block.ByteCount == 4) {
        frame.delay = block.Bytes[1] | (block.Bytes[2] << 8);
      } else if (block.Function == APPLICATION_EXT_FUNC_CODE && block.ByteCount == 11 &&
                 std::string(reinterpret_cast<char*>(block.Bytes), 11) == "NETSCAPE2.0") {
        image.looping = true;
        const ExtensionBlock* sub = e + 1 < saved.ExtensionBlockCount ? &block + 1 : nullptr;
        if (sub != nullptr && sub->ByteCount == 3 && sub->Bytes[0] == 1) {
          image.repeatCount = sub->Bytes[1] | (sub->Bytes[2] << 8);
        }
      }
    }
    image.frames.push_back(std::move(frame));
  }
  DGifCloseFile(gif, &error);
  return image;
}

}  // namespace codecs_test
