// Reads one entry of an INI-format file with the rules language files were written for:
// section names and keys match without regard to letter case, blanks around a key and its
// text are dropped, and a text enclosed in one pair of double or single quotes loses them.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lumivex {

// The raw text of key in section, or nothing when the section or key is missing.
// The first matching entry wins.
std::optional<std::string> readProfileEntry(std::string_view fileBytes, std::string_view section,
                                            std::string_view key);

}  // namespace lumivex
