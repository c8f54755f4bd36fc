// Replaces the built-in English texts by those of a language file ("lang.txt").
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace lumivex {

inline constexpr const char* kLanguageFileName = "lang.txt";
inline constexpr const char* kLanguageSection = "lumivex_it";
inline constexpr std::size_t kLanguageTextMax = 2047;

// The text for a string number from the language file, or defaultText when the file, the
// section or the entry is missing or the entry is "--". The file is read at every call, so an
// edited file takes effect at once. Texts are UTF-8 when valid, Windows-1252 otherwise.
std::string lookupLanguageText(const std::filesystem::path& languageFile, int number,
                               std::string_view defaultText);

}  // namespace lumivex
