#include "settings/SettingsFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "settings/Error.h"
#include "settings/FileText.h"
#include "settings/Text.h"

namespace lumivex {

namespace {

constexpr std::size_t kMaxLine = 1u << 20;  // longer lines are damage, not values
constexpr const char* kHeader = "# Lumivex settings: one name=value per line, \\-escaped.\n";

void appendEscaped(std::string& out, std::string_view text, bool isName) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (std::size_t i = 0; i < text.size(); ++i) {
    auto c = static_cast<unsigned char>(text[i]);
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F || (isName && (c == '=' || (i == 0 && c == '#')))) {
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
}

std::string unescaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c != '\\' || i + 1 == text.size()) {
      out += c;
      continue;
    }
    char e = text[++i];
    if (e == 'n') {
      out += '\n';
    } else if (e == 'r') {
      out += '\r';
    } else if (e == 't') {
      out += '\t';
    } else if (e == 'x' && i + 2 < text.size() && hexDigitValue(text[i + 1]) >= 0 &&
               hexDigitValue(text[i + 2]) >= 0) {
      out += static_cast<char>(hexDigitValue(text[i + 1]) * 16 + hexDigitValue(text[i + 2]));
      i += 2;
    } else {
      out += e;  // "\\" and any unknown escape stand for the character itself
    }
  }
  return out;
}

std::vector<SettingsFile::Entry>::iterator findEntry(std::vector<SettingsFile::Entry>& entries,
                                                     std::string_view name) {
  for (auto it = entries.begin(); it != entries.end(); ++it)
    if (equalsIgnoreCase(it->first, name)) return it;
  return entries.end();
}

// Writes bytes to a new file beside target and renames it over target.
bool replaceAtomically(const std::filesystem::path& target, const std::string& bytes) {
  std::string temp = target.string() + ".XXXXXX";
  int fd = mkstemp(temp.data());
  if (fd < 0) return false;
  bool ok = fchmod(fd, 0600) == 0;
  for (std::size_t done = 0; ok && done < bytes.size();) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<std::size_t>(n);
  }
  ok = ok && fsync(fd) == 0;
  ok = (close(fd) == 0) && ok;
  ok = ok && std::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) unlink(temp.c_str());
  return ok;
}

}  // namespace

void SettingsFile::useUnnamedTemporaryFiles(bool) {}

SettingsFile::SettingsFile(std::filesystem::path file, std::string keyName)
    : file_(std::move(file)), keyName_(std::move(keyName)) {}

std::vector<SettingsFile::Entry> SettingsFile::parse(std::string_view bytes) {
  std::vector<Entry> entries;
  forEachLine(bytes, kMaxLine, [&](std::string_view line) {
    auto eq = line.find('=');
    if (line.starts_with('#') || eq == std::string_view::npos || eq == 0) return;
    std::string name = unescaped(line.substr(0, eq));
    if (findEntry(entries, name) == entries.end())
      entries.emplace_back(std::move(name), unescaped(line.substr(eq + 1)));
  });
  return entries;
}

std::string SettingsFile::serialize(const std::vector<Entry>& entries) {
  std::string out = kHeader;
  for (const auto& [name, value] : entries) {
    appendEscaped(out, name, true);
    out += '=';
    appendEscaped(out, value, false);
    out += '\n';
  }
  return out;
}

std::vector<SettingsFile::Entry> SettingsFile::entries() const {
  auto bytes = readFileBytes(file_);
  return bytes ? parse(*bytes) : std::vector<Entry>{};
}

std::optional<std::string> SettingsFile::read(std::string_view name) const {
  auto all = entries();
  auto it = findEntry(all, name);
  if (it == all.end()) return std::nullopt;
  return std::move(it->second);
}

void SettingsFile::write(std::string_view name, std::string_view value) const {
  std::error_code ec;
  std::filesystem::create_directories(file_.parent_path(), ec);
  if (ec) throw Error(formatText("Failed to create key %s", keyName_));

  std::vector<Entry> all;
  if (std::filesystem::exists(file_, ec)) {
    // An existing file we cannot read must not be replaced by one holding a single value.
    auto bytes = readFileBytes(file_);
    if (!bytes) throw Error(formatText("Failed to set data for '%s'", name));
    all = parse(*bytes);
  }
  if (auto it = findEntry(all, name); it != all.end())
    it->second = value;
  else
    all.emplace_back(name, value);
  if (!replaceAtomically(file_, serialize(all)))
    throw Error(formatText("Failed to set data for '%s'", name));
}

}  // namespace lumivex
