#include <gtest/gtest.h>

#include <cstdlib>

#include "settings/LanguageFile.h"
#include "settings/TextTable.h"

using namespace lumivex;

namespace {

// Every string number the program looks up, with nothing left untranslated.
TEST(ShippedLanguageFile, CoversEveryStringNumber) {
  const char* path = std::getenv("LUMIVEX_LANG_FILE");
  ASSERT_NE(path, nullptr) << "LUMIVEX_LANG_FILE names the file to check";
  const std::string missing = "\x01missing";
  for (const settings::TextRow& row : settings::kTextTable) {
    std::string text = lookupLanguageText(path, row.number, missing);
    EXPECT_NE(text, missing) << "no Italian text for " << row.number;
    EXPECT_FALSE(text.empty()) << row.number;
  }
}

}  // namespace
