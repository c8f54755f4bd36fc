// A tiny registry: each benchmark file registers named suites; main() runs them.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace bench {

struct Suite {
  std::string name;
  std::function<int()> run;  // prints its own table; returns non-zero on failure
};

std::vector<Suite>& suites();

// A "Field:" of /proc/self/status in KiB (VmRSS:, VmHWM:); -1 when it cannot be read.
long StatusKiB(const char* field);
// Resets the process's peak resident size to its current size; returns that size in KiB.
long ResetPeak();

struct Register {
  Register(std::string name, std::function<int()> run) {
    suites().push_back({std::move(name), std::move(run)});
  }
};

}  // namespace bench
