#include "settings/LanguageFile.h"

#include "base/Text.h"
#include "settings/FileText.h"
#include "settings/ProfileReader.h"

namespace lumivex {

std::string lookupLanguageText(const std::filesystem::path& languageFile, int number,
                               std::string_view defaultText) {
  auto bytes = readFileBytes(languageFile, 8u << 20);
  if (!bytes) return std::string(defaultText);
  auto entry = readProfileEntry(*bytes, kLanguageSection, std::to_string(number));
  if (!entry) return std::string(defaultText);
  std::string text = isValidUtf8(*entry) ? std::move(*entry) : windows1252ToUtf8(*entry);
  text.resize(truncateUtf8(text, kLanguageTextMax).size());
  if (text == "--") return std::string(defaultText);
  return text;
}

}  // namespace lumivex
