// lumivex-bench [SUITE...]: runs the named suites, or all of them, and prints their figures.
#include <cstdio>
#include <cstring>

#include "Bench.h"

namespace bench {
std::vector<Suite>& suites() {
  static std::vector<Suite> all;
  return all;
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
