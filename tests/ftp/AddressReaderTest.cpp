// Host and port of the server texts and of passive-mode replies.
#include <gtest/gtest.h>

#include "ftp/AddressReader.h"

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

}  // namespace
}  // namespace lumivex::ftp
