// Reading a whole small text file with a size cap, shared by the settings and language readers.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace lumivex {

// The file's bytes, or nothing when it cannot be opened or read. Files beyond maxBytes are
// read only up to that size: a damaged or hostile file must not exhaust memory.
std::optional<std::string> readFileBytes(const std::filesystem::path& file,
                                         std::size_t maxBytes = 64u << 20);

// Calls onLine for each line without its "\n" (and a trailing "\r"). Lines longer than
// maxLine are skipped as unreadable.
template <typename OnLine>
void forEachLine(std::string_view bytes, std::size_t maxLine, OnLine&& onLine) {
  while (!bytes.empty()) {
    auto end = bytes.find('\n');
    auto line = bytes.substr(0, end);
    bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() <= maxLine) onLine(line);
  }
}

}  // namespace lumivex
