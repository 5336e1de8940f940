// FTP over TLS: AUTH TLS, the handshakes, the certificate decision, PBSZ
// and PROT.
#include <memory>

#include "ftp/FtpEngine.h"
#include "net/SocketErrors.h"

namespace {

// The failure of a TLS step: the control connection is closed before
// anything else is sent, and the user is told (with a box unless the user
// has just decided it, or nobody watches).
bool Fail(FtpEngine& e, const std::string& text, bool box = true) {
  if (e.Sockets1.ConnectionSocket() != -1) e.Sockets1.Disconnect();
  e.Connected = false;
  e.LoseControl(FtpEngine::ControlState::Dropped, text);
  e.ShowAndLog(text);
  if (box && !e.Tls.Unattended) e.UI().ShowMessageBox(text, "TLS", BoxIcon::Exclamation, BoxOK);
  return false;
}

std::string HandshakeFailure(const TSockets& socket, int error) {
  const TlsSession* tls = socket.Tls();
  std::string why = tls && !tls->Error().empty() ? tls->Error()
                    : error == wsa::EINTR_  ? "the wait was cancelled or timed out"
                                            : GetErrorText(error);
  return "TLS handshake failed: " + why;
}

// Accepted when the system trusts it for the host, when it is the one the
// profile trusts, or when the user trusts it now.
bool CertificateTrusted(FtpEngine& e) {
  const TlsCertificate c = e.Sockets1.Tls()->PeerCertificate();
  if (c.verified) return true;
  const std::string& stored = e.Tls.TrustedCertificate;
  if (c.present && !c.fingerprint.empty() && c.fingerprint == stored) return true;
  const std::string why = !stored.empty() ? "the server's certificate has changed"
                                          : "the server's certificate is not trusted: " + c.reason;
  if (e.Tls.Unattended || !c.present) {
    e.Tls.CertificateRefused = true;  // the same server gives the same certificate again
    return Fail(e, "Connection closed before login: " + why);
  }
  const std::string text = "Connection to " + e.Sockets1.IPAddr + ": " + why + "\r\n\r\n" +
                           "Subject: " + c.subject + "\r\nIssuer: " + c.issuer +
                           "\r\nValid from: " + c.notBefore + "\r\nValid until: " + c.notAfter +
                           "\r\nSHA-256: " + SpacedFingerprint(c.fingerprint) +
                           "\r\n\r\nTrust this certificate for this profile?";
  if (e.UI().ShowMessageBox(text, "Server certificate", BoxIcon::Warning, BoxYes | BoxNo) !=
      BoxAnswer::Yes)
    return Fail(e, "Connection closed before login: the certificate was not trusted", false);
  e.Tls.TrustedCertificate = c.fingerprint;
  if (e.Tls.OnTrusted) e.Tls.OnTrusted(c.fingerprint);
  return true;
}

bool ControlHandshake(FtpEngine& e) {
  e.Tls.DataProtected = false;
  TSockets& control = e.Sockets1;
  int error = 0;
  {
    BusyCursor busy(e);
    error = control.StartTls(std::make_unique<TlsSession>(control.IPAddr));
  }
  e.AbortFlag = false;  // a time-out or cancel is told by the failure itself
  if (error != 0) return Fail(e, HandshakeFailure(control, error));
  e.ShowLine("TLS connection: %s, cipher %s", {control.Tls()->Version(), control.Tls()->Cipher()});
  return CertificateTrusted(e);
}

}  // namespace

bool TlsBeforeGreeting(FtpEngine& e) { return e.Tls.Security != 2 || ControlHandshake(e); }

bool TlsAfterGreeting(FtpEngine& e) {
  if (e.Tls.Security != 1) return true;
  if (e.LastReply.empty() && e.Connected) {
    // A server on an implicit-TLS port waits for our handshake while we
    // wait for its greeting.
    e.AbortFlag = false;  // the time-out that ended the wait is told here
    return Fail(e, "No greeting came from the server: it may expect implicit TLS "
                   "(Security in Setup)");
  }
  e.SendCommand("AUTH TLS");
  if (e.Memo.LastReplyCode() != 234)
    return Fail(e, "The server refused TLS: the login is not sent in clear text");
  return ControlHandshake(e);
}

// PBSZ 0 and PROT P: true when the server protects data connections.
bool ProtectData(FtpEngine& e) {
  e.Tls.DataProtected = e.SendCommand("PBSZ 0") == 2 && e.SendCommand("PROT P") == 2;
  return e.Tls.DataProtected;
}

bool TlsAfterLogin(FtpEngine& e) {
  if (e.Tls.Security == 0 || !e.Connected) return true;
  if (e.Memo.LastReplyCode() / 100 != 2) return true;  // not logged in: nothing to protect
  return ProtectData(e) || Fail(e, "The server refused protected data connections");
}

bool TlsBeforeData(FtpEngine& e) {
  if (e.Tls.Security == 0 || e.Tls.DataProtected) return true;
  // A login finished after the session's start (by Quote, after a 331) has
  // had no PBSZ and PROT yet: they go now, before the first data connection.
  if (e.Connected && e.Sockets1.Tls() && ProtectData(e)) return true;
  e.ShowAndLog("Transfer refused: the server would not protect its data connection with TLS");
  return false;
}

bool TlsOnDataConnection(FtpEngine& e) {
  if (e.Tls.Security == 0) return true;
  if (!e.Tls.DataProtected || !e.Sockets1.Tls()) {  // nothing goes in clear
    e.ShowLine("Data connection refused: it is not protected by TLS");
    return false;
  }
  TSockets& data = e.Sockets2;
  const int error = data.StartTls(
      std::make_unique<TlsSession>(e.Sockets1.IPAddr, e.Sockets1.Tls()));
  if (error != 0) {
    e.ShowLine("%s", {"Data connection: " + HandshakeFailure(data, error)});
    return false;
  }
  // The data must come from the server whose certificate was accepted.
  if (data.Tls()->PeerCertificate().fingerprint !=
      e.Sockets1.Tls()->PeerCertificate().fingerprint) {
    e.ShowLine("Data connection refused: its certificate is not the server's");
    return false;
  }
  return true;
}
