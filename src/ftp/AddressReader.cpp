#include "ftp/AddressReader.h"

#include <charconv>

namespace lumivex::ftp {
namespace {

bool IsHostChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_';
}
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads [digits] then an optional path; `at` is just past the host.
void ReadPortAndPath(std::string_view text, size_t at, AddressParts& out) {
  if (at < text.size() && text[at] == ':') {
    ++at;
    size_t start = at;
    while (at < text.size() && IsDigit(text[at])) ++at;
    out.port = std::string(text.substr(start, at - start));
  }
  if (at < text.size() && (text[at] == '/' || text[at] == '\\')) out.path = text.substr(at);
}

bool OnlyDigitsUntilPath(std::string_view rest) {
  size_t i = 0;
  while (i < rest.size() && IsDigit(rest[i])) ++i;
  return i > 0 && (i == rest.size() || rest[i] == '/' || rest[i] == '\\');
}

int ReadNumber(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  int value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return 0;
  return value;
}

// The first "n,n,n,n,n,n" of a text (runs of digits joined by single commas), or "".
std::string_view FirstSixNumbers(std::string_view text) {
  for (size_t start = 0; start < text.size(); ++start) {
    if (!IsDigit(text[start]) || (start > 0 && IsDigit(text[start - 1]))) continue;
    size_t at = start;
    for (int numbers = 1;; ++numbers) {
      while (at < text.size() && IsDigit(text[at])) ++at;
      if (numbers == 6) return text.substr(start, at - start);
      if (at + 1 >= text.size() || text[at] != ',' || !IsDigit(text[at + 1])) break;
      ++at;
    }
  }
  return {};
}

}  // namespace

AddressParts ReadAddressText(std::string_view text) {
  AddressParts out;
  size_t at = 0;
  while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) ++at;

  size_t wordEnd = at;
  while (wordEnd < text.size() && IsHostChar(text[wordEnd])) ++wordEnd;
  std::string_view word = text.substr(at, wordEnd - at);
  char next = wordEnd < text.size() ? text[wordEnd] : '\0';

  if (word.size() == 1 && (next == ':' || next == '|') &&
      ((word[0] >= 'a' && word[0] <= 'z') || (word[0] >= 'A' && word[0] <= 'Z'))) {
    out.path = text.substr(at);  // a drive letter starts a path: no host
    return out;
  }
  // "host.name:21" and "localhost:21" name a host and a port; "ftp:" names a scheme.
  bool isScheme = next == ':' && !word.empty() && word.find('.') == std::string_view::npos &&
                  !OnlyDigitsUntilPath(text.substr(wordEnd + 1));
  if (isScheme) {
    out.scheme = word;
    at = wordEnd + 1;
    if (text.substr(at, 2) == "//") at += 2;
  }
  // A user part runs up to the last "@" before the path.
  size_t pathStart = text.find_first_of("/\\", at);
  std::string_view authority = text.substr(
      at, pathStart == std::string_view::npos ? std::string_view::npos : pathStart - at);
  if (size_t atSign = authority.rfind('@'); atSign != std::string_view::npos) {
    out.user = authority.substr(0, atSign);
    at += atSign + 1;
  }
  size_t hostEnd = at;
  while (hostEnd < text.size() && IsHostChar(text[hostEnd])) ++hostEnd;
  out.host = text.substr(at, hostEnd - at);
  ReadPortAndPath(text, hostEnd, out);
  return out;
}

uint16_t PortOf(const AddressParts& parts, uint16_t defaultPort) {
  if (parts.port.empty()) return defaultPort;
  unsigned value = 0;
  auto [end, ec] = std::from_chars(parts.port.data(), parts.port.data() + parts.port.size(), value);
  if (ec != std::errc() || value > 65535) return defaultPort;
  return static_cast<uint16_t>(value);
}

PassiveAddress ReadPassiveReply(std::string_view replyText) {
  PassiveAddress out;
  std::string inner;
  if (size_t open = replyText.find('('); open != std::string_view::npos) {
    size_t close = replyText.find(')', open + 1);
    inner = replyText.substr(
        open + 1, close == std::string_view::npos ? std::string_view::npos : close - open - 1);
  } else {
    // Servers may leave out the parentheses (RFC 1123, 4.1.2.6): the numbers are found in the text.
    inner = FirstSixNumbers(replyText);
    if (inner.empty()) return out;
  }
  int commas = 0;
  size_t portStart = inner.size();
  for (size_t i = 0; i < inner.size(); ++i) {
    if (inner[i] != ',') continue;
    ++commas;
    if (commas <= 3) {
      inner[i] = '.';
    } else if (commas == 4) {
      inner[i] = ':';
      portStart = i + 1;
      break;
    }
  }
  out.address = inner.substr(0, commas >= 4 ? portStart - 1 : inner.size());
  if (commas < 4) return out;
  std::string_view portText = std::string_view(inner).substr(portStart);
  size_t comma = portText.find(',');
  int high = ReadNumber(portText.substr(0, comma));
  int low = comma == std::string_view::npos ? 0 : ReadNumber(portText.substr(comma + 1));
  if (high < 0 || high > 255 || low < 0 || low > 255) return out;
  out.port = static_cast<uint16_t>(high * 256 + low);
  return out;
}

}  // namespace lumivex::ftp
