#include "ftp/FtpClient.h"

#include <arpa/inet.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include "ftp/AddressReader.h"

namespace lumivex::ftp {
namespace {

bool HasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

// A file stream with a buffer large enough that 1460-byte blocks cost no extra system calls.
class FileStream : public std::ifstream {
 public:
  explicit FileStream(const std::string& name) : buffer_(1 << 16) {
    rdbuf()->pubsetbuf(buffer_.data(), static_cast<std::streamsize>(buffer_.size()));
    open(name, std::ios::binary);
  }

 private:
  std::vector<char> buffer_;
};

}  // namespace

TFtpSecurity SecurityOfScheme(std::string_view scheme) {
  std::string lower(scheme);
  for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (lower == "ftpes") return TFtpSecurity::ExplicitTls;
  if (lower == "ftps") return TFtpSecurity::ImplicitTls;
  return TFtpSecurity::None;
}

const char* StatusName(TFtpStatusCode code) {
  static const char* const names[] = {
      "fscClose",  "fscOpen",    "fscLogin", "fscLogout",   "fscComplete",   "fscCurrentDir",
      "fscSystem", "fscDirList", "fscInfo",  "fscProgress", "fscTransferOK", "fscTimeout"};
  return code >= fscClose && code <= fscTimeout ? names[code] : "?";
}

TCustomFtpClient::TCustomFtpClient(QObject* parent) : TCustomMultiClient(parent) {}

TCustomFtpClient::~TCustomFtpClient() {
  // Close quietly: nobody listens to the events of a client that is going away.
  OnFtpDisconnected = nullptr;
  OnFtpStatus = nullptr;
  transfer_.reset();
}

void TCustomFtpClient::SetState(TFtpState state) { state_ = state; }

bool TCustomFtpClient::SetPassiveMode(bool on) {
  if (state_ != ftpIdle && state_ != ftpLoggingIn && state_ != ftpReady) return false;
  passiveMode_ = on;
  return true;
}

void TCustomFtpClient::Post(std::function<void()> body) {
  QMetaObject::invokeMethod(
      this, [this, body = std::move(body)] { Guard(control_, body); }, Qt::QueuedConnection);
}

// ---- commands --------------------------------------------------------------------------------

void TCustomFtpClient::SendCommand(const std::string& text) {
  if (control_ < 0 || !Exists(control_)) return;
  if (OnFtpCommand) OnFtpCommand(*this, text);
  SendText(control_, text + "\r\n");
}

void TCustomFtpClient::PushCommand(std::string text) {
  if (commands_.size() >= kCommandStackSize) {
    commands_.clear();
    throw std::runtime_error("Fatal Error: Command stack full");
  }
  commands_.push_back(std::move(text));
}

void TCustomFtpClient::SendNextCommand() {
  if (commands_.empty()) return;
  std::string command = std::move(commands_.back());
  commands_.pop_back();
  SendCommand(command);
}

// ---- operations ------------------------------------------------------------------------------

bool TCustomFtpClient::Login(std::string_view server, std::string_view user,
                             std::string_view password, std::string_view account) {
  if (state_ != ftpIdle) return false;
  // A line break would let the text smuggle further commands onto the control connection.
  if (HasLineBreak(user) || HasLineBreak(password) || HasLineBreak(account))
    throw std::runtime_error("FTP user name, password and account must not contain line breaks");
  SetState(ftpLoggingIn);
  server_ = server;
  user_ = user;
  password_ = password;
  account_ = account;
  assembler_.Reset();
  ClearCommands();
  AddressParts parts = ReadAddressText(server_);
  security_ = SecurityOfScheme(parts.scheme);
  tlsHost_ = parts.host;
  tlsStep_ = security_ == TFtpSecurity::None          ? TlsStep::Off
             : security_ == TFtpSecurity::ImplicitTls ? TlsStep::Handshake
                                                      : TlsStep::Greeting;
  uint16_t port =
      security_ == TFtpSecurity::ImplicitTls && DefaultPort == 21 ? kImplicitTlsPort : DefaultPort;
  // After a 421 the server may leave its end open: the old connection is dropped quietly.
  if (int old = control_; old >= 0) {
    control_ = -1;
    ReleaseTransfer();
    CloseConnection(old);
  }
  try {
    control_ = CreateConnection();
    SetIdleLimit(control_, IdleTimeout);
    Connect(control_, server_, port);
  } catch (...) {
    if (int handle = control_; handle >= 0) {
      control_ = -1;
      CloseConnection(handle);
    }
    SetState(ftpIdle);
    throw;
  }
  return true;
}

bool TCustomFtpClient::Store(std::string_view remotePath, const std::string& localFile,
                             int64_t restartPosition, uint8_t storeMode) {
  std::error_code error;
  if (state_ != ftpReady || remotePath.empty() || !std::filesystem::exists(localFile, error) ||
      std::filesystem::is_directory(localFile, error))
    return false;
  if (HasLineBreak(remotePath)) throw std::runtime_error("FTP path must not contain line breaks");
  SetState(ftpStoring);
  remotePath_ = remotePath;
  for (char& c : remotePath_)
    if (c == '\\') c = '/';
  localFile_ = localFile;

  try {
    ReleaseTransfer();
    auto file = std::make_shared<FileStream>(localFile_);
    if (!file->is_open()) {
      int code = errno;
      throw std::runtime_error("Cannot open file \"" + localFile_ + "\". " +
                               SocketErrorDescription(code));
    }
    transfer_ = file;
    dataClosed_ = false;
    serverConfirmed_ = false;
    dataConnected_ = false;
    preliminaryReceived_ = false;
    sending_ = false;

    switch (storeMode) {
      case 0:
        PushCommand("APPE " + remotePath_);
        break;
      case 1:
        PushCommand("STOR " + remotePath_);
        break;
      case 2:
        PushCommand("STOU " + remotePath_);
        break;
      default: {
        auto size = static_cast<int64_t>(std::filesystem::file_size(localFile_, error));
        int64_t position = restartPosition >= 0 && restartPosition <= size ? restartPosition : 0;
        file->seekg(position);
        PushCommand("STOR " + remotePath_);
        PushCommand("REST " + std::to_string(position));
      }
    }
    byteCount_ = 0;
    std::string typeCommand = std::string("TYPE ") + (FileType == ftAscii ? "A" : "I");
    if (passiveMode_) {
      PushCommand("PASV");
      SendCommand(typeCommand);
    } else {
      PushCommand(typeCommand);
      listen_ = Listen(LocalAddress(control_));
      sockaddr_in local = LocalAddress(listen_);
      uint32_t address = ntohl(local.sin_addr.s_addr);
      uint16_t port = ntohs(local.sin_port);
      SendCommand("PORT " + std::to_string(address >> 24) + "," +
                  std::to_string((address >> 16) & 255) + "," +
                  std::to_string((address >> 8) & 255) + "," + std::to_string(address & 255) + "," +
                  std::to_string(port >> 8) + "," + std::to_string(port & 255));
    }
  } catch (...) {
    // Nothing usable was started: the session stays logged on and ready.
    ClearCommands();
    ReleaseTransfer();
    SetState(ftpReady);
    throw;
  }
  return true;
}

bool TCustomFtpClient::Logout() {
  if (state_ == ftpIdle) return false;
  SendCommand("QUIT");
  return true;
}

// ---- replies ---------------------------------------------------------------------------------

void TCustomFtpClient::HandleReplyLine(const std::string& line) {
  std::optional<TFtpReply> reply = assembler_.Feed(line);
  if (!reply) return;
  HandleReply(reply->Code, reply->Text);
  if (state_ == ftpQuerying) SetState(ftpReady);
  if (OnFtpReply) OnFtpReply(*this, reply->Code, reply->Text);
}

void TCustomFtpClient::HandleReply(int code, const std::string& text) {
  if (tlsStep_ != TlsStep::Off && tlsStep_ != TlsStep::Done && state_ == ftpLoggingIn) {
    TlsReply(code, text);
    return;
  }
  switch (code) {
    case 125:
    case 150:
      // Servers that connect back on PORT take data only once they have the store command.
      if (state_ == ftpStoring) {
        preliminaryReceived_ = true;
        StartSending();
      }
      break;
    case 200:
      if (commands_.empty()) SetState(ftpReady);
      SendNextCommand();
      break;
    case 211:
    case 212:
    case 213:
    case 214:
      RaiseStatus(fscInfo, text.size() > 3 ? text.substr(3) : "");
      break;
    case 215:
      SetState(ftpReady);
      SetState(ftpQuerying);
      SendCommand("PWD");
      break;
    case 220:
      SendUser();
      break;
    case 221:
      CloseAll();
      break;
    case 225:
      SetState(ftpReady);
      break;
    case 226:
      if (state_ == ftpIdle) {
        Failure(code, text);
      } else if (state_ == ftpQuerying) {
        SetState(ftpReady);
      } else if (state_ == ftpStoring) {
        StoreConfirmed();
      }
      break;
    case 227:
      OpenPassiveData(text);
      SendNextCommand();
      break;
    case 230:
      SetState(ftpReady);
      loggedOn_ = true;
      RaiseStatus(fscLogin, "");
      break;
    case 250:
      if (state_ == ftpStoring) {
        StoreConfirmed();
      } else {
        SetState(ftpReady);
        RaiseStatus(fscComplete, "");
      }
      break;
    case 257: {
      size_t open = text.find('"');
      size_t close = open == std::string::npos ? std::string::npos : text.find('"', open + 1);
      RaiseStatus(fscCurrentDir, close == std::string::npos
                                     ? std::string()
                                     : text.substr(open + 1, close - open - 1));
      break;
    }
    case 331:
      if (state_ != ftpQuerying) SendCommand("PASS " + password_);
      break;
    case 332:
      SendCommand("ACCT " + account_);
      break;
    case 350:
      SendNextCommand();
      break;
    case 421:
      SetState(ftpIdle);
      break;
    default:
      Failure(code, text);
  }
}

void TCustomFtpClient::SendUser() {
  if (!user_.empty()) {
    SendCommand("USER " + user_);
  } else {
    SetState(ftpReady);
    loggedOn_ = true;
    RaiseStatus(fscLogin, "");
  }
}

// ---- TLS log-on ------------------------------------------------------------------------------

void TCustomFtpClient::TlsReply(int code, const std::string& text) {
  std::string reply = ReplyCodeOf(text) == code ? text : std::to_string(code) + " " + text;
  while (!reply.empty() && (reply.back() == '\n' || reply.back() == '\r')) reply.pop_back();
  switch (tlsStep_) {
    case TlsStep::Greeting:
      if (code != 220) break;
      if (security_ == TFtpSecurity::ImplicitTls) {
        tlsStep_ = TlsStep::PbszSent;
        SendCommand("PBSZ 0");
      } else {
        tlsStep_ = TlsStep::AuthSent;
        SendCommand("AUTH TLS");
      }
      return;
    case TlsStep::AuthSent:
      if (code != 234) {
        LoginFailed(kTlsHandshakeError, "The server refused TLS: " + reply);
        return;
      }
      tlsStep_ = TlsStep::Handshake;
      StartTls(control_, tlsHost_);
      return;
    case TlsStep::PbszSent:
      if (code != 200) {
        LoginFailed(kTlsHandshakeError, "The server refused PBSZ 0: " + reply);
        return;
      }
      tlsStep_ = TlsStep::ProtSent;
      SendCommand("PROT P");
      return;
    case TlsStep::ProtSent:
      if (code != 200) {
        LoginFailed(kTlsHandshakeError, "The server refused protected data (PROT P): " + reply);
        return;
      }
      tlsStep_ = TlsStep::Done;
      SendUser();
      return;
    default:
      break;
  }
  // A reply out of turn (or a plain one while the handshake runs): nothing more is trusted.
  LoginFailed(kTlsHandshakeError, "Unexpected reply while setting up TLS: " + reply);
}

void TCustomFtpClient::ControlSecured() {
  if (tlsStep_ != TlsStep::Handshake) return;
  if (security_ == TFtpSecurity::ImplicitTls) {
    tlsStep_ = TlsStep::Greeting;
  } else {
    tlsStep_ = TlsStep::PbszSent;
    SendCommand("PBSZ 0");
  }
}

void TCustomFtpClient::LoginFailed(int code, const std::string& text) {
  loggedOn_ = false;
  ClearCommands();
  SetState(ftpIdle);
  tlsStep_ = TlsStep::Off;
  if (int control = control_; control >= 0) {
    control_ = -1;
    CloseConnection(control);
  }
  if (OnFtpLoginError) OnFtpLoginError(*this, code, text);
}

void TCustomFtpClient::Failure(int code, const std::string& text) {
  // A rejected store ends the transfer: nothing the data connection does can succeed now.
  if (state_ == ftpStoring) ReleaseTransfer();
  // A rejected log-on keeps LoggingIn: the server closes the connection next.
  if (state_ > ftpReady) SetState(ftpReady);
  if (OnFtpError) OnFtpError(*this, code, text);
}

void TCustomFtpClient::StoreConfirmed() {
  if (serverConfirmed_) return;  // a second positive reply (226 and 250) completes nothing more
  serverConfirmed_ = true;
  if (dataClosed_) PostStatus(fscTransferOK, std::to_string(byteCount_));
}

// ---- statuses --------------------------------------------------------------------------------

void TCustomFtpClient::PostStatus(TFtpStatusCode code, std::string info) {
  QMetaObject::invokeMethod(
      this,
      [this, code, info = std::move(info)] { Guard(-1, [&] { RaiseStatus(code, info, true); }); },
      Qt::QueuedConnection);
}

void TCustomFtpClient::RaiseStatus(TFtpStatusCode code, const std::string& info, bool posted) {
  // A status posted before the session ended (421, the control connection's close) must not
  // bring back a session that is gone.
  if (code > fscLogin && code != fscProgress && (!posted || state_ != ftpIdle)) SetState(ftpReady);
  if (code == fscTransferOK || code == fscDirList) ReleaseTransfer();
  if (OnFtpStatus) OnFtpStatus(*this, code, info);
}

// ---- data connection -------------------------------------------------------------------------

void TCustomFtpClient::ReleaseTransfer() {
  transfer_.reset();
  if (int handle = data_; handle >= 0) {
    data_ = -1;
    CloseConnection(handle);
  }
  if (int handle = listen_; handle >= 0) {
    listen_ = -1;
    CloseConnection(handle);
  }
}

void TCustomFtpClient::OpenPassiveData(const std::string& replyText) {
  PassiveAddress named = ReadPassiveReply(replyText);
  // Connect to the server we already talk to, whatever address the reply names: a reply must
  // not steer the client to another host, and servers behind NAT often name a private one.
  sockaddr_in peer = RemoteAddress(control_);
  peer.sin_port = htons(named.port);
  if (int old = data_; old >= 0) {
    data_ = -1;
    CloseConnection(old);
  }
  data_ = CreateConnection();
  SetIdleLimit(data_, TransferTimeout);
  try {
    if (named.port == 0) throw SocketError(EDESTADDRREQ, SocketErrorText(EDESTADDRREQ, "Connect"));
    ConnectTo(data_, peer);
  } catch (const SocketError& error) {
    DoSocketError(data_, error.code(), error.what());
  }
}

void TCustomFtpClient::DataConnected() {
  if (security_ == TFtpSecurity::None) {
    DataSecured();
    return;
  }
  // The file waits for the Secured event; the server takes only the control's session.
  try {
    StartTls(data_, tlsHost_, control_);
  } catch (const SocketError& error) {
    TransferFailed(error.code(), error.what());
  }
}

void TCustomFtpClient::DataSecured() {
  dataConnected_ = true;
  StartSending();
}

void TCustomFtpClient::StartSending() {
  if (state_ != ftpStoring || !transfer_ || sending_ || !dataConnected_ || !preliminaryReceived_ ||
      data_ < 0)
    return;
  sending_ = true;
  SendStream(data_, transfer_, true);
}

void TCustomFtpClient::DataClosed() {
  int handle = data_;
  data_ = -1;
  // One data connection carries the file; a later one (a second connect to the listening
  // socket, another 227) closing says nothing about it.
  if (state_ != ftpStoring || dataClosed_) return;
  byteCount_ = Counters(handle).PayloadSent;
  dataClosed_ = true;
  if (serverConfirmed_) PostStatus(fscTransferOK, std::to_string(byteCount_));
}

void TCustomFtpClient::DoAccept(int listenHandle) {
  int handle = -1;
  try {
    handle = Accept(listenHandle);
  } catch (const SocketError& error) {
    // The connection stays pending, so the next pass would fail the same way: stop listening.
    bool ours = listenHandle == listen_;
    if (ours) listen_ = -1;
    CloseConnection(listenHandle);
    if (!ours || state_ != ftpStoring) throw;
    TransferFailed(error.code(), error.what());
    return;
  }
  if (handle < 0) return;
  if (listenHandle != listen_) {
    CloseConnection(handle);
    return;
  }
  // One data connection at a time, and only from the server: whoever else reaches the
  // listening socket first would otherwise be sent the file.
  if (data_ >= 0 || control_ < 0 || !Exists(control_) ||
      RemoteAddress(handle).sin_addr.s_addr != RemoteAddress(control_).sin_addr.s_addr) {
    CloseConnection(handle);
    return;
  }
  data_ = handle;
  SetIdleLimit(data_, TransferTimeout);
  DataConnected();
}

// ---- socket notifications --------------------------------------------------------------------

void TCustomFtpClient::DoStateChange(int handle, TSockStateKind kind) {
  if (handle == control_ && control_ >= 0) {
    if (kind == TSockStateKind::Connected) {
      if (OnFtpConnected) OnFtpConnected(*this);
      if (security_ == TFtpSecurity::ImplicitTls && handle == control_ && Exists(handle))
        StartTls(handle, tlsHost_);
    } else if (kind == TSockStateKind::Secured) {
      ControlSecured();
    } else if (kind == TSockStateKind::Closed) {
      // After the replies already read, like the messages posted before it.
      QMetaObject::invokeMethod(
          this, [this, handle] { Guard(-1, [&] { ControlClosed(handle); }); },
          Qt::QueuedConnection);
    }
    return;
  }
  if (handle == data_ && data_ >= 0) {
    if (kind == TSockStateKind::Connected) {
      DataConnected();
    } else if (kind == TSockStateKind::Secured) {
      DataSecured();
    } else if (kind == TSockStateKind::Closed) {
      DataClosed();
    } else if (kind == TSockStateKind::Activity && state_ == ftpStoring) {
      byteCount_ = Counters(handle).PayloadSent;
      PostStatus(fscProgress, std::to_string(byteCount_));
    }
  }
}

void TCustomFtpClient::ControlClosed(int handle) {
  if (handle != control_) return;
  ReleaseTransfer();
  loggedOn_ = false;
  ClearCommands();
  assembler_.Reset();
  SetState(ftpIdle);
  PostStatus(fscClose, "");
  control_ = -1;
  if (OnFtpDisconnected) OnFtpDisconnected(*this);
}

void TCustomFtpClient::DoLineReceived(int handle, const std::string& line) {
  if (handle != control_) return;
  Post([this, line] { HandleReplyLine(line); });
}

void TCustomFtpClient::DoSocketError(int handle, int code, const std::string& text) {
  if (state_ == ftpLoggingIn) {
    LoginFailed(code, text);
    return;
  }
  if (handle >= 0 && handle == data_ && state_ == ftpStoring) {
    TransferFailed(code, text);
    return;
  }
  TCustomMultiClient::DoSocketError(handle, code, text);
}

void TCustomFtpClient::TransferFailed(int code, const std::string& text) {
  // The file cannot have reached the server whole, whatever the server says next.
  ClearCommands();
  ReleaseTransfer();
  SetState(ftpReady);
  if (OnFtpError) OnFtpError(*this, code, IsTlsError(code) ? "Data connection: " + text : text);
}

void TCustomFtpClient::DoIdleLimit(int handle, bool& reset) {
  if (handle == data_ && data_ >= 0) {
    ClearCommands();
    SetState(ftpReady);
    ReleaseTransfer();
    PostStatus(fscTimeout, "");
    return;
  }
  TCustomMultiClient::DoIdleLimit(handle, reset);
}

}  // namespace lumivex::ftp
