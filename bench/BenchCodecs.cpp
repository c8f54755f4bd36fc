// "codecs": each picture writer on screen-like pictures at 1920x1080 and 3840x2160, against
// the library it builds on or the usual alternative, measured in the same run.
//   LUMIVEX_CORPUS  folder of screenshots (text/ui/photo-1080/2160.png); default ../shared/corpus
// Every measurement runs in a child process, so each gets a clean peak-memory figure.
#include <fcntl.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <zlib.h>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// clang-format off
#include <csetjmp>
// clang-format on
#ifdef LUMIVEX_BENCH_LIBPNG
#include <png.h>
#endif
#ifdef LUMIVEX_BENCH_GIFLIB
#include <gif_lib.h>
#endif

#include "Bench.h"
#include "LibjpegReference.h"
#include "codecs/BmpWriter.h"
#include "codecs/GifImage.h"
#include "codecs/JpegImage.h"
#include "codecs/PngWriter.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Picture {
  std::string scene;
  int width = 0, height = 0;
  std::vector<std::uint8_t> bgrx;  // 32 bpp, as a true-colour X11 screen is grabbed
  codecs::PictureView View() const {
    return {width, height, 32, bgrx.data(), static_cast<std::ptrdiff_t>(width) * 4, nullptr, 0};
  }
};

// Text-like windows on a gradient desktop, for machines without the corpus.
Picture Generated(int width, int height) {
  Picture p{"generated", width, height, std::vector<std::uint8_t>(std::size_t(width) * height * 4)};
  std::uint32_t seed = 12345;
  const auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
  const int k = width / 1920;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::uint8_t* px = &p.bgrx[(std::size_t(y) * width + x) * 4];
      px[0] = static_cast<std::uint8_t>(0x41 + 0x6C * (x + y) / (width + height));
      px[1] = static_cast<std::uint8_t>(0x2A + 0x64 * (x + y) / (width + height));
      px[2] = static_cast<std::uint8_t>(0x1B + 0x51 * (x + y) / (width + height));
      px[3] = 0;
    }
  }
  const int windows[4][4] = {
      {15, 15, 900, 650}, {700, 60, 800, 700}, {1250, 110, 650, 800}, {300, 560, 1100, 400}};
  for (const auto& w : windows) {
    const std::uint32_t bg = (next() & 1) ? 0x1C1C1C : 0xFDF6E3;
    for (int y = w[1] * k; y < std::min(height, (w[1] + w[3]) * k); ++y) {
      const int line = (y - w[1] * k) / (16 * k), inLine = (y - w[1] * k) % (16 * k);
      std::uint32_t lineSeed = static_cast<std::uint32_t>(line * 7919 + w[0]);
      for (int x = w[0] * k; x < std::min(width, (w[0] + w[2]) * k); ++x) {
        const int col = (x - w[0] * k) / (8 * k);
        const std::uint32_t glyph = (lineSeed + col * 2654435761u) >> 7;
        const bool ink = inLine > 3 * k && inLine < 13 * k && (glyph % 5 != 0) &&
                         ((glyph >> ((x + y) % 16)) & 1) && col < int(40 + lineSeed % 50);
        const std::uint32_t c = y < (w[1] + 20) * k ? 0x3C5A80u : ink ? (bg ^ 0xD0D0D0) : bg;
        std::uint8_t* px = &p.bgrx[(std::size_t(y) * width + x) * 4];
        px[0] = c & 0xFF, px[1] = (c >> 8) & 0xFF, px[2] = (c >> 16) & 0xFF;
      }
    }
  }
  return p;
}

bool LoadPng(const std::string& path, const std::string& scene, Picture& out) {
#ifdef LUMIVEX_BENCH_LIBPNG
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
  image.format = PNG_FORMAT_BGRA;
  out.scene = scene;
  out.width = static_cast<int>(image.width);
  out.height = static_cast<int>(image.height);
  out.bgrx.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, out.bgrx.data(), 0, nullptr)) {
    png_image_free(&image);
    return false;
  }
  for (std::size_t i = 3; i < out.bgrx.size(); i += 4) out.bgrx[i] = 0;
  return true;
#else
  (void)path, (void)scene, (void)out;
  return false;
#endif
}

// LUMIVEX_CORPUS, else ../shared/corpus from the working folder, else beside the source tree.
std::string CorpusFolder() {
  const char* env = std::getenv("LUMIVEX_CORPUS");
  if (env != nullptr && *env) return env;
  if (std::filesystem::is_directory("../shared/corpus")) return "../shared/corpus";
#ifdef LUMIVEX_BENCH_SOURCE_DIR
  return LUMIVEX_BENCH_SOURCE_DIR "/../shared/corpus";
#else
  return "../shared/corpus";
#endif
}

std::vector<Picture> Pictures(int width, int height) {
  const std::string folder = CorpusFolder();
  std::vector<Picture> pictures;
  for (const char* scene : {"text", "ui", "photo"}) {
    Picture p;
    const std::string file = folder + "/" + scene + "-" + std::to_string(height) + ".png";
    if (std::filesystem::exists(file) && LoadPng(file, scene, p) && p.width == width &&
        p.height == height) {
      pictures.push_back(std::move(p));
    }
  }
  if (pictures.empty()) pictures.push_back(Generated(width, height));
  return pictures;
}

// ---- measuring -------------------------------------------------------------------------

struct Result {
  bool ok = false;
  double medianMs = 0;  // wall time
  double cpuMs = 0;     // user + system time of all threads
  std::uint64_t bytes = 0;
  long peakKiB = -1;
  int reps = 0;
};

// Runs `body` in a child process and hands its trivially copyable result back.
template <class R>
R InChild(const std::function<R()>& body) {
  std::fflush(stdout);
  int fds[2];
  if (::pipe(fds) != 0) return R{};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    R r{};
    try {
      r = body();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "  failed: %s\n", e.what());
    }
    const bool written = ::write(fds[1], &r, sizeof r) == static_cast<ssize_t>(sizeof r);
    ::_exit(written ? 0 : 1);
  }
  ::close(fds[1]);
  R r{};
  if (pid < 0 || ::read(fds[0], &r, sizeof r) != static_cast<ssize_t>(sizeof r)) r = R{};
  ::close(fds[0]);
  if (pid > 0) ::waitpid(pid, nullptr, 0);
  return r;
}

using Job = std::function<std::uint64_t()>;  // one write; returns the bytes it produced

// CPU time of this process, user and system, all threads: what the work costs the machine,
// beside the wall time a user waits (a writer on several cores takes less wall than CPU time).
double CpuMs() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

double Ms(Clock::time_point since) {
  return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

// One run in a fresh process: time, output size and resident memory above the start.
Result Once(const Job& job) {
  return InChild<Result>([&] {
    Result r;
    const long base = bench::ResetPeak();
    const double c0 = CpuMs();
    const auto t0 = Clock::now();
    r.bytes = job();
    r.medianMs = Ms(t0);
    r.cpuMs = CpuMs() - c0;
    const long peak = bench::StatusKiB("VmHWM:");
    r.peakKiB = base >= 0 && peak >= 0 ? peak - base : -1;
    r.reps = 1;
    r.ok = true;
    return r;
  });
}

// Median times of up to three jobs run in turn, so that load from other processes falls on
// all of them alike; at least `reps` rounds unless `budget` seconds are used up first.
struct Timing {
  bool ok = false;
  double medianMs[3] = {0, 0, 0};
  double cpuMs[3] = {0, 0, 0};
  int rounds = 0;
};

Timing Interleaved(int reps, double budget, const std::vector<Job>& jobs) {
  return InChild<Timing>([&] {
    std::vector<std::vector<double>> times(jobs.size()), cpu(jobs.size());
    const auto start = Clock::now();
    Timing t;
    while (t.rounds < reps && (t.rounds == 0 || Ms(start) < budget * 1000)) {
      for (std::size_t j = 0; j < jobs.size(); ++j) {
        const double c0 = CpuMs();
        const auto t0 = Clock::now();
        jobs[j]();
        times[j].push_back(Ms(t0));
        cpu[j].push_back(CpuMs() - c0);
      }
      ++t.rounds;
    }
    for (std::size_t j = 0; j < jobs.size() && j < 3; ++j) {
      std::sort(times[j].begin(), times[j].end());
      std::sort(cpu[j].begin(), cpu[j].end());
      t.medianMs[j] = times[j][times[j].size() / 2];
      t.cpuMs[j] = cpu[j][cpu[j].size() / 2];
    }
    t.ok = true;
    return t;
  });
}

// Peak and size from a single run, time from the interleaved rounds.
std::vector<Result> Measure(int reps, double budget, const std::vector<Job>& jobs) {
  std::vector<Result> results;
  for (const Job& job : jobs) results.push_back(Once(job));
  const Timing timing = Interleaved(reps, budget, jobs);
  for (std::size_t j = 0; j < results.size(); ++j) {
    results[j].ok = results[j].ok && timing.ok;
    results[j].medianMs = timing.medianMs[j];
    results[j].cpuMs = timing.cpuMs[j];
    results[j].reps = timing.rounds;
  }
  return results;
}

std::uint64_t FileSize(const std::string& path) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  return ec ? 0 : size;
}

// ---- anchors -----------------------------------------------------------------------------

// Every row Sub-filtered with its filter byte, as the PNG writer hands them to deflate.
std::vector<std::uint8_t> FilteredRows(const Picture& p) {
  const std::size_t rowLength = 1 + std::size_t(p.width) * 3;
  std::vector<std::uint8_t> rows(rowLength * p.height);
  for (int y = 0; y < p.height; ++y) {
    std::uint8_t* out = &rows[y * rowLength];
    const std::uint8_t* src = &p.bgrx[std::size_t(y) * p.width * 4];
    out[0] = 1;
    std::uint8_t prev[3] = {0, 0, 0};
    for (int x = 0; x < p.width; ++x) {
      const std::uint8_t rgb[3] = {src[4 * x + 2], src[4 * x + 1], src[4 * x]};
      for (int c = 0; c < 3; ++c) out[1 + 3 * x + c] = static_cast<std::uint8_t>(rgb[c] - prev[c]);
      std::copy(rgb, rgb + 3, prev);
    }
  }
  return rows;
}

std::uint64_t ZlibAlone(const std::vector<std::uint8_t>& rows, std::size_t rowLength, int level) {
  std::vector<std::uint8_t> out(65535);
  z_stream z{};
  deflateInit(&z, level);
  std::uint64_t total = 0;
  for (std::size_t at = 0; at < rows.size(); at += rowLength) {
    z.next_in = const_cast<Bytef*>(&rows[at]);
    z.avail_in = static_cast<uInt>(rowLength);
    do {
      z.next_out = out.data();
      z.avail_out = static_cast<uInt>(out.size());
      deflate(&z, Z_NO_FLUSH);
      total += out.size() - z.avail_out;
    } while (z.avail_in > 0 || z.avail_out == 0);
  }
  int result;
  do {
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    result = deflate(&z, Z_FINISH);
    total += out.size() - z.avail_out;
  } while (result == Z_OK);
  deflateEnd(&z);
  return total;
}

#ifdef LUMIVEX_BENCH_LIBPNG
std::uint64_t LibpngWrite(const Picture& p, const std::string& path, int level) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) throw std::runtime_error("cannot create " + path);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
    throw std::runtime_error("libpng failed");
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, p.width, p.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_filter(png, 0, PNG_FILTER_SUB);
  png_set_compression_level(png, level);
  png_set_compression_strategy(png, Z_DEFAULT_STRATEGY);  // as deflateInit uses
  png_write_info(png, info);
  png_set_bgr(png);
  png_set_filler(png, 0, PNG_FILLER_AFTER);
  for (int y = 0; y < p.height; ++y) {
    png_write_row(png, &p.bgrx[std::size_t(y) * p.width * 4]);
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(f);
  return FileSize(path);
}
#endif

std::uint64_t LibjpegWrite(const Picture& p, const std::string& path, int quality) {
  const std::vector<std::uint8_t> jpeg = lumivex::reference::EncodeWithLibjpeg(
      p.bgrx.data(), p.width, p.height, std::size_t(p.width) * 4,
      lumivex::reference::JpegInput::kBgrx, quality);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  const bool ok = f != nullptr && std::fwrite(jpeg.data(), 1, jpeg.size(), f) == jpeg.size();
  if (f != nullptr) std::fclose(f);
  if (!ok) throw std::runtime_error("write failed");
  return jpeg.size();
}

#ifdef LUMIVEX_BENCH_GIFLIB
std::uint64_t GiflibWrite(const Picture& p, const std::string& path) {
  const std::size_t n = std::size_t(p.width) * p.height;
  std::vector<GifByteType> r(n), g(n), b(n), indices(n);
  for (std::size_t i = 0; i < n; ++i) {
    b[i] = p.bgrx[4 * i], g[i] = p.bgrx[4 * i + 1], r[i] = p.bgrx[4 * i + 2];
  }
  int colours = 256;
  GifColorType palette[256];
  if (GifQuantizeBuffer(p.width, p.height, &colours, r.data(), g.data(), b.data(), indices.data(),
                        palette) != GIF_OK) {
    throw std::runtime_error("GifQuantizeBuffer failed");
  }
  int error = 0;
  GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
  if (gif == nullptr) throw std::runtime_error("EGifOpenFileName failed");
  ColorMapObject* map = GifMakeMapObject(256, palette);
  EGifSetGifVersion(gif, true);
  bool ok = EGifPutScreenDesc(gif, p.width, p.height, 8, 0, map) == GIF_OK &&
            EGifPutImageDesc(gif, 0, 0, p.width, p.height, false, nullptr) == GIF_OK;
  for (int y = 0; ok && y < p.height; ++y) {
    ok = EGifPutLine(gif, &indices[std::size_t(y) * p.width], p.width) == GIF_OK;
  }
  EGifCloseFile(gif, &error);
  GifFreeMapObject(map);
  if (!ok) throw std::runtime_error("giflib write failed");
  return FileSize(path);
}
#endif

void PrintLoad() {
  double load[3] = {-1, -1, -1};
  if (::getloadavg(load, 3) == 3)
    std::printf("load average %.2f %.2f %.2f on %ld processors\n", load[0], load[1], load[2],
                ::sysconf(_SC_NPROCESSORS_ONLN));
}

// ---- the table ---------------------------------------------------------------------------

void Header() {
  std::printf("%-6s %-9s %-9s %9s %9s %12s %9s  %-22s %9s %9s %7s %s\n", "writer", "scene", "size",
              "median", "cpu", "bytes", "peak", "anchor", "anchor", "cpu", "ratio", "goal");
}

std::string Mib(long kib) {
  if (kib < 0) return "n/a";
  char text[32];
  std::snprintf(text, sizeof text, "%.1fM", kib / 1024.0);
  return text;
}

void Row(const char* writer, const Picture& p, const Result& ours, const char* anchorName,
         const Result* anchor, double goal, bool goalIsMax, const std::string& more = "") {
  char size[16];
  std::snprintf(size, sizeof size, "%dx%d", p.width, p.height);
  std::printf("%-6s %-9s %-9s %7.1fms %7.1fms %12llu %9s", writer, p.scene.c_str(), size,
              ours.medianMs, ours.cpuMs, static_cast<unsigned long long>(ours.bytes),
              Mib(ours.peakKiB).c_str());
  if (anchor != nullptr && anchor->ok && ours.ok) {
    const double ratio = ours.medianMs / anchor->medianMs;
    const bool met = goalIsMax ? ratio <= goal : ratio < goal;
    std::printf("  %-22s %7.1fms %7.1fms %6.2fx %s %.2fx %s (cpu %.2fx)%s\n", anchorName,
                anchor->medianMs, anchor->cpuMs, ratio, goalIsMax ? "<=" : "<", goal,
                met ? "met" : "MISSED", ours.cpuMs / anchor->cpuMs, more.c_str());
  } else {
    std::printf("  %-22s %9s\n", anchorName, ours.ok ? "n/a" : "FAILED");
  }
}

// The PNG goals per level: time against zlib alone on the same rows (screens, photo), and a file
// no larger than the one zlib's stream gives in the same chunk layout.
struct PngGoal {
  int level;
  double screens, photo;
};
constexpr PngGoal kPngGoals[] = {{9, 0.35, 0.50}, {6, 0.60, 0.60}, {1, 1.00, 1.00}};

// Bytes of a true-colour PNG around a zlib stream of `stream` bytes: signature, IHDR, IDAT
// chunks of 65535 bytes but the last, IEND.
std::uint64_t PngFileBytes(std::uint64_t stream) {
  return 8 + 25 + stream + 12 * ((stream + 65534) / 65535) + 12;
}

// One level on one picture; returns the failures.
int PngLevel(const Picture& p, const PngGoal& goal, double budget, const std::string& out) {
  const codecs::PictureView view = p.View();
  const std::size_t rowLength = 1 + std::size_t(p.width) * 3;
  const auto rows = FilteredRows(p);
  std::vector<Job> jobs = {[&] {
                             codecs::SaveAsPng(out + ".png", view, goal.level);
                             return FileSize(out + ".png");
                           },
                           [&] { return ZlibAlone(rows, rowLength, goal.level); }};
#ifdef LUMIVEX_BENCH_LIBPNG
  if (goal.level == 9) jobs.push_back([&] { return LibpngWrite(p, out + "-ref.png", 9); });
#endif
  const auto r = Measure(goal.level == 9 ? 3 : 9, budget, jobs);
  char writer[16], anchor[32], more[160];
  std::snprintf(writer, sizeof writer, "PNG-%d", goal.level);
  std::snprintf(anchor, sizeof anchor, "zlib-%d alone, same rows", goal.level);
  const double sizeRatio = double(r[0].bytes) / double(PngFileBytes(r[1].bytes));
  // What the writer holds at most: the filtered rows and the compressed output.
  const double boundKiB = (double(rows.size()) + double(r[0].bytes)) / 1024;
  std::snprintf(more, sizeof more, "; file %.3fx zlib's <= 1.00x %s; memory bound %s", sizeRatio,
                sizeRatio <= 1.0 ? "met" : "MISSED", Mib(static_cast<long>(boundKiB)).c_str());
  Row(writer, p, r[0], anchor, &r[1], p.scene == "photo" ? goal.photo : goal.screens, true, more);
  if (r.size() > 2) Row(writer, p, r[0], "libpng Sub, same level", &r[2], 1.0, true);
  return !r[0].ok;
}

int RunCodecs() {
  const std::string dir =
      (std::filesystem::temp_directory_path() / ("lumivex-bench-" + std::to_string(::getpid())))
          .string();
  std::filesystem::create_directories(dir);
  const std::string out = dir + "/out";
  int failures = 0;
  constexpr int kJpegQuality = 85;
  std::printf(
      "PNG levels 9 (the seeded default), 6 and 1, JPEG quality %d. 'median' is the median wall\n"
      "time of the repetitions (what a user waits; the PNG writer uses every core), 'cpu' the\n"
      "median CPU time of all threads (user + system); peak is resident memory above the start\n"
      "of one write; ratio = ours / anchor in wall time, measured in alternation. A PNG file is\n"
      "compared with the file zlib's stream would give; its memory bound is the filtered rows\n"
      "plus the output.\n",
      kJpegQuality);
  PrintLoad();
  std::printf(
      "corpus: %s%s\n", CorpusFolder().c_str(),
      Pictures(1920, 1080).front().scene == "generated" ? " (absent: generated pictures)" : "");
  Header();

  for (const auto& [w, h] : {std::pair{1920, 1080}, std::pair{3840, 2160}}) {
    const bool big = h > 1080;
    const double budget = big ? 10 : 6;
    for (const Picture& p : Pictures(w, h)) {
      const codecs::PictureView view = p.View();
      for (const PngGoal& goal : kPngGoals) failures += PngLevel(p, goal, budget, out);

      const auto jpeg = Measure(big ? 7 : 15, budget,
                                {[&] {
                                   codecs::SaveAsJpeg(out + ".jpg", view, kJpegQuality);
                                   return FileSize(out + ".jpg");
                                 },
                                 [&] { return LibjpegWrite(p, out + "-ref.jpg", kJpegQuality); }});
      Row("JPEG", p, jpeg[0], "libjpeg direct", &jpeg[1], 1.05, true);
      failures += !jpeg[0].ok;

      const auto bmp = Measure(big ? 7 : 15, budget, {[&] {
                                 codecs::SaveAsBmp(out + ".bmp", view);
                                 return FileSize(out + ".bmp");
                               }});
      Row("BMP", p, bmp[0], "-", nullptr, 0, true);
      failures += !bmp[0].ok;

      std::vector<Job> gif = {[&] {
        codecs::TGIFImage image;
        image.Frame(image.AddFrame(view)).SetDisplayTime(5000);
        image.SaveToFile(out + ".gif");
        return FileSize(out + ".gif");
      }};
#ifdef LUMIVEX_BENCH_GIFLIB
      gif.push_back([&] { return GiflibWrite(p, out + "-ref.gif"); });
#endif
      const auto gifResults = Measure(big ? 5 : 9, budget, gif);
      Row("GIF", p, gifResults[0], "giflib quantize+write",
          gifResults.size() > 1 ? &gifResults[1] : nullptr, 1.0, false);
      failures += !gifResults[0].ok;
    }
  }

  // A timed capture of 100 frames: one grabbed picture at a time, every frame kept compressed.
  // Desktop scenes; the photo stands in only when nothing else is there.
  auto scenes = Pictures(1920, 1080);
  if (scenes.size() > 1) {
    std::erase_if(scenes, [](const Picture& p) { return p.scene == "photo"; });
  }
  std::uint64_t compressed = 0;
  const Result run = Once([&]() -> std::uint64_t {
    Picture frame{"", 1920, 1080, std::vector<std::uint8_t>(1920 * 1080 * 4)};
    codecs::TGIFImage image;
    image.SetLooping(true);
    for (int i = 0; i < 100; ++i) {
      // The next grab: a scene with a changing corner, as a clock or a progress bar would be.
      frame.bgrx = scenes[i % scenes.size()].bgrx;
      for (int y = 1040; y < 1070; ++y) {
        for (int x = 1700; x < 1700 + 2 * i; ++x)
          frame.bgrx[(std::size_t(y) * 1920 + x) * 4] = 0xFF;
      }
      image.Frame(image.AddFrame(frame.View())).SetDisplayTime(5000);
    }
    image.SaveToFile(out + "-run.gif");
    return FileSize(out + "-run.gif");
  });
  compressed = run.bytes;
  const double raw = 1920.0 * 1080 * 4 / 1024;
  const double bound = 3 * raw + compressed / 1024.0;
  std::printf(
      "\nGIF timed run, 100 frames of 1920x1080 (%zu scene(s)): %.0f ms CPU, %.2f ms/frame, file "
      "%llu bytes\n  peak %s; bound 3 raw frames + compressed = %s: %s\n",
      scenes.size(), run.cpuMs, run.cpuMs / 100, static_cast<unsigned long long>(compressed),
      Mib(run.peakKiB).c_str(), Mib(static_cast<long>(bound)).c_str(),
      run.peakKiB < 0       ? "n/a"
      : run.peakKiB < bound ? "met"
                            : "MISSED");
  failures += !run.ok;

  PrintLoad();
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  return failures;
}

bench::Register registerCodecs("codecs", RunCodecs);

}  // namespace
