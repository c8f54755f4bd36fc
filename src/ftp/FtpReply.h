// Assembles the reply lines of an FTP control connection into replies (RFC 959 multi-line
// replies included). Knows nothing about commands or states.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lumivex::ftp {

// The integer value of a line's first three characters; 0 when they are not three digits.
int ReplyCodeOf(std::string_view line);

struct TFtpReply {
  int Code = 0;
  std::string Text;  // the opening and middle lines of a multi-line reply, terminators kept
};

class TFtpReplyAssembler {
 public:
  // A hostile server must not grow a multi-line reply without bound: text past this is dropped.
  static constexpr size_t kMaxReplyText = 1048576;

  // Returns a reply when `line` completes one.
  std::optional<TFtpReply> Feed(std::string_view line);
  void Reset();
  bool MultiLineOpen() const { return multiLine_; }

 private:
  bool multiLine_ = false;
  std::string terminator_;
  std::string text_;
};

}  // namespace lumivex::ftp
