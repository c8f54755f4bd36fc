// The client side of TLS over one non-blocking socket, for the socket layer only: OpenSSL stays
// inside TlsLayer.cpp, so nothing that includes the socket layer sees its headers.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <string>

namespace lumivex::ftp {

struct TlsContext;

class TlsStream {
 public:
  enum class Want { Nothing, Read, Write };

  // A client for `fd` that accepts only a certificate that chains to the system's trust store
  // (OpenSSL's default paths, which SSL_CERT_FILE and SSL_CERT_DIR replace) and names `host`, a
  // DNS name or an IPv4 address. With `resumeFrom`, the handshake offers that stream's session
  // and shares its trust settings: FTP servers take data connections only from the client that
  // holds the control connection's session.
  TlsStream(int fd, const std::string& host, const TlsStream* resumeFrom);
  ~TlsStream();
  TlsStream(const TlsStream&) = delete;
  TlsStream& operator=(const TlsStream&) = delete;

  // One step of the handshake: true once it is done; otherwise `want` says what to wait for.
  // Throws SocketError (kTlsCertificateError, kTlsHandshakeError) when it fails.
  bool Handshake(Want& want);
  bool Secured() const { return secured_; }
  bool Resumed() const;

  // Like send and recv: bytes moved, 0 from Read when the peer has closed, -1 when the socket
  // would block (`want` says on what). Other failures throw SocketError (kTlsError).
  ssize_t Write(const char* data, size_t size, Want& want);
  ssize_t Read(char* data, size_t size, Want& want);
  // Decrypted or undecrypted input already taken from the socket: a read notifier would not
  // signal it again.
  bool HasPending() const;
  // Sends the close notification once, when the connection is still usable; never blocks.
  void Shutdown();

 private:
  struct Ssl;
  std::shared_ptr<TlsContext> context_;
  std::unique_ptr<Ssl> ssl_;
  std::string host_;
  bool secured_ = false;
  bool broken_ = false;  // a fatal error: no close notification may follow
};

}  // namespace lumivex::ftp
