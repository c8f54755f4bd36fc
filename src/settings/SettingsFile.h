// One per-user settings file of named text values: the stand-in for a registry key.
//
// Format: one "name=value" line per value, in the order first written. Backslash escapes
// (\\ \n \r \t \xHH) keep line breaks and control characters in values, and "=" in names, so
// nothing written is lost or misread. Names compare without regard to letter case; the first
// spelling written is kept. Lines that cannot be read are treated as absent values.
//
// Nothing is cached: every call opens, reads or writes, and closes the file. A write replaces
// the file atomically (a new file with mode 0600, since it holds passwords, synced, renamed over
// the old one, then the folder synced) and never replaces a file it could not read whole. A
// symlinked file is replaced at the link's target. Writers of cooperating processes take turns
// (an advisory lock on the folder), so concurrent writes of different names keep both.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lumivex {

class SettingsFile {
 public:
  using Entry = std::pair<std::string, std::string>;

  // Longest line the reader takes (name, "=", escaped value); longer lines are damage.
  static constexpr std::size_t kMaxLine = 1u << 20;
  // Most bytes a read takes in; a larger file is damage or an attack, read only in part.
  static constexpr std::size_t kMaxFileSize = 64u << 20;

  // keyName names the key in error texts ("Software\Quorlan Software\Vistrel").
  SettingsFile(std::filesystem::path file, std::string keyName);

  const std::filesystem::path& path() const { return file_; }

  // The value, also when empty; nothing when the file or the value is absent.
  std::optional<std::string> read(std::string_view name) const;

  // Creates the folder and the file as needed. Throws lumivex::Error with
  // "Failed to create key %s" or "Failed to set data for '%s'".
  void write(std::string_view name, std::string_view value) const;

  // Every readable entry, in file order, duplicates removed.
  std::vector<Entry> entries() const;

  // Text form of the entries, and back; exposed for tests of the file format.
  static std::string serialize(const std::vector<Entry>& entries);
  static std::vector<Entry> parse(std::string_view bytes);

  // Test hook: false makes writes behave as on a file system without O_TMPFILE.
  static void useUnnamedTemporaryFiles(bool use);

 private:
  std::filesystem::path file_;
  std::string keyName_;
};

}  // namespace lumivex
