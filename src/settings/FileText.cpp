#include "settings/FileText.h"

#include <fstream>

namespace lumivex {

std::optional<std::string> readFileBytes(const std::filesystem::path& file, std::size_t maxBytes) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes;
  char chunk[65536];
  while (bytes.size() < maxBytes) {
    in.read(chunk, static_cast<std::streamsize>(std::min(sizeof chunk, maxBytes - bytes.size())));
    bytes.append(chunk, static_cast<std::size_t>(in.gcount()));
    if (!in) break;
  }
  if (in.bad()) return std::nullopt;
  return bytes;
}

}  // namespace lumivex
