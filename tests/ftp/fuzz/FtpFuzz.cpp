// libFuzzer target: server texts and passive replies through the address reader, and the
// input split into lines through the reply assembler and the client's reply table (a client
// without connections, so nothing reaches the network). The same lines are also the replies
// after AUTH TLS to a client logging on with ftpes:// (its control connection to a closed port
// of 127.0.0.1 never opens): whatever they say, no credential or file command may be sent
// before TLS is up.
#include <QCoreApplication>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "ftp/AddressReader.h"
#include "ftp/FtpClient.h"
#include "ftp/FtpReply.h"

using namespace lumivex::ftp;

namespace {

bool IsHostChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_';
}

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  static QCoreApplication app(*argc, *argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);

  AddressParts parts = ReadAddressText(text);
  for (char c : parts.host) Check(IsHostChar(c));
  for (char c : parts.port) Check(c >= '0' && c <= '9');
  uint16_t port = PortOf(parts, 21);
  Check(parts.port.empty() ? port == 21 : true);
  PassiveAddress passive = ReadPassiveReply(text);
  Check(passive.address.size() <= size);

  TFtpReplyAssembler assembler;
  TCustomFtpClient client;
  client.OnFtpStatus = [](TCustomFtpClient&, TFtpStatusCode code, const std::string&) {
    Check(code >= fscClose && code <= fscTimeout);
  };
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    end = end == text.npos ? text.size() : end + 1;
    std::string line(text.substr(start, end - start));
    start = end;
    if (auto reply = assembler.Feed(line)) {
      Check(reply->Text.size() <= TFtpReplyAssembler::kMaxReplyText);
      Check(reply->Code >= 0 && reply->Code <= 999);
    }
    try {
      client.HandleReplyLine(line);
    } catch (const std::exception&) {
      // Refusals without a connection ("Socket not assigned") are expected here.
    }
    Check(client.State() <= ftpQuerying);
    Check(client.ConnectionCount() == 0);
  }

  TCustomFtpClient tls;
  bool inClear = false;
  tls.OnFtpCommand = [&](TCustomFtpClient& sender, const std::string& command) {
    for (const char* secret : {"USER", "PASS", "ACCT", "STOR", "TYPE", "PASV", "PORT"}) {
      if (command.starts_with(secret) &&
          (sender.ControlConnection() < 0 || !sender.Secured(sender.ControlConnection())))
        inClear = true;
    }
  };
  Check(tls.Login("ftpes://127.0.0.1:1", "user", "secret", ""));
  tls.HandleReplyLine("220 ready\r\n");
  for (start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    end = end == text.npos ? text.size() : end + 1;
    std::string line(text.substr(start, end - start));
    start = end;
    try {
      tls.HandleReplyLine(line);
    } catch (const std::exception&) {
      // A 234 cannot start TLS on a connection that is not open.
    }
    Check(!inClear);
    Check(tls.State() <= ftpQuerying);
  }
  return 0;
}
