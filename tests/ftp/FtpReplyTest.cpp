// Reply codes and the assembly of single- and multi-line replies from the control connection.
#include <gtest/gtest.h>

#include "ftp/FtpReply.h"

namespace lumivex::ftp {
namespace {

TEST(ReplyAssemblerTest, SingleAndMultiLineReplies) {
  EXPECT_EQ(ReplyCodeOf("220 ok"), 220);
  EXPECT_EQ(ReplyCodeOf("22"), 0);
  EXPECT_EQ(ReplyCodeOf("2x0 ok"), 0);
  EXPECT_EQ(ReplyCodeOf("-12 ok"), 0);

  TFtpReplyAssembler assembler;
  auto single = assembler.Feed("200 Type set\r\n");
  ASSERT_TRUE(single);
  EXPECT_EQ(single->Code, 200);
  EXPECT_EQ(single->Text, "200 Type set\r\n");

  EXPECT_FALSE(assembler.Feed("220-Welcome\r\n"));
  EXPECT_TRUE(assembler.MultiLineOpen());
  EXPECT_FALSE(assembler.Feed("220-more\r\n"));
  EXPECT_FALSE(assembler.Feed("220\r\n"));         // not the terminator: no blank
  EXPECT_FALSE(assembler.Feed("230 inside\r\n"));  // another code is text too
  auto multi = assembler.Feed("220 ready\r\n");
  ASSERT_TRUE(multi);
  EXPECT_EQ(multi->Code, 220);
  EXPECT_EQ(multi->Text, "220-Welcome\r\n220-more\r\n220\r\n230 inside\r\n");
  EXPECT_FALSE(assembler.MultiLineOpen());

  // An endless multi-line reply does not grow without bound.
  EXPECT_FALSE(assembler.Feed("211-start\r\n"));
  std::string line(1000, 'z');
  for (int i = 0; i < 2000; ++i) EXPECT_FALSE(assembler.Feed(line));
  auto capped = assembler.Feed("211 end\r\n");
  ASSERT_TRUE(capped);
  EXPECT_LE(capped->Text.size(), TFtpReplyAssembler::kMaxReplyText);
}

}  // namespace
}  // namespace lumivex::ftp
