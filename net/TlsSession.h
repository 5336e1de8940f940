#pragma once
// TlsSession: the client side of one TLS connection over a socket that
// TSockets owns. TSockets drives it: once a session is attached to its
// connection socket, the handshake, sends, receives and peeks go through
// it. Every call here is tried once on the non-blocking socket; when it
// would have to wait, it fails with errno EAGAIN and WantsWrite() tells
// which readiness to wait for, so the caller's nested-loop wait applies.
#include <memory>
#include <string>

// What the server's certificate says, for the user's decision.
struct TlsCertificate {
  bool present = false;
  bool verified = false;    // trusted by the system's store and names the host
  std::string reason;       // why it did not verify
  std::string subject;
  std::string issuer;
  std::string notBefore;
  std::string notAfter;
  std::string fingerprint;  // SHA-256 of the certificate: 64 capital hex digits
};

// "AB:CD:..." for showing a fingerprint of 64 hex digits.
std::string SpacedFingerprint(const std::string& hex);

class TlsSession {
public:
  // A client session for host (a name, or an address in any form the
  // connect takes; the certificate must name it, an address as an address).
  // resumeFrom: a connection whose TLS session this one offers to resume (a
  // data connection resumes the control connection's).
  explicit TlsSession(const std::string& host, const TlsSession* resumeFrom = nullptr);
  ~TlsSession();
  TlsSession(const TlsSession&) = delete;
  TlsSession& operator=(const TlsSession&) = delete;

  void Bind(int fd);
  // 1 when the handshake is done; -1 otherwise (see the header note).
  long Handshake();
  // Bytes read (or peeked), 0 when the peer has closed, -1 otherwise.
  long Read(char* buffer, size_t len, bool peek);
  // Bytes written (at least one), -1 otherwise.
  long Write(const char* data, size_t len);
  // Decrypted bytes ready without waiting (0 when none).
  int Pending();
  // Sends close_notify: 1 when sent, -1 otherwise.
  long Shutdown();

  bool WantsWrite() const { return wantWrite_; }
  // True once a read has found the stream ended without the peer's
  // close_notify: the data may have been cut short.
  bool CutShort() const { return cutShort_; }
  // The failure of the last call in words; empty after a success and when
  // the failure was the socket's own. A TLS failure fails with ECONNABORTED.
  const std::string& Error() const { return error_; }
  std::string Version() const;
  std::string Cipher() const;
  bool Resumed() const;
  TlsCertificate PeerCertificate() const;

private:
  // Sorts out the result of an OpenSSL call: the value itself on success,
  // 0 for a clean end when endIsZero, else -1 with errno set.
  long Outcome(int result, bool endIsZero);

  struct Impl;
  std::unique_ptr<Impl> d_;
  bool wantWrite_ = false;
  bool cutShort_ = false;
  std::string error_;
};
