#include "ftp/TlsLayer.h"

#include <arpa/inet.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

#include "ftp/SockControl.h"

namespace lumivex::ftp {

struct TlsContext {
  SSL_CTX* ctx = nullptr;
  TlsContext() = default;
  TlsContext(const TlsContext&) = delete;
  TlsContext& operator=(const TlsContext&) = delete;
  ~TlsContext() { SSL_CTX_free(ctx); }
};

struct TlsStream::Ssl {
  SSL* ssl = nullptr;
  int fd = -1;  // read by the socket BIO, which the SSL owns and frees first
  Ssl() = default;
  Ssl(const Ssl&) = delete;
  Ssl& operator=(const Ssl&) = delete;
  ~Ssl() { SSL_free(ssl); }
};

namespace {

// The first queued OpenSSL error as text, the queue emptied; `fallback` when there is none.
std::string TakeErrorText(const char* fallback) {
  unsigned long first = ERR_get_error();
  ERR_clear_error();
  if (first == 0) return fallback;
  const char* reason = ERR_reason_error_string(first);
  return reason ? reason : fallback;
}

std::shared_ptr<TlsContext> NewContext() {
  auto context = std::make_shared<TlsContext>();
  context->ctx = SSL_CTX_new(TLS_client_method());
  if (!context->ctx)
    throw SocketError(kTlsError, "TLS cannot be set up: " + TakeErrorText("no memory"));
  SSL_CTX_set_min_proto_version(context->ctx, TLS1_2_VERSION);
  // The system's trust store, read afresh for each session: a store updated while the
  // program runs counts from the next upload on.
  SSL_CTX_set_default_verify_paths(context->ctx);
  SSL_CTX_set_verify(context->ctx, SSL_VERIFY_PEER, nullptr);
  SSL_CTX_set_mode(context->ctx, SSL_MODE_ENABLE_PARTIAL_WRITE |
                                     SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER | SSL_MODE_AUTO_RETRY);
  return context;
}

// Why the server's certificate was refused, in the words a person can act on.
std::string CertificateText(long code, const std::string& host) {
  std::string why;
  switch (code) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
      why = "it has expired";
      break;
    case X509_V_ERR_CERT_NOT_YET_VALID:
      why = "it is not valid yet";
      break;
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
      why = "it is self-signed";
      break;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
      why = "its issuer is unknown";
      break;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
      why = "it is for another name than " + host;
      break;
    default:
      why = X509_verify_cert_error_string(code);
  }
  return "The server's TLS certificate is not accepted: " + why;
}

// OpenSSL's own socket BIO writes with write(): a peer that has closed would raise SIGPIPE and
// end the program. This one is the plain socket layer's send and recv, MSG_NOSIGNAL included.
int FdOf(BIO* bio) { return *static_cast<const int*>(BIO_get_data(bio)); }

int SocketWrite(BIO* bio, const char* data, int size) {
  BIO_clear_retry_flags(bio);
  ssize_t n = ::send(FdOf(bio), data, static_cast<size_t>(size), MSG_NOSIGNAL);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
    BIO_set_retry_write(bio);
  return static_cast<int>(n);
}

int SocketRead(BIO* bio, char* data, int size) {
  BIO_clear_retry_flags(bio);
  ssize_t n = ::recv(FdOf(bio), data, static_cast<size_t>(size), 0);
  if (n == 0) BIO_set_flags(bio, BIO_FLAGS_IN_EOF);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) BIO_set_retry_read(bio);
  return static_cast<int>(n);
}

long SocketControl(BIO* bio, int command, long /*number*/, void* /*pointer*/) {
  if (command == BIO_CTRL_FLUSH) return 1;
  if (command == BIO_CTRL_EOF) return BIO_test_flags(bio, BIO_FLAGS_IN_EOF) != 0 ? 1 : 0;
  return 0;
}

BIO* NewSocketBio(int* fd) {
  static BIO_METHOD* const method = [] {
    BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "lumivex socket");
    if (m) {
      BIO_meth_set_write(m, SocketWrite);
      BIO_meth_set_read(m, SocketRead);
      BIO_meth_set_ctrl(m, SocketControl);
    }
    return m;
  }();
  BIO* bio = method ? BIO_new(method) : nullptr;
  if (bio) {
    BIO_set_data(bio, fd);
    BIO_set_init(bio, 1);
  }
  return bio;
}

bool IsUnexpectedEof(unsigned long error) {
  return ERR_GET_LIB(error) == ERR_LIB_SSL &&
         ERR_GET_REASON(error) == SSL_R_UNEXPECTED_EOF_WHILE_READING;
}

}  // namespace

TlsStream::TlsStream(int fd, const std::string& host, const TlsStream* resumeFrom)
    : context_(resumeFrom ? resumeFrom->context_ : NewContext()),
      ssl_(std::make_unique<Ssl>()),
      host_(host) {
  ERR_clear_error();
  ssl_->ssl = SSL_new(context_->ctx);
  ssl_->fd = fd;
  BIO* bio = ssl_->ssl ? NewSocketBio(&ssl_->fd) : nullptr;
  if (!bio) throw SocketError(kTlsError, "TLS cannot be set up: " + TakeErrorText("no memory"));
  SSL_set_bio(ssl_->ssl, bio, bio);
  in_addr address{};
  bool ok = inet_pton(AF_INET, host.c_str(), &address) == 1
                ? X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_->ssl), host.c_str()) == 1
                : SSL_set1_host(ssl_->ssl, host.c_str()) == 1 &&
                      SSL_set_tlsext_host_name(ssl_->ssl, host.c_str()) == 1;
  if (!ok || host.empty())
    throw SocketError(kTlsError, "TLS cannot check the host name \"" + host + "\"");
  if (resumeFrom) {
    if (SSL_SESSION* session = SSL_get1_session(resumeFrom->ssl_->ssl)) {
      SSL_set_session(ssl_->ssl, session);
      SSL_SESSION_free(session);
    }
  }
  SSL_set_connect_state(ssl_->ssl);
}

TlsStream::~TlsStream() = default;

bool TlsStream::Resumed() const { return SSL_session_reused(ssl_->ssl) == 1; }

bool TlsStream::Handshake(Want& want) {
  want = Want::Nothing;
  if (secured_) return true;
  ERR_clear_error();
  errno = 0;
  int result = SSL_do_handshake(ssl_->ssl);
  if (result == 1) {
    secured_ = true;
    // Servers often close the control connection without a close notification; an upload
    // loses nothing to a truncated reply stream.
    SSL_set_options(ssl_->ssl, SSL_OP_IGNORE_UNEXPECTED_EOF);
    return true;
  }
  int error = SSL_get_error(ssl_->ssl, result);
  if (error == SSL_ERROR_WANT_READ) {
    want = Want::Read;
    return false;
  }
  if (error == SSL_ERROR_WANT_WRITE) {
    want = Want::Write;
    return false;
  }
  broken_ = true;
  int systemError = errno;
  long verified = SSL_get_verify_result(ssl_->ssl);
  if (verified != X509_V_OK) {
    ERR_clear_error();
    throw SocketError(kTlsCertificateError, CertificateText(verified, host_));
  }
  unsigned long first = ERR_peek_error();
  if (error == SSL_ERROR_ZERO_RETURN || (error == SSL_ERROR_SYSCALL && systemError == 0) ||
      IsUnexpectedEof(first)) {
    ERR_clear_error();
    throw SocketError(kTlsHandshakeError,
                      "The server closed the connection during the TLS handshake");
  }
  if (error == SSL_ERROR_SYSCALL) {
    ERR_clear_error();
    throw SocketError(kTlsHandshakeError,
                      "The TLS handshake failed: " + SocketErrorDescription(systemError));
  }
  throw SocketError(kTlsHandshakeError,
                    "The TLS handshake failed: " + TakeErrorText("protocol error"));
}

ssize_t TlsStream::Write(const char* data, size_t size, Want& want) {
  want = Want::Nothing;
  if (size == 0) return 0;
  ERR_clear_error();
  errno = 0;
  int result = SSL_write(ssl_->ssl, data, static_cast<int>(std::min<size_t>(size, 1 << 30)));
  if (result > 0) return result;
  int error = SSL_get_error(ssl_->ssl, result);
  if (error == SSL_ERROR_WANT_WRITE || error == SSL_ERROR_WANT_READ) {
    want = error == SSL_ERROR_WANT_READ ? Want::Read : Want::Write;
    errno = EAGAIN;
    return -1;
  }
  broken_ = true;
  if (error == SSL_ERROR_SYSCALL && errno != 0) return -1;
  throw SocketError(kTlsError, "TLS failure while sending: " + TakeErrorText("protocol error"));
}

ssize_t TlsStream::Read(char* data, size_t size, Want& want) {
  want = Want::Nothing;
  ERR_clear_error();
  errno = 0;
  int result = SSL_read(ssl_->ssl, data, static_cast<int>(std::min<size_t>(size, 1 << 30)));
  if (result > 0) return result;
  int error = SSL_get_error(ssl_->ssl, result);
  if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
    want = error == SSL_ERROR_WANT_READ ? Want::Read : Want::Write;
    errno = EAGAIN;
    return -1;
  }
  if (error == SSL_ERROR_ZERO_RETURN) return 0;
  broken_ = true;
  if (error == SSL_ERROR_SYSCALL) {
    if (errno == 0) return 0;
    return -1;
  }
  throw SocketError(kTlsError, "TLS failure while receiving: " + TakeErrorText("protocol error"));
}

bool TlsStream::HasPending() const { return SSL_has_pending(ssl_->ssl) == 1; }

void TlsStream::Shutdown() {
  if (!secured_ || broken_) return;
  broken_ = true;  // once is enough
  ERR_clear_error();
  SSL_shutdown(ssl_->ssl);
  ERR_clear_error();
}

}  // namespace lumivex::ftp
