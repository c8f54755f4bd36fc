#include <gtest/gtest.h>

#include "TempDir.h"
#include "settings/LanguageFile.h"

using namespace lumivex;

namespace {

struct LanguageTest : ::testing::Test {
  TempDir dir;
  std::filesystem::path file = dir.path / "lang.txt";
  void write(const std::string& bytes) { dir.write("lang.txt", bytes); }
  std::string lookup(int number, const char* fallback = "Default") {
    return lookupLanguageText(file, number, fallback);
  }
};

TEST_F(LanguageTest, MissingFileSectionOrEntryGivesTheDefault) {
  EXPECT_EQ(lookup(310, "Options..."), "Options...");
  write("[other]\n310=Altro\n");
  EXPECT_EQ(lookup(310, "Options..."), "Options...");
  write("[lumivex_it]\n320=Mostra\n");
  EXPECT_EQ(lookup(310, "Options..."), "Options...");
  EXPECT_EQ(lookup(320), "Mostra");
}

TEST_F(LanguageTest, ReaderRulesOfTheOriginalPlatform) {
  write(
      "; comment\n"
      "[other]\n330=Wrong section\n"
      "[ LUMIVEX_IT ]\n"
      "  310   =   Opzioni...   \r\n"
      "335=\n"
      "330=--\n"
      "340=\"  Tasti rapidi  \"\n"
      "350='quoted'\n"
      "360=\"unbalanced'\n"
      "370=\"\"\n"
      "380=a=b\n"
      "390=first\n390=second\n"
      "[other]\n400=Outside\n");
  EXPECT_EQ(lookup(310), "Opzioni...");
  EXPECT_EQ(lookup(335, "Main"), "");          // an empty entry is an empty caption
  EXPECT_EQ(lookup(330, "Exit"), "Exit");      // "--" marks a missing entry
  EXPECT_EQ(lookup(340), "  Tasti rapidi  ");  // quotes keep the blanks inside
  EXPECT_EQ(lookup(350), "quoted");
  EXPECT_EQ(lookup(360), "\"unbalanced'");
  EXPECT_EQ(lookup(370, "x"), "");
  EXPECT_EQ(lookup(380), "a=b");
  EXPECT_EQ(lookup(390), "first");
  EXPECT_EQ(lookup(400), "Default");
}

TEST_F(LanguageTest, TextsAreUtf8OrWindows1252AndCutAt2047Characters) {
  write("\xEF\xBB\xBF[lumivex_it]\n145=Schermata catturata \xC3\xA8 ok \xE2\x82\xAC\n");
  EXPECT_EQ(lookup(145), "Schermata catturata \xC3\xA8 ok \xE2\x82\xAC");
  write("[lumivex_it]\n145=Citt\xE0 \x80 \x93 \x81\n");  // as saved on the original platform
  EXPECT_EQ(lookup(145), "Citt\xC3\xA0 \xE2\x82\xAC \xE2\x80\x9C \xC2\x81");

  std::string longText;
  for (int i = 0; i < 3000; ++i) longText += "\xC3\xA8";  // two bytes, one character each
  write("[lumivex_it]\n150=" + longText + "\n");
  std::string text = lookup(150);
  EXPECT_EQ(text.size(), 2047u * 2);
  EXPECT_EQ(text, longText.substr(0, 2047 * 2));
}

TEST_F(LanguageTest, AnEditedFileTakesEffectAtTheNextLookup) {
  write("[lumivex_it]\n330=Esci\n");
  EXPECT_EQ(lookup(330, "Exit"), "Esci");
  write("[lumivex_it]\n330=Chiudi\n");
  EXPECT_EQ(lookup(330, "Exit"), "Chiudi");
  std::filesystem::remove(file);
  EXPECT_EQ(lookup(330, "Exit"), "Exit");
}

TEST_F(LanguageTest, BinaryGarbageDoesNotBreakTheLookup) {
  std::string garbage;
  for (int i = 0; i < 70000; ++i) garbage += static_cast<char>((i * 7919) & 0xFF);
  write(garbage + "\n[lumivex_it]\n310=ok\n" + garbage);
  EXPECT_EQ(lookup(310), "ok");
}

}  // namespace
