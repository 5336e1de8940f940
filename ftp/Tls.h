#pragma once
// FTP over TLS: the engine's steps around the login and the data
// connections. With Security 0 every step does nothing.
//
// A step that fails has closed the control connection and told the user:
// a transcript line, and a box unless the run is unattended (then a log
// line instead). Nothing is ever sent in clear after TLS was asked for.
#include <functional>
#include <string>

class FtpEngine;

struct TlsSettings {
  int Security = 0;                // 0 none, 1 explicit (AUTH TLS), 2 implicit
  std::string TrustedCertificate;  // the profile's fingerprint, 64 capital hex digits
  bool Unattended = false;         // a batch run: no box is asked
  // Called when the user trusts a certificate: stores the fingerprint.
  std::function<void(const std::string& fingerprint)> OnTrusted;
  bool DataProtected = false;      // PROT P accepted: data connections use TLS
  bool CertificateRefused = false; // a connection ended on the server's certificate
};

// Implicit TLS: the handshake right after the connect, before the greeting.
bool TlsBeforeGreeting(FtpEngine& engine);
// Explicit TLS: AUTH TLS after the greeting and the handshake on 234.
bool TlsAfterGreeting(FtpEngine& engine);
// After a successful login: PBSZ 0 and PROT P.
bool TlsAfterLogin(FtpEngine& engine);
// Before a transfer opens its data connection: true when the data will be
// protected as the profile asks (PBSZ 0 and PROT P are sent now when they
// have not been), or with Security 0. False, with a transcript and a log
// line, when a data connection would carry the data in clear.
bool TlsBeforeData(FtpEngine& engine);
// Right after the data connection is made: its handshake, resuming the
// control connection's session. False (with a transcript line) when it fails.
bool TlsOnDataConnection(FtpEngine& engine);
