// lumivex-bench [SUITE...]: runs the named suites, or all of them, and prints their figures.
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Bench.h"

namespace bench {
std::vector<Suite>& suites() {
  static std::vector<Suite> all;
  return all;
}

long StatusKiB(const char* field) {
  std::FILE* f = std::fopen("/proc/self/status", "r");
  if (f == nullptr) return -1;
  char line[256];
  long value = -1;
  const std::size_t n = std::strlen(field);
  while (std::fgets(line, sizeof line, f) != nullptr) {
    if (std::strncmp(line, field, n) == 0) value = std::atol(line + n);
  }
  std::fclose(f);
  return value;
}

long ResetPeak() {
  malloc_trim(0);
  const int fd = ::open("/proc/self/clear_refs", O_WRONLY);
  if (fd < 0) return -1;
  const bool ok = ::write(fd, "5", 1) == 1;
  ::close(fd);
  return ok ? StatusKiB("VmRSS:") : -1;
}
}  // namespace bench

int main(int argc, char** argv) {
  int failures = 0;
  for (const auto& suite : bench::suites()) {
    bool chosen = argc < 2;
    for (int i = 1; i < argc; ++i) chosen = chosen || suite.name == argv[i];
    if (!chosen) continue;
    std::printf("== %s ==\n", suite.name.c_str());
    std::fflush(stdout);
    failures += suite.run() != 0;
  }
  return failures == 0 ? 0 : 1;
}
