// Reads "[scheme:[//]][user@]host[:port][/path]" server texts, and the address part of a
// passive-mode reply. Pure text functions: everything a server or a user types passes here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace lumivex::ftp {

struct AddressParts {
  std::string scheme;
  std::string user;
  std::string host;
  std::string port;  // the digits after the host's colon, empty when none
  std::string path;
};

// Never fails: a character that does not fit the part being read ends the reading.
AddressParts ReadAddressText(std::string_view text);

// The port of the parts, or defaultPort when there is none or it does not fit 16 bits.
uint16_t PortOf(const AddressParts& parts, uint16_t defaultPort);

// The "h1,h2,h3,h4,p1,p2" inside the first parentheses of a 227 reply as the dotted address
// and the port high * 256 + low; unreadable numbers count as 0. A reply without parentheses
// gives its first run of six comma-separated numbers, or "" when it has none.
struct PassiveAddress {
  std::string address;
  uint16_t port = 0;
};
PassiveAddress ReadPassiveReply(std::string_view replyText);

}  // namespace lumivex::ftp
