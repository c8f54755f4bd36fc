#include "ftp/SockControl.h"

#include "ftp/AddressReader.h"
#include "ftp/TlsLayer.h"

#include <QPointer>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

namespace lumivex::ftp {

std::string SocketErrorDescription(int code) {
  if (code < 0) return gai_strerror(code);
  return std::strerror(code);
}

std::string SocketErrorText(int code, std::string_view api) {
  std::string description = SocketErrorDescription(code);
  std::string api_(api);
  int size = std::snprintf(nullptr, 0, "WinSock Error (%d): %s, on API '%s'", code,
                           description.c_str(), api_.c_str());
  std::string out(static_cast<size_t>(size), '\0');
  std::snprintf(out.data(), out.size() + 1, "WinSock Error (%d): %s, on API '%s'", code,
                description.c_str(), api_.c_str());
  return out;
}

// ---------------------------------------------------------------------------------------------

TDataSocket::TDataSocket(TSockControl& owner, int handle, const TDataInits& inits)
    : owner_(owner),
      handle_(handle),
      receiveMode_(inits.ReceiveMode),
      lineTerminator_(inits.LineTerminator),
      lineTermChar_(inits.LineTermChar),
      stripLineTerminator_(inits.StripLineTerminator),
      fixedLineLength_(static_cast<size_t>(
          std::clamp(inits.FixedLineLength, 1, static_cast<int>(kReceiveBufferSize)))),
      idleLimit_(inits.IdleTimeout) {
  readNotifier_ = new QSocketNotifier(handle, QSocketNotifier::Read, &owner);
  writeNotifier_ = new QSocketNotifier(handle, QSocketNotifier::Write, &owner);
  readNotifier_->setEnabled(false);
  writeNotifier_->setEnabled(false);
  QObject::connect(readNotifier_, &QSocketNotifier::activated, &owner,
                   [this] { owner_.Guard(handle_, [this] { owner_.HandleRead(*this); }); });
  QObject::connect(writeNotifier_, &QSocketNotifier::activated, &owner,
                   [this] { owner_.Guard(handle_, [this] { owner_.HandleWrite(*this); }); });
}

TDataSocket::~TDataSocket() {
  for (QSocketNotifier* notifier : {readNotifier_, writeNotifier_}) {
    notifier->setEnabled(false);
    notifier->disconnect();
    notifier->deleteLater();
  }
  if (handle_ >= 0 && !closed_) ::close(handle_);
}

void TDataSocket::WatchRead(bool on) {
  if (readNotifier_->isEnabled() != on) readNotifier_->setEnabled(on);
}
void TDataSocket::WatchWrite(bool on) {
  if (writeNotifier_->isEnabled() != on) writeNotifier_->setEnabled(on);
}

// ---------------------------------------------------------------------------------------------

TSockControl::TSockControl(QObject* parent) : QObject(parent) {
  tick_.setInterval(500);
  QObject::connect(&tick_, &QTimer::timeout, this, [this] {
    int elapsed = static_cast<int>(std::clamp<qint64>(sinceTick_.restart(), 0, INT_MAX));
    Guard(-1, [this, elapsed] { IdleTick(elapsed); });
  });
  sinceTick_.start();
  tick_.start();
}

TSockControl::~TSockControl() = default;

void TSockControl::DoStateChange(int, TSockStateKind) {}
void TSockControl::DoLineReceived(int, const std::string&) {}
void TSockControl::DoSocketError(int handle, int code, const std::string& text) {
  if (OnError) OnError(*this, handle, code, text);
}
void TSockControl::DoIdleLimit(int handle, bool& reset) {
  if (OnIdleTimeout) OnIdleTimeout(*this, handle, reset);
}
void TSockControl::DoAccept(int) {}

void TSockControl::ReportException(const std::exception& error) {
  if (OnException) {
    OnException(error);
  } else {
    std::fprintf(stderr, "%s\n", error.what());
  }
}

void TSockControl::Guard(int handle, const std::function<void()>& body) {
  // Counts nested notifications; a handler may also have deleted the whole component.
  struct Depth {
    QPointer<TSockControl> control;
    explicit Depth(TSockControl* c) : control(c) { ++control->notifying_; }
    ~Depth() {
      if (control && --control->notifying_ == 0) control->NotificationsDone();
    }
  } depth(this);
  try {
    body();
  } catch (const SocketError& error) {
    try {
      DoSocketError(handle, error.code(), error.what());
    } catch (const std::exception& inner) {
      ReportException(inner);
    }
  } catch (const std::exception& error) {
    ReportException(error);
  }
}

// ---------------------------------------------------------------------------------------------

TMultiSockControl::TMultiSockControl(QObject* parent) : TSockControl(parent) {}

TMultiSockControl::~TMultiSockControl() {
  index_.clear();
  order_.clear();
  dead_.clear();
  for (auto& [serial, entry] : lingering_) ::close(entry.first);
}

// A TLS peer answers the close notification (and may still send a session ticket it owed):
// closing the descriptor before that arrives would make the kernel answer with a reset, and a
// reset throws away whatever the peer has not read yet, the end of an upload included. So the
// descriptor stays open, its input read and dropped, until the peer closes or ten seconds pass.
void TMultiSockControl::Linger(int handle) {
  uint64_t serial = ++lingerSerial_;
  auto* notifier = new QSocketNotifier(handle, QSocketNotifier::Read, this);
  lingering_[serial] = {handle, notifier};
  QObject::connect(notifier, &QSocketNotifier::activated, this, [this, serial, handle] {
    std::array<char, 4096> scratch{};
    for (;;) {
      ssize_t n = ::recv(handle, scratch.data(), scratch.size(), 0);
      if (n > 0) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
      if (n < 0 && errno == EINTR) continue;
      EndLinger(serial);
      return;
    }
  });
  QTimer::singleShot(10000, this, [this, serial] { EndLinger(serial); });
}

void TMultiSockControl::EndLinger(uint64_t serial) {
  auto it = lingering_.find(serial);
  if (it == lingering_.end()) return;
  it->second.second->setEnabled(false);
  it->second.second->disconnect();
  it->second.second->deleteLater();
  ::close(it->second.first);
  lingering_.erase(it);
}

TDataSocket* TMultiSockControl::FindOrNull(int handle) const {
  auto it = index_.find(handle);
  return it == index_.end() ? nullptr : it->second;
}

TDataSocket& TMultiSockControl::Find(int handle) const {
  TDataSocket* socket = FindOrNull(handle);
  if (!socket) throw SocketError(EBADF, "Socket not assigned");
  return *socket;
}

bool TMultiSockControl::Exists(int handle) const { return FindOrNull(handle) != nullptr; }

TDataSocket& TMultiSockControl::Register(int handle) {
  auto socket = std::make_unique<TDataSocket>(*this, handle, DataInits);
  TDataSocket& ref = *socket;
  order_.push_back(std::move(socket));
  index_[handle] = &ref;
  return ref;
}

void TMultiSockControl::Forget(TDataSocket& socket) {
  if (socket.dead_) return;
  socket.dead_ = true;
  socket.WatchRead(false);
  socket.WatchWrite(false);
  index_.erase(socket.handle_);
  auto it = std::find_if(order_.begin(), order_.end(),
                         [&](const auto& entry) { return entry.get() == &socket; });
  if (it == order_.end()) return;
  dead_.push_back(std::move(*it));
  order_.erase(it);
  SchedulePurge();
}

// The object may still be on the caller's stack: free it from the event loop, once no
// notification is running.
void TMultiSockControl::SchedulePurge() {
  if (purgePosted_) return;
  purgePosted_ = true;
  QMetaObject::invokeMethod(
      this,
      [this] {
        purgePosted_ = false;
        if (!InNotification()) dead_.clear();
      },
      Qt::QueuedConnection);
}

void TMultiSockControl::NotificationsDone() {
  if (!dead_.empty()) SchedulePurge();
}

TSockCounters TMultiSockControl::Counters(int handle) const { return Find(handle).counters_; }
sockaddr_in TMultiSockControl::LocalAddress(int handle) const { return Find(handle).local_; }
sockaddr_in TMultiSockControl::RemoteAddress(int handle) const { return Find(handle).remote_; }

void TMultiSockControl::SetIdleLimit(int handle, int milliseconds) {
  Find(handle).idleLimit_ = std::max(0, milliseconds);
}

void TMultiSockControl::SendText(int handle, std::string_view text, bool closeAfter) {
  TDataSocket& socket = Find(handle);
  TDataSocket::SendItem item;
  item.buffer = std::string(text);
  item.payloadLength = text.size();
  item.closeAfter = closeAfter;
  item.lastBlock = true;
  socket.queue_.push_back(std::move(item));
  if (socket.queue_.size() == 1 && socket.writable_) SendQueued(socket);
}

void TMultiSockControl::SendStream(int handle, std::shared_ptr<std::istream> stream,
                                   bool closeAfter) {
  TDataSocket& socket = Find(handle);
  TDataSocket::SendItem item;
  item.stream = std::move(stream);
  item.closeAfter = closeAfter;
  ReadNextBatch(item);
  socket.queue_.push_back(std::move(item));
  if (socket.queue_.size() == 1 && socket.writable_) SendQueued(socket);
}

void TMultiSockControl::ReadNextBatch(TDataSocket::SendItem& item) {
  const size_t batch = kStreamBlockSize * kSendBatchBlocks;
  item.buffer.resize(batch);
  size_t got = 0;
  while (got < batch && item.stream && item.stream->good()) {
    item.stream->read(item.buffer.data() + got, static_cast<std::streamsize>(batch - got));
    got += static_cast<size_t>(item.stream->gcount());
  }
  item.buffer.resize(got);
  item.sent = 0;
  item.credited = 0;
  item.payloadLength = got;
  // A block shorter than a full one, even an empty one, ends the stream.
  item.lastBlock = got < batch;
}

ssize_t TMultiSockControl::SendSome(TDataSocket& socket, const char* data, size_t size, int flags) {
  if (!socket.tls_) return ::send(socket.handle_, data, size, flags);
  TlsStream::Want want = TlsStream::Want::Nothing;
  return socket.tls_->Write(data, size, want);
}

ssize_t TMultiSockControl::ReceiveSome(TDataSocket& socket, char* data, size_t size) {
  if (!socket.tls_) return ::recv(socket.handle_, data, size, 0);
  TlsStream::Want want = TlsStream::Want::Nothing;
  return socket.tls_->Read(data, size, want);
}

void TMultiSockControl::SendQueued(TDataSocket& socket) {
  if (socket.handshaking_) return;
  while (!socket.queue_.empty() && socket.writable_ && !socket.closed_) {
    TDataSocket::SendItem& item = socket.queue_.front();
    if (item.sent < item.buffer.size()) {
      int flags = MSG_NOSIGNAL | (item.lastBlock ? 0 : MSG_MORE);
      ssize_t n =
          SendSome(socket, item.buffer.data() + item.sent, item.buffer.size() - item.sent, flags);
      if (n < 0) {
        int error = errno;
        if (error == EINTR) continue;
        if (error == EAGAIN || error == EWOULDBLOCK) {
          socket.writable_ = false;
          socket.WatchWrite(true);
          return;
        }
        throw SocketError(error, SocketErrorText(error, "send"));
      }
      item.sent += static_cast<size_t>(n);
      socket.counters_.BytesSent += static_cast<uint64_t>(n);
    }
    // Count the blocks that have gone out whole.
    bool whole = item.sent == item.buffer.size();
    size_t complete = whole         ? item.sent
                      : item.stream ? item.sent / kStreamBlockSize * kStreamBlockSize
                                    : 0;
    if (complete > item.credited || (whole && item.credited == 0)) {
      if (!item.notCounted) socket.counters_.PayloadSent += complete - item.credited;
      item.credited = complete;
      socket.activity_ = true;
      socket.idleCounter_ = 0;
    }
    if (!whole) continue;
    if (item.stream && !item.lastBlock) {
      ReadNextBatch(item);
      continue;
    }
    bool closeAfter = item.closeAfter;
    socket.counters_.ItemsSent++;
    socket.queue_.pop_front();
    if (closeAfter) {
      Shut(socket);
      Forget(socket);
      return;
    }
  }
  if (socket.queue_.empty() && !socket.closed_) socket.WatchWrite(false);
}

void TMultiSockControl::Receive(TDataSocket& socket) {
  if (socket.fill_ == socket.buffer_.size()) DeliverLines(socket, false);
  size_t room = socket.buffer_.size() - socket.fill_;
  if (room == 0) return;  // a zero-length read would look like the peer's close
  ssize_t n = ReceiveSome(socket, socket.buffer_.data() + socket.fill_, room);
  if (n > 0) {
    socket.fill_ += static_cast<size_t>(n);
    socket.counters_.BytesReceived += static_cast<uint64_t>(n);
    socket.counters_.PayloadReceived += static_cast<uint64_t>(n);
    socket.counters_.Reads++;
    socket.activity_ = true;
    socket.idleCounter_ = 0;
    DeliverLines(socket, false);
    // TLS may hold input the socket will not signal again.
    if (socket.tls_ && !socket.dead_ && !socket.closed_ && socket.tls_->HasPending())
      Receive(socket);
    return;
  }
  if (n == 0) {  // the peer closed
    if (socket.connected_) Shut(socket);
    Forget(socket);
    return;
  }
  int error = errno;
  if (error == EAGAIN || error == EWOULDBLOCK || error == ENOTCONN || error == EINTR) return;
  // A reset is the close event with an error: report it, then close.
  DoSocketError(socket.handle_, error, SocketErrorText(error, "Recv"));
  if (!socket.dead_) {
    Shut(socket);
    Forget(socket);
  }
}

void TMultiSockControl::DeliverLines(TDataSocket& socket, bool final) {
  auto& buf = socket.buffer_;
  for (;;) {
    if (socket.dead_ && !final) return;
    const char* unread = buf.data() + socket.consumed_;
    size_t length = socket.fill_ - socket.consumed_;
    size_t lineEnd = 0;  // bytes of the unread part that make the line, 0 = none found
    switch (socket.receiveMode_ == TReceiveMode::rmLine ? socket.lineTerminator_
                                                        : TLineTerminator::ltNone) {
      case TLineTerminator::ltCRLF:
        for (size_t i = 1; i < length; ++i) {
          if (unread[i] == '\n' && unread[i - 1] == '\r') {
            lineEnd = i + 1;
            break;
          }
        }
        break;
      case TLineTerminator::ltCR:
      case TLineTerminator::ltLF:
      case TLineTerminator::ltOther: {
        char term = socket.lineTerminator_ == TLineTerminator::ltCR   ? '\r'
                    : socket.lineTerminator_ == TLineTerminator::ltLF ? '\n'
                                                                      : socket.lineTermChar_;
        if (const void* at = std::memchr(unread, term, length))
          lineEnd = static_cast<size_t>(static_cast<const char*>(at) - unread) + 1;
        break;
      }
      case TLineTerminator::ltNone:
        if (socket.receiveMode_ != TReceiveMode::rmLine) {
          lineEnd = length;
        } else if (socket.pendingLine_.size() + length >= socket.fixedLineLength_) {
          lineEnd = socket.fixedLineLength_ - socket.pendingLine_.size();
        }
        break;
    }
    if (lineEnd == 0) {
      if (final && (length > 0 || !socket.pendingLine_.empty())) {
        lineEnd = length;  // the last, unterminated line
      } else {
        if (socket.fill_ == buf.size() && length > 2) {
          // Keep the last two bytes so that a CR LF split across reads is still found.
          socket.pendingLine_.append(unread, length - 2);
          socket.consumed_ += length - 2;
          if (socket.pendingLine_.size() > kMaxLineBuf) {
            socket.pendingLine_.clear();
            socket.pendingLine_.shrink_to_fit();
            DoSocketError(socket.handle_, kLineTooLongError,
                          "Received line too long, exceeds MaxLineBuf");
          }
        }
        break;
      }
    }
    std::string line = std::move(socket.pendingLine_);
    socket.pendingLine_.clear();
    line.append(unread, lineEnd);
    socket.consumed_ += lineEnd;
    if (socket.stripLineTerminator_ && socket.receiveMode_ == TReceiveMode::rmLine) {
      if (socket.lineTerminator_ == TLineTerminator::ltCRLF && line.size() >= 2 &&
          line.ends_with("\r\n")) {
        line.resize(line.size() - 2);
      } else if (socket.lineTerminator_ != TLineTerminator::ltNone && !line.empty() &&
                 socket.lineTerminator_ != TLineTerminator::ltCRLF) {
        line.pop_back();
      }
    }
    socket.counters_.LinesReceived++;
    DoLineReceived(socket.handle_, line);
    if (final && socket.consumed_ == socket.fill_ && socket.pendingLine_.empty()) break;
  }
  if (socket.consumed_ == socket.fill_) {
    socket.consumed_ = socket.fill_ = 0;
  } else if (socket.fill_ > 4096 || socket.fill_ == buf.size()) {
    std::memmove(buf.data(), buf.data() + socket.consumed_, socket.fill_ - socket.consumed_);
    socket.fill_ -= socket.consumed_;
    socket.consumed_ = 0;
  }
}

void TMultiSockControl::Shut(TDataSocket& socket) {
  if (socket.closed_) return;
  bool wasConnected = socket.connected_;
  socket.connected_ = false;
  socket.connecting_ = false;
  socket.writable_ = false;
  socket.queue_.clear();
  socket.WatchRead(false);
  socket.WatchWrite(false);
  if (wasConnected) {
    if (socket.tls_) socket.tls_->Shutdown();
    ::shutdown(socket.handle_, SHUT_WR);
    // Whatever input is still waiting is delivered, a last unterminated line included.
    for (int rounds = 0; rounds < 1024; ++rounds) {
      if (socket.fill_ == socket.buffer_.size()) DeliverLines(socket, false);
      size_t room = socket.buffer_.size() - socket.fill_;
      if (room == 0) break;
      ssize_t n = 0;
      try {
        n = ReceiveSome(socket, socket.buffer_.data() + socket.fill_, room);
      } catch (const SocketError&) {
        break;  // a broken TLS stream has nothing more to deliver
      }
      if (n <= 0) break;
      socket.fill_ += static_cast<size_t>(n);
      socket.counters_.BytesReceived += static_cast<uint64_t>(n);
      socket.counters_.PayloadReceived += static_cast<uint64_t>(n);
      DeliverLines(socket, false);
    }
    DeliverLines(socket, true);
  }
  socket.closed_ = true;
  if (socket.tls_ && socket.tls_->Secured() && wasConnected) {
    Linger(socket.handle_);
  } else {
    ::close(socket.handle_);
  }
  if (wasConnected) DoStateChange(socket.handle_, TSockStateKind::Closed);
}

void TMultiSockControl::CloseConnection(int handle) {
  TDataSocket* socket = FindOrNull(handle);
  if (!socket) return;
  Shut(*socket);
  Forget(*socket);
}

void TMultiSockControl::CloseAll() {
  std::vector<int> handles;
  handles.reserve(order_.size());
  for (const auto& socket : order_) handles.push_back(socket->handle_);
  for (int handle : handles) CloseConnection(handle);
}

void TMultiSockControl::HandleRead(TDataSocket& socket) {
  if (socket.dead_ || socket.closed_) return;
  if (socket.handshaking_) {
    ContinueHandshake(socket);
    return;
  }
  Receive(socket);
}

void TMultiSockControl::HandleWrite(TDataSocket& socket) {
  if (socket.dead_ || socket.closed_) return;
  if (socket.handshaking_) {
    ContinueHandshake(socket);
    return;
  }
  socket.writable_ = true;
  SendQueued(socket);
}

void TMultiSockControl::StartTls(int handle, const std::string& host, int sessionFrom) {
  TDataSocket& socket = Find(handle);
  if (!socket.connected_ || socket.tls_) throw SocketError(EINVAL, "TLS cannot start here");
  const TlsStream* session = nullptr;
  if (sessionFrom >= 0) {
    session = Find(sessionFrom).tls_.get();
    if (!session || !session->Secured()) throw SocketError(EINVAL, "No TLS session to reuse");
  }
  socket.tls_ = std::make_unique<TlsStream>(socket.handle_, host, session);
  // Input that came in clear before the handshake is not to be trusted as part of what follows.
  socket.fill_ = socket.consumed_ = 0;
  socket.pendingLine_.clear();
  socket.handshaking_ = true;
  ContinueHandshake(socket);
}

void TMultiSockControl::ContinueHandshake(TDataSocket& socket) {
  TlsStream::Want want = TlsStream::Want::Nothing;
  bool done = false;
  try {
    done = socket.tls_->Handshake(want);
  } catch (const SocketError&) {
    // Nothing more goes either way; the owner closes the connection.
    socket.handshaking_ = false;
    socket.writable_ = false;
    socket.WatchRead(false);
    socket.WatchWrite(false);
    throw;
  }
  if (!done) {
    socket.WatchRead(want == TlsStream::Want::Read);
    socket.WatchWrite(want == TlsStream::Want::Write);
    return;
  }
  socket.handshaking_ = false;
  socket.writable_ = true;
  socket.activity_ = true;
  socket.idleCounter_ = 0;
  socket.WatchRead(true);
  socket.WatchWrite(false);
  DoStateChange(socket.handle_, TSockStateKind::Secured);
  if (socket.dead_ || socket.closed_) return;
  SendQueued(socket);
  if (!socket.dead_ && !socket.closed_ && socket.tls_->HasPending()) Receive(socket);
}

bool TMultiSockControl::Secured(int handle) const {
  const TDataSocket& socket = Find(handle);
  return socket.tls_ && socket.tls_->Secured();
}

bool TMultiSockControl::SessionResumed(int handle) const {
  const TDataSocket& socket = Find(handle);
  return socket.tls_ && socket.tls_->Secured() && socket.tls_->Resumed();
}

void TMultiSockControl::IdleTick(int elapsedMs) {
  std::vector<int> handles;
  handles.reserve(order_.size());
  for (const auto& socket : order_) handles.push_back(socket->handle_);
  for (int handle : handles) {
    TDataSocket* socket = FindOrNull(handle);
    if (!socket) continue;
    if (socket->activity_) {
      socket->activity_ = false;
      DoStateChange(handle, TSockStateKind::Activity);
      socket = FindOrNull(handle);
      if (!socket) continue;
    }
    // Saturates: a connection may sit idle for weeks.
    socket->idleCounter_ += std::min(elapsedMs, INT_MAX - socket->idleCounter_);
    if (socket->idleLimit_ > 0 && socket->idleCounter_ > socket->idleLimit_) {
      bool reset = false;
      DoIdleLimit(handle, reset);
      socket = FindOrNull(handle);
      if (socket && reset) socket->idleCounter_ = 0;
    }
  }
}

// ---------------------------------------------------------------------------------------------

TCustomMultiClient::TCustomMultiClient(QObject* parent) : TMultiSockControl(parent) {}

int TCustomMultiClient::CreateConnection() {
  int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (handle < 0) {
    int error = errno;
    throw SocketError(error, SocketErrorText(error, "Socket"));
  }
  Register(handle);
  return handle;
}

void TCustomMultiClient::Connect(int handle, std::string_view addressText, uint16_t defaultPort) {
  TDataSocket& socket = Find(handle);
  if (socket.connected_ || socket.connecting_)
    throw SocketError(EISCONN, "Socket is already connected");
  AddressParts parts = ReadAddressText(addressText);
  if (parts.host.empty()) throw SocketError(EDESTADDRREQ, "Destination address required");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(PortOf(parts, defaultPort));
  if (parts.host == "255.255.255.255") {
    address.sin_addr.s_addr = htonl(INADDR_BROADCAST);
  } else if (inet_pton(AF_INET, parts.host.c_str(), &address.sin_addr) != 1) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    int error = ::getaddrinfo(parts.host.c_str(), nullptr, &hints, &found);
    if (error != 0 || !found) {
      if (error == EAI_SYSTEM) error = errno;
      if (found) freeaddrinfo(found);
      DoSocketError(handle, error, SocketErrorText(error, "Fd_Connect"));
      return;
    }
    address.sin_addr = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
  }
  ConnectTo(handle, address);
}

void TCustomMultiClient::ConnectTo(int handle, const sockaddr_in& address) {
  TDataSocket& socket = Find(handle);
  if (socket.connected_ || socket.connecting_)
    throw SocketError(EISCONN, "Socket is already connected");
  socket.counters_ = TSockCounters{};
  socket.counters_.Connects = 1;
  socket.remote_ = address;
  if (::connect(handle, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    int error = errno;
    if (error != EINPROGRESS && error != EAGAIN && error != EINTR)
      throw SocketError(error, SocketErrorText(error, "Connect"));
  }
  // Completion (or failure) shows as writability; SO_ERROR tells which.
  socket.connecting_ = true;
  socket.WatchWrite(true);
}

int TCustomMultiClient::Listen(const sockaddr_in& localAddress) {
  int handle = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (handle < 0) {
    int error = errno;
    throw SocketError(error, SocketErrorText(error, "Socket"));
  }
  TDataSocket& socket = Register(handle);
  sockaddr_in bindTo = localAddress;
  bindTo.sin_family = AF_INET;
  bindTo.sin_port = 0;
  if (::bind(handle, reinterpret_cast<const sockaddr*>(&bindTo), sizeof bindTo) != 0 ||
      ::listen(handle, 5) != 0) {
    int error = errno;
    CloseConnection(handle);
    throw SocketError(error, SocketErrorText(error, "Bind"));
  }
  socklen_t length = sizeof socket.local_;
  ::getsockname(handle, reinterpret_cast<sockaddr*>(&socket.local_), &length);
  socket.listening_ = true;
  socket.WatchRead(true);
  return handle;
}

int TCustomMultiClient::Accept(int listenHandle) {
  Find(listenHandle);
  sockaddr_in peer{};
  socklen_t length = sizeof peer;
  int handle = ::accept4(listenHandle, reinterpret_cast<sockaddr*>(&peer), &length,
                         SOCK_NONBLOCK | SOCK_CLOEXEC);
  if (handle < 0) {
    int error = errno;
    if (error == EAGAIN || error == EWOULDBLOCK || error == EINTR) return -1;
    throw SocketError(error, SocketErrorText(error, "Accept"));
  }
  TDataSocket& socket = Register(handle);
  socket.remote_ = peer;
  length = sizeof socket.local_;
  ::getsockname(handle, reinterpret_cast<sockaddr*>(&socket.local_), &length);
  socket.connected_ = true;
  socket.writable_ = true;
  socket.WatchRead(true);
  return handle;
}

void TCustomMultiClient::HandleRead(TDataSocket& socket) {
  if (socket.dead_ || socket.closed_) return;
  if (socket.listening_) {
    DoAccept(socket.handle_);
    return;
  }
  TMultiSockControl::HandleRead(socket);
}

void TCustomMultiClient::HandleWrite(TDataSocket& socket) {
  if (socket.dead_ || socket.closed_) return;
  if (!socket.connecting_) {
    TMultiSockControl::HandleWrite(socket);
    return;
  }
  socket.connecting_ = false;
  int error = 0;
  socklen_t length = sizeof error;
  if (::getsockopt(socket.handle_, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
  if (error != 0) {
    socket.WatchWrite(false);
    throw SocketError(error, SocketErrorText(error, "Fd_Connect"));
  }
  length = sizeof socket.local_;
  ::getsockname(socket.handle_, reinterpret_cast<sockaddr*>(&socket.local_), &length);
  socket.connected_ = true;
  socket.writable_ = true;
  socket.WatchRead(true);
  if (socket.queue_.empty()) socket.WatchWrite(false);
  DoStateChange(socket.handle_, TSockStateKind::Connected);
  if (!socket.dead_ && !socket.closed_) SendQueued(socket);
}

}  // namespace lumivex::ftp
