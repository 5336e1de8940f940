// The data connection in passive mode: EPSV (PASV once the server has
// refused EPSV), then a connect to the server's own address.
#include <algorithm>

#include <QTimer>

#include "ftp/FtpEngine.h"
#include "net/SocketErrors.h"

namespace {

const char* const kNoPort = "The server's reply names no usable data port, transfer canceled";

// A decimal number of 1 to maxDigits digits at text[at], up to limit; the
// index after it in at. -1 when there is none or it is too large.
int Number(const std::string& text, size_t& at, size_t maxDigits, int limit) {
  size_t start = at;
  long value = 0;
  while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - start < maxDigits)
    value = value * 10 + (text[at++] - '0');
  if (at == start || (at < text.size() && text[at] >= '0' && text[at] <= '9')) return -1;
  return value <= limit ? static_cast<int>(value) : -1;
}

}  // namespace

int ExtendedPassivePort(const std::string& reply) {
  // (<d><d><d>port<d>) with any printable delimiter d that is not a digit.
  size_t at = reply.find('(');
  if (at == std::string::npos || at + 4 >= reply.size()) return -1;
  const char d = reply[++at];
  if (d < 33 || d > 126 || (d >= '0' && d <= '9')) return -1;
  if (reply[at + 1] != d || reply[at + 2] != d) return -1;
  at += 3;
  int port = Number(reply, at, 5, 65535);
  if (port <= 0 || at + 1 >= reply.size() || reply[at] != d || reply[at + 1] != ')') return -1;
  return port;
}

int PassivePort(const std::string& reply) {
  // The six numbers follow the bracket, or without one the reply code.
  size_t at = reply.find('(');
  at = reply.find_first_of("0123456789", at != std::string::npos ? at : std::min<size_t>(4, reply.size()));
  if (at == std::string::npos) return -1;
  int n[6];
  for (int i = 0; i < 6; ++i) {
    if (i > 0 && (at >= reply.size() || reply[at++] != ',')) return -1;
    if ((n[i] = Number(reply, at, 3, 255)) < 0) return -1;
  }
  const int port = n[4] * 256 + n[5];
  return port == 0 ? -1 : port;  // the address n[0..3] is never used
}

FtpEngine::DataErrors::DataErrors(TSockets& sockets, bool quiet)
    : s(sockets), saved(sockets.OnErrorOccurred) {
  s.OnErrorOccurred = [this, quiet](TSockets* sender, int socket, int e, const std::string& msg) {
    if (e == wsa::ETIMEDOUT_) timedOut = true;
    else if (error == 0) error = e;
    if (!quiet && saved) saved(sender, socket, e, msg);
  };
}

FtpEngine::DataErrors::~DataErrors() { s.OnErrorOccurred = saved; }

int FtpEngine::AskPassivePort() {
  const int control = Sockets1.ConnectionSocket();
  const std::string session = Sockets1.GetLocalPort(control) + " " + Sockets1.GetPeerIPAddr(control);
  int port = -1;
  int result;
  if (pasvSession_ != session) {
    LastReply.clear();  // so a refusal is told from a failed send
    result = SendCommand("EPSV");
    if (result == 2) {
      port = ExtendedPassivePort(LastReply);
      if (port < 0) ShowLine(kNoPort);
      return port;
    }
    if (result != 5 || LastReply.empty() || LastReply[0] != '5') return -1;
    // The server does not know EPSV: PASV from now on in this session.
    pasvSession_ = session;
  }
  result = SendCommand("PASV");
  if (result != 2) return -1;
  port = PassivePort(LastReply);
  if (port < 0) ShowLine(kNoPort);
  return port;
}

int FtpEngine::OpenPassiveConnection() {
  const int port = AskPassivePort();
  if (port < 0) return 5;
  // Only the server we talk to is connected to, whatever a 227 names: that
  // address may be private to the server's network, or a third host.
  const std::string server = Sockets1.GetPeerIPAddr(Sockets1.ConnectionSocket());
  if (server.empty()) return 5;  // the control connection is gone
  const std::string where = server + " port " + std::to_string(port);
  ShowLine("Opening data connection to %s", {where});

  Sockets2.IPAddr = server;
  Sockets2.Port = std::to_string(port);
  DataErrors errors(Sockets2, true);
  // Cancel Transfer ends the wait for the connect.
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [this] {
    if (AbortFlag && TSockets::WSAIsBlocking()) TSockets::WSACancelBlockingCall();
  });
  watch.start(50);
  {
    BusyCursor busy(*this);
    Sockets2.SConnect();
  }
  watch.stop();
  const bool cancelled = TakeAbort();
  cancelRequested_ = false;  // its interruption was noted here, not by the handler
  if (Sockets2.ConnectionSocket() != -1 && errors.error == 0 && !errors.timedOut && !cancelled)
    return 2;

  std::string note;
  if (errors.timedOut)
    note = "The data connection to " + where + " was not accepted within " +
           std::to_string(Sockets2.Timeout) + " seconds, transfer canceled";
  else if (cancelled)
    note = "Data connection canceled";
  else
    note = "The data connection to " + where + " failed: " + GetErrorText(errors.error);
  if (Sockets2.ConnectionSocket() != -1) Sockets2.Disconnect();
  ShowAndLog(note);
  return 5;
}
