// Small text rules shared by the settings store, the language lookup and their readers.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lumivex {

// Drops leading and trailing blanks and control characters (bytes up to 32).
std::string_view trimmed(std::string_view text);

// Letter case is ignored for ASCII letters only; names are ASCII in practice.
bool equalsIgnoreCase(std::string_view a, std::string_view b);
std::string toLowerAscii(std::string_view text);

// A Boolean setting is on when its text, lower-cased, equals "true".
bool isTrueText(std::string_view text);

// Decimal 32-bit integer with an optional sign; leading blanks are skipped, trailing ones not.
std::optional<int> parseInt(std::string_view text);
// As parseInt, or throws "'%s' is not a valid integer value".
int textToInt(std::string_view text);

// The value of a hexadecimal digit, or -1.
int hexDigitValue(char c);

// UTF-8 helpers: language files may be UTF-8 or Windows-1252.
bool isValidUtf8(std::string_view bytes);
std::string windows1252ToUtf8(std::string_view bytes);
// Cuts a valid UTF-8 text after at most maxChars code points.
std::string_view truncateUtf8(std::string_view text, std::size_t maxChars);

}  // namespace lumivex
