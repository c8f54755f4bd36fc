// The one error type of the program: it carries the text the user is shown.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace lumivex {

class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& text) : std::runtime_error(text) {}
};

// Replaces the first "%s" of a message pattern ("Failed to set data for '%s'").
inline std::string formatText(std::string_view pattern, std::string_view arg) {
  std::string out(pattern);
  if (auto at = out.find("%s"); at != std::string::npos) out.replace(at, 2, arg);
  return out;
}

}  // namespace lumivex
