// The program's texts: the language file's, or the built-in defaults of the text table.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace lumivex::settings {

class Texts {
 public:
  // `languageFile` is read at every lookup, so an edited file counts at once.
  explicit Texts(std::filesystem::path languageFile);

  // The text of a string number, with the text table's default (settings/TextTable.h).
  std::string LookupText(int number) const;
  // The same with a default of the caller's own (the overview's balloon title has one).
  std::string LookupText(int number, std::string_view defaultText) const;

 private:
  std::filesystem::path languageFile_;
};

}  // namespace lumivex::settings
