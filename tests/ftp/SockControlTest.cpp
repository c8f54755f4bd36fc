// The socket layer against a raw loopback peer that the test drives byte by byte.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <sstream>

#include "FtpTestSupport.h"
#include "ftp/SockControl.h"

namespace lumivex::ftp {
namespace {

class Recorder : public TCustomMultiClient {
 public:
  std::vector<std::string> lines;
  std::vector<std::pair<int, std::string>> errors;
  std::vector<std::string> order;  // "connected", "line", "closed"
  uint64_t sentAtClose = 0;
  int idleLimits = 0;
  bool resetIdle = false;
  void Tick(int elapsedMs) { IdleTick(elapsedMs); }

 protected:
  void DoStateChange(int handle, TSockStateKind kind) override {
    if (kind == TSockStateKind::Connected) order.push_back("connected");
    if (kind == TSockStateKind::Closed) {
      order.push_back("closed");
      sentAtClose = Counters(handle).PayloadSent;
    }
  }
  void DoLineReceived(int, const std::string& line) override {
    lines.push_back(line);
    order.push_back("line");
  }
  void DoSocketError(int, int code, const std::string& text) override {
    errors.emplace_back(code, text);
  }
  void DoIdleLimit(int, bool& reset) override {
    ++idleLimits;
    reset = resetIdle;
  }
};

// A listening loopback socket; Accept() gives the raw peer end, non-blocking.
class Peer {
 public:
  Peer() {
    listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listen_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listen_, 1);
    socklen_t length = sizeof address;
    ::getsockname(listen_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~Peer() {
    if (fd_ >= 0) ::close(fd_);
    ::close(listen_);
  }
  int Port() const { return port_; }
  std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }
  bool Accept() {
    fd_ = ::accept(listen_, nullptr, nullptr);
    if (fd_ >= 0) ::fcntl(fd_, F_SETFL, O_NONBLOCK);
    return fd_ >= 0;
  }
  // A new connection of the client to this peer, accepted here; -1 when that failed.
  int ConnectFrom(TCustomMultiClient& client) {
    int handle = client.CreateConnection();
    client.Connect(handle, Address(), 21);
    return Accept() ? handle : -1;
  }
  // Writes everything, letting the client's event loop drain in between (bounded).
  void Send(std::string_view data) {
    QDeadlineTimer deadline(10000);
    while (!data.empty() && !deadline.hasExpired()) {
      ssize_t n = ::send(fd_, data.data(), data.size(), MSG_NOSIGNAL);
      if (n > 0) data.remove_prefix(static_cast<size_t>(n));
      if (!data.empty()) runEventsFor(5);
    }
    ASSERT_TRUE(data.empty());
  }
  // Reads until the client closes (bounded).
  std::string ReceiveAll() {
    std::string out;
    char chunk[65536];
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
      ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
      if (n == 0) break;
      if (n > 0)
        out.append(chunk, static_cast<size_t>(n));
      else
        runEventsFor(5);
    }
    return out;
  }
  void Close() {
    ::close(fd_);
    fd_ = -1;
  }

 private:
  int listen_ = -1;
  int fd_ = -1;
  int port_ = 0;
};

TEST(SockControlTest, LinesArriveWholeWhateverTheReadBoundaries) {
  Peer peer;
  Recorder client;
  int handle = peer.ConnectFrom(client);
  ASSERT_GE(handle, 0);
  ASSERT_TRUE(runEventsUntil([&] { return !client.order.empty(); }));
  EXPECT_EQ(client.order.front(), "connected");

  peer.Send("220 he");
  runEventsFor(60);
  peer.Send("llo\r");  // the terminator torn apart
  runEventsFor(60);
  peer.Send("\n331 x\r\n");
  ASSERT_TRUE(runEventsUntil([&] { return client.lines.size() == 2; }));
  EXPECT_EQ(client.lines[0], "220 hello\r\n");
  EXPECT_EQ(client.lines[1], "331 x\r\n");

  std::string longLine = std::string(9000, 'L') + "\r\n";
  peer.Send(longLine);
  ASSERT_TRUE(runEventsUntil([&] { return client.lines.size() == 3; }));
  EXPECT_EQ(client.lines[2], longLine);

  // A line just short of the limit still arrives; one past it is dropped with 8001.
  std::string largest = std::string(kMaxLineBuf - 10, 'M') + "\r\n";
  peer.Send(largest);
  ASSERT_TRUE(runEventsUntil([&] { return client.lines.size() == 4; }));
  EXPECT_EQ(client.lines[3], largest);
  EXPECT_TRUE(client.errors.empty());

  peer.Send(std::string(kMaxLineBuf + 20000, 'H') + "\r\nafter\r\n");
  ASSERT_TRUE(
      runEventsUntil([&] { return !client.lines.empty() && client.lines.back() == "after\r\n"; }));
  ASSERT_EQ(client.errors.size(), 1u);
  EXPECT_EQ(client.errors[0].first, kLineTooLongError);
  EXPECT_EQ(client.errors[0].second, "Received line too long, exceeds MaxLineBuf");
  for (const std::string& line : client.lines) EXPECT_LE(line.size(), kMaxLineBuf);

  // Input still buffered when the peer closes is delivered before the close report.
  size_t before = client.lines.size();
  peer.Send("a\r\nb\r\ntail");
  peer.Close();
  ASSERT_TRUE(runEventsUntil([&] { return client.order.back() == "closed"; }));
  ASSERT_EQ(client.lines.size(), before + 3);
  EXPECT_EQ(client.lines[before], "a\r\n");
  EXPECT_EQ(client.lines[before + 1], "b\r\n");
  EXPECT_EQ(client.lines[before + 2], "tail");
  EXPECT_EQ(client.order[client.order.size() - 2], "line");
  EXPECT_FALSE(client.Exists(handle));
}

TEST(SockControlTest, StreamsAreSentWholeAndCloseTheConnection) {
  for (size_t size :
       {size_t{0}, size_t{1}, kStreamBlockSize, kStreamBlockSize + 1, size_t{500000}}) {
    SCOPED_TRACE(size);
    Peer peer;
    Recorder client;
    int handle = peer.ConnectFrom(client);
    ASSERT_GE(handle, 0);
    std::string content = test::RandomBytes(size, static_cast<unsigned>(size));
    client.SendText(handle, "STOR x\r\n");  // queued before the connect completes
    client.SendStream(handle, std::make_shared<std::istringstream>(content), true);
    std::string received = peer.ReceiveAll();
    EXPECT_EQ(received, "STOR x\r\n" + content);
    ASSERT_TRUE(
        runEventsUntil([&] { return !client.order.empty() && client.order.back() == "closed"; }));
    EXPECT_EQ(client.sentAtClose, 8 + size);
    EXPECT_FALSE(client.Exists(handle));
  }
}

TEST(SockControlTest, ConnectFailuresAndMisuseAreReported) {
  Recorder client;
  int handle = client.CreateConnection();
  try {
    client.Connect(handle, "ftp://", 21);
    ADD_FAILURE() << "no error for an empty host";
  } catch (const SocketError& e) {
    EXPECT_STREQ(e.what(), "Destination address required");
  }
  int closedPort;
  {
    Peer unused;
    closedPort = unused.Port();
  }
  client.Connect(handle, "127.0.0.1", static_cast<uint16_t>(closedPort));
  try {
    client.Connect(handle, "127.0.0.1", static_cast<uint16_t>(closedPort));
    ADD_FAILURE() << "a second connect was accepted";
  } catch (const SocketError& e) {
    EXPECT_STREQ(e.what(), "Socket is already connected");
  }
  ASSERT_TRUE(runEventsUntil([&] { return !client.errors.empty(); }));
  EXPECT_EQ(client.errors[0].first, ECONNREFUSED);
  EXPECT_EQ(client.errors[0].second, "WinSock Error (" + std::to_string(ECONNREFUSED) + "): " +
                                         std::strerror(ECONNREFUSED) + ", on API 'Fd_Connect'");
  EXPECT_TRUE(client.order.empty());  // never connected, so never closed either
  client.CloseConnection(handle);
  EXPECT_FALSE(client.Exists(handle));
  try {
    client.SendText(handle, "x");
    ADD_FAILURE() << "a forgotten handle was accepted";
  } catch (const SocketError& e) {
    EXPECT_STREQ(e.what(), "Socket not assigned");
  }
}

TEST(SockControlTest, IdleLimitIsReportedAndRestartsOnlyWhenAsked) {
  Peer peer;
  Recorder client;
  int handle = peer.ConnectFrom(client);
  ASSERT_GE(handle, 0);
  client.SetIdleLimit(handle, 700);
  ASSERT_TRUE(runEventsUntil([&] { return client.idleLimits >= 2; }, 5000));
  // Without a reset every tick past the limit reports again; with one the count restarts.
  client.resetIdle = true;
  int seen = client.idleLimits;
  runEventsFor(900);
  EXPECT_LE(client.idleLimits, seen + 1);
  // Weeks without a byte neither wrap the count nor silence the limit.
  client.resetIdle = false;
  seen = client.idleLimits;
  for (int i = 0; i < 3; ++i) client.Tick(1000000000);
  EXPECT_EQ(client.idleLimits, seen + 3);
}

}  // namespace
}  // namespace lumivex::ftp
