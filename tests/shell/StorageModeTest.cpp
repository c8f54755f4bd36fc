// The storage-mode switch: the stored pair it writes and the notice it gives.
#include "shell/StorageMode.h"

#include <gtest/gtest.h>

#include <QStringList>

using namespace lumivex::shell;

TEST(StorageMode, ToggleGoesToClipboardOnlyFromFalse) {
  EXPECT_TRUE(ToggledStorageMode("False").clipboard);
  EXPECT_TRUE(ToggledStorageMode("FALSE").clipboard);
  EXPECT_FALSE(ToggledStorageMode("TRUE").clipboard);
  EXPECT_FALSE(ToggledStorageMode("").clipboard);
  EXPECT_FALSE(ToggledStorageMode("yes").clipboard);

  QStringList writes;
  const WriteSetting write = [&](const QString& n, const QString& v) { writes << n + "=" + v; };
  const StorageMode clip = ToggledStorageMode("false");
  WriteStorageMode(clip, write);
  EXPECT_EQ(clip.iconIndex(), 1);
  EXPECT_EQ(clip.messageNumber(), 790);
  const StorageMode file = ToggledStorageMode("True");
  WriteStorageMode(file, write);
  EXPECT_EQ(file.iconIndex(), 0);
  EXPECT_EQ(file.messageNumber(), 780);
  EXPECT_EQ(writes, QStringList({"Radiobutton1_Checked=True", "Radiobutton2_Checked=False",
                                 "Radiobutton1_Checked=False", "Radiobutton2_Checked=True"}));
}
