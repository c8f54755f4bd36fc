#include <gtest/gtest.h>

#include <cstdlib>

#include "settings/LanguageFile.h"

using namespace lumivex;

namespace {

// Every string number the program looks up, with nothing left untranslated.
TEST(ShippedLanguageFile, CoversEveryStringNumber) {
  const char* path = std::getenv("LUMIVEX_LANG_FILE");
  ASSERT_NE(path, nullptr) << "LUMIVEX_LANG_FILE names the file to check";
  const int numbers[] = {145, 150, 160, 170, 190, 200, 210, 220, 230, 240, 250, 260, 270, 280,
                         290, 300, 310, 320, 330, 335, 340, 350, 360, 370, 380, 390, 400, 410,
                         420, 430, 440, 445, 450, 460, 470, 480, 490, 500, 510, 520, 530, 540,
                         550, 560, 570, 580, 590, 600, 610, 620, 630, 640, 650, 660, 670, 680,
                         690, 700, 710, 720, 730, 740, 750, 760, 770, 780, 790, 800, 810, 820};
  const std::string missing = "\x01missing";
  for (int number : numbers) {
    std::string text = lookupLanguageText(path, number, missing);
    EXPECT_NE(text, missing) << "no Italian text for " << number;
    EXPECT_FALSE(text.empty()) << number;
  }
}

}  // namespace
