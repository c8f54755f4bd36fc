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

  // Refused (false) unless Idle. Texts with CR or LF are refused with an error.
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
  void SetState(TFtpState state);  // the only place that changes the state
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
  void StartSending();
  void DataClosed();
  void TransferFailed(int code, const std::string& text);  // a data connection failure
  void StoreConfirmed();
  void ControlClosed(int handle);
  void Post(std::function<void()> body);

  TFtpState state_ = ftpIdle;
  bool passiveMode_ = true;
  bool loggedOn_ = false;
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
