#include "platform/KeyMap.h"

#include <gtest/gtest.h>

using namespace lumivex::platform;

TEST(KeyMap, EveryKeyGroupMapsToItsKeysymAndBack) {
  struct Case {
    unsigned vk, keysym;
    const char* name;
  };
  const Case cases[] = {
      {0x41, 0x61, "A"},           {0x5A, 0x7a, "Z"},         {0x30, 0x30, "0"},
      {0x39, 0x39, "9"},           {0x70, 0xffbe, "F1"},      {0x74, 0xffc2, "F5"},
      {0x87, 0xffd5, "F24"},       {0x21, 0xff55, "Page Up"}, {0x22, 0xff56, "Page Down"},
      {0x24, 0xff50, "Home"},      {0x25, 0xff51, "Left"},    {0x28, 0xff54, "Down"},
      {0x2D, 0xff63, "Insert"},    {0x2E, 0xffff, "Delete"},  {0x60, 0xffb0, "Num 0"},
      {0x69, 0xffb9, "Num 9"},     {0x6B, 0xffab, "Num +"},   {0x6F, 0xffaf, "Num /"},
      {0xBA, 0x3b, ";"},           {0xBF, 0x2f, "/"},         {0xDE, 0x27, "'"},
      {0x2C, 0xff61, "Prnt Scrn"}, {0x13, 0xff13, "Pause"},   {0x0D, 0xff0d, "Enter"},
      {0x1B, 0xff1b, "Esc"},       {0x20, 0x20, "Space"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(keysymForVirtualKey(c.vk), c.keysym) << c.name;
    EXPECT_EQ(virtualKeyForKeysym(c.keysym), c.vk) << c.name;
    EXPECT_EQ(usKeyName(c.vk), QString::fromLatin1(c.name));
  }
}

TEST(KeyMap, TableIsOneToOne) {
  // Two virtual keys on one keysym would make the way back ambiguous.
  for (unsigned vk = 0; vk < 256; ++vk) {
    const unsigned sym = keysymForVirtualKey(vk);
    if (sym != 0) {
      EXPECT_EQ(virtualKeyForKeysym(sym), vk) << vk;
    }
  }
}

TEST(KeyMap, UpperCaseLetterKeysymsFindTheLetterKey) {
  EXPECT_EQ(virtualKeyForKeysym(0x41), 0x41u);  // XK_A
  EXPECT_EQ(virtualKeyForKeysym(0x51), 0x51u);  // XK_Q
}

TEST(KeyMap, UnknownKeysHaveNoKeysymAndNoName) {
  EXPECT_EQ(keysymForVirtualKey(0x07), 0u);
  EXPECT_EQ(keysymForVirtualKey(0x10), 0u);  // Shift alone is no hotkey key
  EXPECT_EQ(virtualKeyForKeysym(0xffe1), 0u);
  EXPECT_TRUE(usKeyName(0xFF).isEmpty());
}

TEST(KeyMap, KeysymCharacters) {
  EXPECT_EQ(keysymToChar(0x61), U'a');
  EXPECT_EQ(keysymToChar(0xfc), U'\u00fc');       // udiaeresis
  EXPECT_EQ(keysymToChar(0x10020ac), U'\u20ac');  // Unicode keysym for the euro sign
  EXPECT_EQ(keysymToChar(0xffbe), U'\0');         // F1 types nothing
  EXPECT_EQ(keysymToChar(0xffb0), U'\0');         // keypad keysyms are not Latin-1
}
