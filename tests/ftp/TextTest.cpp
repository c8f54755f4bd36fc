// Pure text handling: server texts, passive replies, reply assembly, the job's settings texts.
#include <gtest/gtest.h>

#include "ftp/AddressReader.h"
#include "ftp/FtpReply.h"
#include "ftp/FtpUploadJob.h"

namespace lumivex::ftp {
namespace {

TEST(AddressReaderTest, HostAndPortOfServerTexts) {
  struct Case {
    const char* text;
    const char* host;
    uint16_t port;  // with default port 21
  };
  const Case cases[] = {
      {"ftp.example.com", "ftp.example.com", 21},
      {"  ftp.example.com", "ftp.example.com", 21},
      {"ftp://ftp.example.com:2121", "ftp.example.com", 2121},
      {"ftp://127.0.0.1:2121/some/path", "127.0.0.1", 2121},
      {"ftp.example.com:2121", "ftp.example.com", 2121},
      {"localhost:2121", "localhost", 2121},
      {"localhost", "localhost", 21},
      {"ftp://anna:pw@host.example:99/x", "host.example", 99},
      {"ftp://user@host", "host", 21},
      {"ftp:host", "host", 21},
      {"192.168.0.10\\upload", "192.168.0.10", 21},
      {"host:99999", "host", 21},  // does not fit 16 bits: the default
      {"host:", "", 21},           // a dotless word before ":" is a scheme
      {"c:\\shots", "", 21},       // a drive letter starts a path: no host
      {"", "", 21},
      {"ftp://", "", 21},
      {"ho st", "ho", 21},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    AddressParts parts = ReadAddressText(c.text);
    EXPECT_EQ(parts.host, c.host);
    EXPECT_EQ(PortOf(parts, 21), c.port);
  }
  AddressParts parts = ReadAddressText("ftp://anna:pw@host.example:99/x/y");
  EXPECT_EQ(parts.scheme, "ftp");
  EXPECT_EQ(parts.user, "anna:pw");
  EXPECT_EQ(parts.path, "/x/y");
}

TEST(AddressReaderTest, PassiveReplies) {
  PassiveAddress a = ReadPassiveReply("227 Entering Passive Mode (192,168,0,10,19,137).\r\n");
  EXPECT_EQ(a.address, "192.168.0.10");
  EXPECT_EQ(a.port, 5001);
  // Without parentheses: the first run of six numbers, wherever it stands.
  PassiveAddress bare = ReadPassiveReply("227 Entering Passive Mode 127,0,0,1,195,80\r\n");
  EXPECT_EQ(bare.address, "127.0.0.1");
  EXPECT_EQ(bare.port, 50000);
  EXPECT_EQ(ReadPassiveReply("227 =127,0,0,1,4,1.").port, 1025);
  PassiveAddress later = ReadPassiveReply("227 Mode 2,1 ok; 10,0,0,7,4,1,9 and 1,1,1,1,1,1");
  EXPECT_EQ(later.address, "10.0.0.7");
  EXPECT_EQ(later.port, 1025);
  EXPECT_EQ(ReadPassiveReply("227 =127,0,0,1,4").address, "");  // five numbers
  EXPECT_EQ(ReadPassiveReply("227 =127,0,0,1,4").port, 0);
  EXPECT_EQ(ReadPassiveReply("227 Entering Passive Mode").address, "");
  EXPECT_EQ(ReadPassiveReply("227 (127,0,0,1,x,1)").port, 1);
  EXPECT_EQ(ReadPassiveReply("227 (127,0,0,1,300,1)").port, 0);
  EXPECT_EQ(ReadPassiveReply("227 (127,0,0,1,4,-1)").port, 0);
  EXPECT_EQ(ReadPassiveReply("227 (1,2,3)").port, 0);
  EXPECT_EQ(ReadPassiveReply("227 (127,0,0,1,255,255").port, 65535);  // unclosed
}

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

TEST(UploadJobTextTest, FolderNormalisationAndPortTexts) {
  EXPECT_EQ(NormaliseRemoteFolder(""), "/");
  EXPECT_EQ(NormaliseRemoteFolder("/"), "/");
  EXPECT_EQ(NormaliseRemoteFolder("pics"), "/pics/");
  EXPECT_EQ(NormaliseRemoteFolder("/a/b"), "/a/b/");
  EXPECT_EQ(NormaliseRemoteFolder("upload\\2005"), "/upload\\2005/");

  EXPECT_EQ(ParsePortText("21"), 21);
  EXPECT_EQ(ParsePortText(" 2121"), 2121);
  EXPECT_EQ(ParsePortText("65535"), 65535);
  auto message = [](const char* text) {
    try {
      ParsePortText(text);
    } catch (const std::exception& e) {
      return std::string(e.what());
    }
    return std::string("accepted");
  };
  EXPECT_EQ(message("abc"), "'abc' is not a valid integer value");
  EXPECT_EQ(message(""), "'' is not a valid integer value");
  EXPECT_EQ(message("21 "), "'21 ' is not a valid integer value");
  EXPECT_EQ(message("99999999999"), "'99999999999' is not a valid integer value");
  EXPECT_EQ(message("0"), "'0' is not a valid FTP port: use a number from 1 to 65535");
  EXPECT_EQ(message("65536"), "'65536' is not a valid FTP port: use a number from 1 to 65535");
  EXPECT_EQ(message("-21"), "'-21' is not a valid FTP port: use a number from 1 to 65535");
}

}  // namespace
}  // namespace lumivex::ftp
