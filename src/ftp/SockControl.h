// Event-driven TCP connections for the FTP client: non-blocking POSIX sockets watched by
// QSocketNotifier on the GUI thread, a 500 ms idle tick, and queued calls for deferred work.
// Only the host-name lookup blocks.
// A connection can be switched to TLS (StartTls); from then on every byte goes through OpenSSL,
// which stays behind TlsLayer.h, and the layer's users see the same lines and streams.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <netinet/in.h>

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <istream>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class QSocketNotifier;

namespace lumivex::ftp {

// A socket error: the system's error number and the layer's text for it.
class SocketError : public std::runtime_error {
 public:
  SocketError(int code, const std::string& text) : std::runtime_error(text), code_(code) {}
  int code() const { return code_; }

 private:
  int code_;
};

inline constexpr int kLineTooLongError = 8001;
// TLS failures: the handshake (a refusal, a close, a protocol error), the server's certificate,
// and anything after the handshake. Their texts say why.
inline constexpr int kTlsHandshakeError = 8101;
inline constexpr int kTlsCertificateError = 8102;
inline constexpr int kTlsError = 8103;
inline bool IsTlsError(int code) { return code >= kTlsHandshakeError && code <= kTlsError; }
inline constexpr size_t kReceiveBufferSize = 8192;
inline constexpr size_t kMaxLineBuf = 1048576;
inline constexpr size_t kStreamBlockSize = 1460;
// Stream blocks are read and handed to the kernel this many at a time, one system call for
// them all; they are still counted block by block as each goes out whole.
inline constexpr size_t kSendBatchBlocks = 45;

// "WinSock Error (%d): %s, on API '%s'" with the code, its description and the API name.
std::string SocketErrorText(int code, std::string_view api);
// The description of a system error number (or of a name-lookup failure, negative codes).
std::string SocketErrorDescription(int code);

enum class TReceiveMode { rmLine, rmStream, rmAny };
enum class TLineTerminator { ltNone, ltCR, ltLF, ltCRLF, ltOther };

// Defaults applied to every new connection. The kernel's socket buffer sizes are left alone:
// pinning them to small values would throttle every transfer.
struct TDataInits {
  TReceiveMode ReceiveMode = TReceiveMode::rmLine;
  TLineTerminator LineTerminator = TLineTerminator::ltCRLF;
  char LineTermChar = 10;
  bool StripLineTerminator = false;
  int FixedLineLength = 80;
  int IdleTimeout = 0;
};

// Byte counters of one connection, cleared when a connect starts.
struct TSockCounters {
  uint64_t BytesReceived = 0;    // everything read from the socket
  uint64_t BytesSent = 0;        // everything written to the socket
  uint64_t PayloadReceived = 0;  // bytes read, as counted for the owner
  uint64_t PayloadSent = 0;      // payload of completely sent blocks
  uint64_t LinesReceived = 0;
  uint64_t ItemsSent = 0;
  uint64_t Connects = 0;
  uint64_t Reads = 0;
};

// Secured: the TLS handshake StartTls began has completed.
enum class TSockStateKind { Connected = 0, Closed = 1, Activity = 2, Secured = 3 };

class TSockControl;
class TlsStream;

// One socket and everything the layer keeps for it.
class TDataSocket {
 public:
  TDataSocket(TSockControl& owner, int handle, const TDataInits& inits);
  ~TDataSocket();
  TDataSocket(const TDataSocket&) = delete;
  TDataSocket& operator=(const TDataSocket&) = delete;

  int Handle() const { return handle_; }
  bool Connected() const { return connected_; }
  const TSockCounters& Counters() const { return counters_; }
  const sockaddr_in& LocalAddress() const { return local_; }
  const sockaddr_in& RemoteAddress() const { return remote_; }

 private:
  friend class TSockControl;
  friend class TMultiSockControl;
  friend class TCustomMultiClient;

  struct SendItem {
    std::string buffer;  // the current batch of stream blocks, or the whole text
    size_t sent = 0;
    size_t credited = 0;  // bytes of the buffer already added to the payload counter
    size_t payloadLength = 0;
    std::shared_ptr<std::istream> stream;
    bool closeAfter = false;
    bool notCounted = false;
    bool lastBlock = false;  // the buffer holds the stream's final block
  };

  void WatchRead(bool on);
  void WatchWrite(bool on);

  TSockControl& owner_;
  int handle_;
  bool connected_ = false;
  bool connecting_ = false;
  bool writable_ = false;
  bool listening_ = false;
  bool dead_ = false;    // out of the table, waiting to be freed
  bool closed_ = false;  // the descriptor has been closed

  std::array<char, kReceiveBufferSize> buffer_{};
  size_t fill_ = 0;
  size_t consumed_ = 0;
  std::string pendingLine_;

  TReceiveMode receiveMode_;
  TLineTerminator lineTerminator_;
  char lineTermChar_;
  bool stripLineTerminator_;
  size_t fixedLineLength_;

  int idleCounter_ = 0;
  int idleLimit_ = 0;
  bool activity_ = false;

  std::deque<SendItem> queue_;
  TSockCounters counters_;
  // Once StartTls ran, every byte goes through it; nothing queued is sent before the handshake.
  std::unique_ptr<TlsStream> tls_;
  bool handshaking_ = false;
  sockaddr_in local_{};
  sockaddr_in remote_{};

  QSocketNotifier* readNotifier_ = nullptr;
  QSocketNotifier* writeNotifier_ = nullptr;
};

// The component: the notification loop, the idle tick and error reporting.
class TSockControl : public QObject {
 public:
  explicit TSockControl(QObject* parent = nullptr);
  ~TSockControl() override;

  TDataInits DataInits;

  // Socket errors found while a notification is handled (ErrCode, ErrStr), and idle limits.
  std::function<void(TSockControl& sender, int socket, int errCode, const std::string& errStr)>
      OnError;
  std::function<void(TSockControl& sender, int socket, bool& reset)> OnIdleTimeout;
  // Any other failure inside a notification: the application's standard error report.
  std::function<void(const std::exception& error)> OnException;

 protected:
  // Notifications to the owner; the FTP client overrides them.
  virtual void DoStateChange(int handle, TSockStateKind kind);
  virtual void DoLineReceived(int handle, const std::string& line);
  virtual void DoSocketError(int handle, int code, const std::string& text);
  virtual void DoIdleLimit(int handle, bool& reset);
  virtual void DoAccept(int listenHandle);

  // Runs a notification body; socket errors become DoSocketError, others OnException.
  void Guard(int handle, const std::function<void()>& body);
  void ReportException(const std::exception& error);
  // True while a notification runs, also when a handler opened a nested event loop (a modal
  // notice): connection objects on its stack must not be freed until it returns.
  bool InNotification() const { return notifying_ > 0; }
  virtual void NotificationsDone() {}

  // Called by the layer itself.
  virtual void IdleTick(int elapsedMs) = 0;

  friend class TDataSocket;
  virtual void HandleRead(TDataSocket& socket) = 0;
  virtual void HandleWrite(TDataSocket& socket) = 0;

 private:
  QTimer tick_;
  QElapsedTimer sinceTick_;
  int notifying_ = 0;
};

// Adds the connection table, line delivery, the send queue, counters and closing.
class TMultiSockControl : public TSockControl {
 public:
  explicit TMultiSockControl(QObject* parent = nullptr);
  ~TMultiSockControl() override;

  void SendText(int handle, std::string_view text, bool closeAfter = false);
  void SendStream(int handle, std::shared_ptr<std::istream> stream, bool closeAfter = false);
  void SetIdleLimit(int handle, int milliseconds);
  TSockCounters Counters(int handle) const;
  sockaddr_in LocalAddress(int handle) const;
  sockaddr_in RemoteAddress(int handle) const;
  bool Exists(int handle) const;
  size_t ConnectionCount() const { return index_.size(); }

  // Starts the client side of TLS on a connected socket; kind Secured reports its end, and a
  // failure comes as a socket error. The certificate must name `host`. With `sessionFrom`, the
  // handshake offers that connection's TLS session for reuse.
  void StartTls(int handle, const std::string& host, int sessionFrom = -1);
  bool Secured(int handle) const;
  bool SessionResumed(int handle) const;

  // Closes (reporting kind 1 for connected sockets) and forgets one or every connection.
  void CloseConnection(int handle);
  void CloseAll();

 protected:
  TDataSocket& Find(int handle) const;  // "Socket not assigned" when absent
  TDataSocket* FindOrNull(int handle) const;
  TDataSocket& Register(int handle);
  void Forget(TDataSocket& socket);  // out of the table now, freed from the event loop
  void Shut(TDataSocket& socket);    // the closing steps; reports kind 1 when it was connected
  void SendQueued(TDataSocket& socket);
  void DeliverLines(TDataSocket& socket, bool final);
  void Receive(TDataSocket& socket);

  void HandleRead(TDataSocket& socket) override;
  void HandleWrite(TDataSocket& socket) override;
  void IdleTick(int elapsedMs) override;
  void NotificationsDone() override;

 private:
  void ReadNextBatch(TDataSocket::SendItem& item);
  void SchedulePurge();
  void ContinueHandshake(TDataSocket& socket);
  // send and recv, through TLS once it is started.
  static ssize_t SendSome(TDataSocket& socket, const char* data, size_t size, int flags);
  static ssize_t ReceiveSome(TDataSocket& socket, char* data, size_t size);

  std::vector<std::unique_ptr<TDataSocket>> order_;  // creation order
  std::unordered_map<int, TDataSocket*> index_;
  std::vector<std::unique_ptr<TDataSocket>> dead_;
  bool purgePosted_ = false;
  // Closed TLS connections whose peer has not closed yet, by a serial number: see Linger.
  void Linger(int handle);
  void EndLinger(uint64_t serial);
  std::unordered_map<uint64_t, std::pair<int, QSocketNotifier*>> lingering_;
  uint64_t lingerSerial_ = 0;
};

// Outgoing connections and the one listening socket of active-mode transfers.
class TCustomMultiClient : public TMultiSockControl {
 public:
  explicit TCustomMultiClient(QObject* parent = nullptr);

  int CreateConnection();
  // Parses the address text, resolves the host and starts a non-blocking connect.
  void Connect(int handle, std::string_view addressText, uint16_t defaultPort);
  // Starts a non-blocking connect to a known IPv4 address.
  void ConnectTo(int handle, const sockaddr_in& address);
  int Listen(const sockaddr_in& localAddress);  // port 0: the system picks one
  int Accept(int listenHandle);                 // -1 when no connection is waiting

 protected:
  void HandleWrite(TDataSocket& socket) override;
  void HandleRead(TDataSocket& socket) override;
};

}  // namespace lumivex::ftp
