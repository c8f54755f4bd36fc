// Suite "settings": reads of settings files of 10,000 to 1,000,000 distinct short lines (a
// damaged or hostile file must not freeze the program; a read must stay linear), a write of a
// typical file, and what the writers' advisory lock costs per write.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Bench.h"
#include "base/Error.h"
#include "settings/SettingsFile.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Median of `rounds` timings of op, in seconds.
template <typename Op>
double median(int rounds, Op op) {
  std::vector<double> times;
  for (int i = 0; i < rounds; ++i) {
    auto start = Clock::now();
    op();
    times.push_back(secondsSince(start));
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

struct Folder {
  fs::path path;
  Folder() {
    std::string pattern = (fs::temp_directory_path() / "lumivex-bench-XXXXXX").string();
    path = mkdtemp(pattern.data());
  }
  ~Folder() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

void writeLines(const fs::path& file, int lines) {
  std::ofstream out(file, std::ios::binary);
  for (int i = 0; i < lines; ++i) out << "Name" << i << "=value" << i << '\n';
}

bool benchReads(const fs::path& folder) {
  std::printf("%-10s %10s %14s %14s %14s\n", "lines", "file", "read (absent)", "entries()",
              "write");
  for (int lines : {10000, 100000, 1000000}) {
    auto file = folder / ("Lines" + std::to_string(lines) + ".conf");
    writeLines(file, lines);
    lumivex::SettingsFile key(file, "bench");
    // An absent name is the worst case of a read: every line is looked at.
    double read = median(3, [&] { (void)key.read("NoSuchName"); });
    std::size_t count = 0;
    double entries = median(3, [&] { count = key.entries().size(); });
    double write = median(3, [&] { key.write("Name0", "changed"); });
    if (count != static_cast<std::size_t>(lines) || key.read("Name0") != "changed") {
      std::printf("wrong result for %d lines\n", lines);
      return false;
    }
    std::printf("%-10d %8.1fMB %12.1fms %12.1fms %12.1fms\n", lines, fs::file_size(file) / 1e6,
                read * 1e3, entries * 1e3, write * 1e3);
  }
  std::printf("goal: 1,000,000 lines read well under a second\n");
  return true;
}

bool benchWriteAndLock(const fs::path& folder) {
  lumivex::SettingsFile key(folder / "Vistrel.conf", "bench");
  for (int i = 0; i < 30; ++i) key.write("Value" + std::to_string(i), "some text");
  int round = 0;
  double write = median(101, [&] { key.write("Value7", std::to_string(round++)); });

  // The lock a write takes and releases, alone, on the same folder.
  int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  constexpr int kPairs = 100000;
  bool locked = true;
  auto start = Clock::now();
  for (int i = 0; i < kPairs && locked; ++i)
    locked = flock(fd, LOCK_EX | LOCK_NB) == 0 && flock(fd, LOCK_UN) == 0;
  double lock = secondsSince(start) / kPairs;
  close(fd);
  if (!locked) {
    std::printf("flock on the folder failed\n");
    return false;
  }
  std::printf("write of a 30-value file (two fsyncs), median of 101: %8.3f ms\n", write * 1e3);
  std::printf("advisory folder lock, take and release:              %8.2f us  (goal < 1 ms)\n",
              lock * 1e6);
  return true;
}

int RunSettings() {
  Folder folder;
  try {
    bool ok = benchReads(folder.path);
    ok = benchWriteAndLock(folder.path) && ok;
    return ok ? 0 : 1;
  } catch (const lumivex::Error& e) {
    std::printf("failed: %s\n", e.what());
    return 1;
  }
}

bench::Register r("settings", RunSettings);

}  // namespace
