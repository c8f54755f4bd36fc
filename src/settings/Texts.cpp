#include "settings/Texts.h"

#include <utility>

#include "settings/LanguageFile.h"
#include "settings/TextTable.h"

namespace lumivex::settings {

Texts::Texts(std::filesystem::path languageFile) : languageFile_(std::move(languageFile)) {}

std::string Texts::LookupText(int number) const { return LookupText(number, defaultText(number)); }

std::string Texts::LookupText(int number, std::string_view defaultText) const {
  return lookupLanguageText(languageFile_, number, defaultText);
}

}  // namespace lumivex::settings
