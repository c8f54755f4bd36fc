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

struct Register {
  Register(std::string name, std::function<int()> run) {
    suites().push_back({std::move(name), std::move(run)});
  }
};

}  // namespace bench
