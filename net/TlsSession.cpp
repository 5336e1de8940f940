#include "net/TlsSession.h"

#include <cerrno>
#include <csignal>

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace {

// The address a host text stands for, in its usual text form, as the
// connect reads it: IPv6 also in brackets and with a zone, IPv4 also in the
// short and numeric forms ("127.1"). Empty for a host name.
std::string AddressText(std::string host) {
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  in_addr v4;
  in6_addr v6;
  char text[INET6_ADDRSTRLEN] = {};
  if (inet_aton(host.c_str(), &v4)) return inet_ntop(AF_INET, &v4, text, sizeof text);
  host = host.substr(0, host.find('%'));
  if (inet_pton(AF_INET6, host.c_str(), &v6) == 1) return inet_ntop(AF_INET6, &v6, text, sizeof text);
  return "";
}

std::string FromBio(BIO* bio) {
  char* data = nullptr;
  long size = BIO_get_mem_data(bio, &data);
  std::string text(data ? data : "", size > 0 ? static_cast<size_t>(size) : 0);
  BIO_free(bio);
  return text;
}

std::string NameText(const X509_NAME* name) {
  BIO* bio = BIO_new(BIO_s_mem());
  X509_NAME_print_ex(bio, name, 0, XN_FLAG_ONELINE & ~ASN1_STRFLGS_ESC_MSB);
  return FromBio(bio);
}

std::string TimeText(const ASN1_TIME* time) {
  BIO* bio = BIO_new(BIO_s_mem());
  ASN1_TIME_print(bio, time);
  return FromBio(bio);
}

}  // namespace

std::string SpacedFingerprint(const std::string& hex) {
  std::string spaced;
  for (size_t i = 0; i < hex.size(); i += 2) {
    if (i) spaced += ':';
    spaced += hex.substr(i, 2);
  }
  return spaced;
}

struct TlsSession::Impl {
  SSL_CTX* ctx = nullptr;
  SSL* ssl = nullptr;
  std::string setupError;  // why the session cannot start
  ~Impl() {
    if (ssl) SSL_free(ssl);
    if (ctx) SSL_CTX_free(ctx);
  }
};

TlsSession::TlsSession(const std::string& host, const TlsSession* resumeFrom)
    : d_(std::make_unique<Impl>()) {
  // OpenSSL writes to the socket without MSG_NOSIGNAL: a peer that has gone
  // must give a failed write, not end the program.
  static const bool noSigpipe = std::signal(SIGPIPE, SIG_IGN) != SIG_ERR;
  (void)noSigpipe;
  if (resumeFrom && resumeFrom->d_->ctx) {
    // One context for the control connection and its data connections, so
    // the session the server handed out is offered again.
    d_->ctx = resumeFrom->d_->ctx;
    SSL_CTX_up_ref(d_->ctx);
  } else {
    d_->ctx = SSL_CTX_new(TLS_client_method());
    if (!d_->ctx) return;
    SSL_CTX_set_min_proto_version(d_->ctx, TLS1_2_VERSION);
    SSL_CTX_set_default_verify_paths(d_->ctx);
    // The handshake always completes; whether the certificate is trusted is
    // decided afterwards from the verification result, before any login.
    SSL_CTX_set_verify(d_->ctx, SSL_VERIFY_NONE, nullptr);
  }
  d_->ssl = SSL_new(d_->ctx);
  if (!d_->ssl) return;
  SSL_set_mode(d_->ssl, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  if (resumeFrom && resumeFrom->d_->ssl) {
    // A copy: a TLS 1.3 session is spent once a connection has resumed it,
    // and every data connection must resume the control connection's.
    if (SSL_SESSION* session = SSL_get1_session(resumeFrom->d_->ssl)) {
      if (SSL_SESSION* copy = SSL_SESSION_dup(session)) {
        SSL_set_session(d_->ssl, copy);
        SSL_SESSION_free(copy);
      }
      SSL_SESSION_free(session);
    }
  }
  if (host.empty()) return;
  // The certificate must name the host: an address as an address, a name
  // as a DNS name. A check that cannot be set up ends the connection at its
  // handshake rather than let it go on unchecked.
  const std::string address = AddressText(host);
  const bool named = !address.empty()
                         ? X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(d_->ssl), address.c_str()) == 1
                         : SSL_set_tlsext_host_name(d_->ssl, host.c_str()) == 1 &&
                               SSL_set1_host(d_->ssl, host.c_str()) == 1;
  if (!named) d_->setupError = "the server's name \"" + host + "\" cannot be checked against its certificate";
}

TlsSession::~TlsSession() = default;

void TlsSession::Bind(int fd) {
  if (d_->ssl) SSL_set_fd(d_->ssl, fd);
}

long TlsSession::Outcome(int result, bool endIsZero) {
  wantWrite_ = false;
  error_.clear();
  if (result > 0) return result;
  const int kind = SSL_get_error(d_->ssl, result);
  const unsigned long queued = ERR_peek_last_error();
  const int savedErrno = errno;
  ERR_clear_error();
  switch (kind) {
    case SSL_ERROR_WANT_READ:
    case SSL_ERROR_WANT_WRITE:
      wantWrite_ = kind == SSL_ERROR_WANT_WRITE;
      errno = EAGAIN;
      return -1;
    case SSL_ERROR_ZERO_RETURN:
      if (endIsZero) return 0;
      error_ = "the server ended the TLS session";
      errno = ECONNRESET;
      return -1;
    case SSL_ERROR_SYSCALL:
      if (queued == 0 && savedErrno != 0) {  // the socket's own failure, told by its number
        errno = savedErrno;
        return -1;
      }
      break;
    default:
      break;
  }
  const bool closed = kind == SSL_ERROR_SYSCALL ||
                      ERR_GET_REASON(queued) == SSL_R_UNEXPECTED_EOF_WHILE_READING;
  // A peer that closes without close_notify ends the data, but what came
  // may have been cut short by anyone on the way: the owner is told.
  if (closed && endIsZero) {
    cutShort_ = true;
    return 0;
  }
  if (closed) {
    error_ = "the server closed the connection";
  } else {
    const char* reason = queued ? ERR_reason_error_string(queued) : nullptr;
    error_ = reason ? reason : "TLS protocol error";
  }
  // The connection cannot carry anything more: to the socket's owner it is
  // aborted, and Error() says why.
  errno = ECONNABORTED;
  return -1;
}

long TlsSession::Handshake() {
  if (!d_->ssl || !d_->setupError.empty()) {
    error_ = d_->ssl ? d_->setupError : "TLS is not available";
    errno = ECONNABORTED;
    return -1;
  }
  ERR_clear_error();
  const long result = Outcome(SSL_connect(d_->ssl), false);
  if (result < 0 && (errno == ECONNRESET || errno == EPIPE)) {
    // A reset in the middle of the handshake is a server that has gone.
    error_ = "the server closed the connection";
    errno = ECONNABORTED;
  }
  return result;
}

long TlsSession::Read(char* buffer, size_t len, bool peek) {
  if (len == 0) return 0;
  ERR_clear_error();
  size_t got = 0;
  int ok = peek ? SSL_peek_ex(d_->ssl, buffer, len, &got) : SSL_read_ex(d_->ssl, buffer, len, &got);
  return Outcome(ok ? static_cast<int>(got) : 0, true);
}

long TlsSession::Write(const char* data, size_t len) {
  if (len == 0) return 0;
  ERR_clear_error();
  size_t put = 0;
  int ok = SSL_write_ex(d_->ssl, data, len, &put);
  return Outcome(ok ? static_cast<int>(put) : 0, false);
}

int TlsSession::Pending() {
  if (SSL_pending(d_->ssl) > 0) return SSL_pending(d_->ssl);
  // Bytes on the socket may be a record still to decrypt, or only a
  // session ticket: a peek that does not wait tells.
  char probe;
  size_t got = 0;
  ERR_clear_error();
  if (SSL_peek_ex(d_->ssl, &probe, 1, &got) != 1) {
    ERR_clear_error();
    return 0;
  }
  return SSL_pending(d_->ssl) > 0 ? SSL_pending(d_->ssl) : static_cast<int>(got);
}

long TlsSession::Shutdown() {
  ERR_clear_error();
  const int result = SSL_shutdown(d_->ssl);
  // 0: our close_notify is out, the peer's is not awaited here.
  return Outcome(result >= 0 ? 1 : result, false);
}

std::string TlsSession::Version() const { return d_->ssl ? SSL_get_version(d_->ssl) : ""; }

std::string TlsSession::Cipher() const {
  const char* name = d_->ssl ? SSL_get_cipher_name(d_->ssl) : nullptr;
  return name ? name : "";
}

bool TlsSession::Resumed() const { return d_->ssl && SSL_session_reused(d_->ssl) == 1; }

TlsCertificate TlsSession::PeerCertificate() const {
  TlsCertificate c;
  X509* cert = d_->ssl ? SSL_get0_peer_certificate(d_->ssl) : nullptr;
  if (!cert) {
    c.reason = "the server sent no certificate";
    return c;
  }
  c.present = true;
  const long result = SSL_get_verify_result(d_->ssl);
  c.verified = result == X509_V_OK;
  if (!c.verified) c.reason = X509_verify_cert_error_string(result);
  c.subject = NameText(X509_get_subject_name(cert));
  c.issuer = NameText(X509_get_issuer_name(cert));
  c.notBefore = TimeText(X509_get0_notBefore(cert));
  c.notAfter = TimeText(X509_get0_notAfter(cert));
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (X509_digest(cert, EVP_sha256(), digest, &size) == 1) {
    static const char hex[] = "0123456789ABCDEF";
    for (unsigned int i = 0; i < size; ++i) {
      c.fingerprint += hex[digest[i] >> 4];
      c.fingerprint += hex[digest[i] & 15];
    }
  }
  return c;
}
