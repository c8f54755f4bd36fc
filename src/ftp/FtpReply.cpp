#include "ftp/FtpReply.h"

namespace lumivex::ftp {

int ReplyCodeOf(std::string_view line) {
  if (line.size() < 3) return 0;
  int code = 0;
  for (size_t i = 0; i < 3; ++i) {
    if (line[i] < '0' || line[i] > '9') return 0;
    code = code * 10 + (line[i] - '0');
  }
  return code;
}

std::optional<TFtpReply> TFtpReplyAssembler::Feed(std::string_view line) {
  int code = ReplyCodeOf(line);
  if (multiLine_) {
    if (!line.starts_with(terminator_)) {
      if (text_.size() + line.size() <= kMaxReplyText) text_.append(line);
      return std::nullopt;
    }
    multiLine_ = false;  // the closing line is not part of the text
  } else {
    text_.assign(line.substr(0, kMaxReplyText));
    if (line.size() >= 4 && line[3] == '-') {
      multiLine_ = true;
      terminator_ = std::to_string(code) + " ";
      return std::nullopt;
    }
  }
  TFtpReply reply{code, std::move(text_)};
  text_.clear();
  return reply;
}

void TFtpReplyAssembler::Reset() {
  multiLine_ = false;
  terminator_.clear();
  text_.clear();
}

}  // namespace lumivex::ftp
