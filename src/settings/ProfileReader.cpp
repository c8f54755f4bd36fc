#include "settings/ProfileReader.h"

#include "base/Text.h"
#include "settings/FileText.h"

namespace lumivex {

static std::string_view unquoted(std::string_view text) {
  if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
      text.back() == text.front())
    return text.substr(1, text.size() - 2);
  return text;
}

std::optional<std::string> readProfileEntry(std::string_view fileBytes, std::string_view section,
                                            std::string_view key) {
  if (fileBytes.starts_with("\xEF\xBB\xBF")) fileBytes.remove_prefix(3);  // UTF-8 byte order mark
  bool inSection = false;
  std::optional<std::string> found;
  forEachLine(fileBytes, fileBytes.size(), [&](std::string_view line) {
    if (found) return;
    line = trimmed(line);
    if (line.starts_with('[')) {
      auto close = line.find(']');
      inSection = close != std::string_view::npos &&
                  equalsIgnoreCase(trimmed(line.substr(1, close - 1)), section);
      return;
    }
    auto eq = line.find('=');
    if (!inSection || eq == std::string_view::npos) return;
    if (equalsIgnoreCase(trimmed(line.substr(0, eq)), key))
      found = std::string(unquoted(trimmed(line.substr(eq + 1))));
  });
  return found;
}

}  // namespace lumivex
