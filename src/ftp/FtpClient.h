// The FTP client: log-on, storing one file in passive or active mode, log-off. Every operation
// returns at once; progress comes through the events, always from the event loop.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ftp/FtpReply.h"
#include "ftp/SockControl.h"

namespace lumivex::ftp {

enum TFtpState : uint8_t {
  ftpIdle = 0,
  ftpLoggingIn = 1,
  ftpReady = 2,
  ftpStoring = 5,
  ftpQuerying = 7,
};

enum TFtpStatusCode {
  fscClose = 0,
  fscOpen,
  fscLogin,
  fscLogout,
  fscComplete,
  fscCurrentDir,
  fscSystem,
  fscDirList,
  fscInfo,
  fscProgress,
  fscTransferOK,
  fscTimeout,
};
const char* StatusName(TFtpStatusCode code);

enum TFtpFileType { ftAscii, ftBinary };

// What the server text's scheme asks for: "ftpes://" TLS after AUTH TLS on the plain control
// connection, "ftps://" TLS from the first byte, anything else plain FTP.
enum class TFtpSecurity : uint8_t { None, ExplicitTls, ImplicitTls };
TFtpSecurity SecurityOfScheme(std::string_view scheme);
inline constexpr uint16_t kImplicitTlsPort = 990;

inline constexpr size_t kCommandStackSize = 128;

class TCustomFtpClient : public TCustomMultiClient {
 public:
  explicit TCustomFtpClient(QObject* parent = nullptr);
  ~TCustomFtpClient() override;

  uint16_t DefaultPort = 21;
  TFtpFileType FileType = ftBinary;
  int IdleTimeout = 0;      // control connection, milliseconds, 0 = none
  int TransferTimeout = 0;  // data connection, milliseconds, 0 = none

  bool PassiveMode() const { return passiveMode_; }
  // Changes only while Idle, LoggingIn or Ready; returns whether it did.
  bool SetPassiveMode(bool on);

  // Refused (false) unless Idle. Texts with CR or LF are refused with an error. The server
  // text's scheme chooses TLS; implicit TLS uses port 990 where DefaultPort is the plain 21.
  // With TLS nothing goes in clear: a refusal or a failed handshake ends the log-on before the
  // user name is sent, and every data connection is secured with the control connection's
  // session before the file flows.
  bool Login(std::string_view server, std::string_view user, std::string_view password,
             std::string_view account);
  // Refused (false) unless Ready, the remote path is not empty and the local file exists.
  // storeMode: 0 APPE, 1 STOR, 2 STOU, other: STOR after REST restartPosition.
  bool Store(std::string_view remotePath, const std::string& localFile, int64_t restartPosition,
             uint8_t storeMode);
  bool Logout();

  TFtpState State() const { return state_; }
  bool LoggedOn() const { return loggedOn_; }
  const std::string& Server() const { return server_; }
  const std::string& User() const { return user_; }
  uint64_t ByteCount() const { return byteCount_; }
  TFtpSecurity Security() const { return security_; }
  int ControlConnection() const { return control_; }
  int DataConnection() const { return data_; }

  std::function<void(TCustomFtpClient& sender)> OnFtpConnected;
  std::function<void(TCustomFtpClient& sender)> OnFtpDisconnected;
  std::function<void(TCustomFtpClient& sender, TFtpStatusCode code, const std::string& info)>
      OnFtpStatus;
  std::function<void(TCustomFtpClient& sender, int replyCode, const std::string& reply)> OnFtpReply;
  std::function<void(TCustomFtpClient& sender, int errorCode, const std::string& error)> OnFtpError;
  std::function<void(TCustomFtpClient& sender, int errorCode, const std::string& error)>
      OnFtpLoginError;
  // Every command line as it is queued, without CR LF (for diagnostics).
  std::function<void(TCustomFtpClient& sender, const std::string& command)> OnFtpCommand;

  // The posted handling of one control-connection line: the reply assembler, then the reply
  // table. Public so that a test or fuzzer can drive the protocol without a server.
  void HandleReplyLine(const std::string& line);

 protected:
  void DoStateChange(int handle, TSockStateKind kind) override;
  void DoLineReceived(int handle, const std::string& line) override;
  void DoSocketError(int handle, int code, const std::string& text) override;
  void DoIdleLimit(int handle, bool& reset) override;
  void DoAccept(int listenHandle) override;

 private:
  // The log-on's TLS steps, in order; Done (or Off for plain FTP) lets the reply table run.
  enum class TlsStep : uint8_t { Off, Handshake, Greeting, AuthSent, PbszSent, ProtSent, Done };

  void SetState(TFtpState state);  // the only place that changes the state
  void SendUser();
  void TlsReply(int code, const std::string& text);
  void ControlSecured();
  void LoginFailed(int code, const std::string& text);
  void SendCommand(const std::string& text);
  void PushCommand(std::string text);
  void SendNextCommand();
  void ClearCommands() { commands_.clear(); }

  void HandleReply(int code, const std::string& text);
  void Failure(int code, const std::string& text);
  void PostStatus(TFtpStatusCode code, std::string info);
  void RaiseStatus(TFtpStatusCode code, const std::string& info, bool posted = false);

  void ReleaseTransfer();
  void OpenPassiveData(const std::string& replyText);
  void DataConnected();
  void DataSecured();
  void StartSending();
  void DataClosed();
  void TransferFailed(int code, const std::string& text);  // a data connection failure
  void StoreConfirmed();
  void ControlClosed(int handle);
  void Post(std::function<void()> body);

  TFtpState state_ = ftpIdle;
  bool passiveMode_ = true;
  bool loggedOn_ = false;
  TFtpSecurity security_ = TFtpSecurity::None;
  TlsStep tlsStep_ = TlsStep::Off;
  std::string tlsHost_;  // the name the server's certificate must carry
  int control_ = -1;
  int data_ = -1;
  int listen_ = -1;

  std::string server_, user_, password_, account_;
  std::string remotePath_, localFile_;

  std::vector<std::string> commands_;  // last in, first out
  TFtpReplyAssembler assembler_;

  std::shared_ptr<std::istream> transfer_;
  uint64_t byteCount_ = 0;
  // A store succeeds only when the data connection has closed and the server confirmed it.
  bool dataClosed_ = false;
  bool serverConfirmed_ = false;
  // The file flows once the data connection is open and the server has answered 125 or 150.
  bool dataConnected_ = false;
  bool preliminaryReceived_ = false;
  bool sending_ = false;
};

}  // namespace lumivex::ftp
