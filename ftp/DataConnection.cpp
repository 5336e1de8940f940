// The data connection: in active mode listen, announce with PORT, accept;
// in passive mode (PassiveData.cpp) it is opened before the transfer
// command. The transfers see only SendPort and AcceptDataConnection.
#include <algorithm>
#include <climits>
#include <cstdlib>

#include <QElapsedTimer>
#include <QTimer>

#include "ftp/FtpEngine.h"

namespace {
// Splits a dotted IPv4 address into its four numbers; false when it is not one.
bool SplitAddress(const std::string& text, int octets[4]) {
  size_t start = 0;
  for (int i = 0; i < 4; ++i) {
    size_t dot = i < 3 ? text.find('.', start) : text.size();
    if (dot == std::string::npos || dot == start || dot - start > 3) return false;
    int value = 0;
    for (size_t k = start; k < dot; ++k) {
      if (text[k] < '0' || text[k] > '9') return false;
      value = value * 10 + (text[k] - '0');
    }
    if (value > 255) return false;
    octets[i] = value;
    start = dot + 1;
  }
  return true;
}
}  // namespace

std::string PortArguments(const std::string& address, int port) {
  int octets[4];
  if (!SplitAddress(address, octets) || port < 0 || port > 65535) return "";
  return Format("%d,%d,%d,%d,%d,%d",
                {octets[0], octets[1], octets[2], octets[3], port >> 8, port & 255});
}

int FtpEngine::SendPort() {
  passiveData_ = Passive;
  if (passiveData_) return OpenPassiveConnection();
  Sockets2.Port.assign(1, '0');  // the system chooses a free port
  // The data connection is announced on the control connection's own
  // address; PORT cannot carry an IPv6 one, EPRT can.
  // The interface of a link-local address is ours alone: the server is not told it.
  std::string local = Sockets1.GetLocalIPAddr(Sockets1.ConnectionSocket());
  local = local.substr(0, local.find('%'));
  const bool v6 = Sockets1.GetAddressFamily(Sockets1.ConnectionSocket()) == AF_INET6;
  Sockets2.ListenFamily = v6 ? AF_INET6 : AF_INET;
  Sockets2.Listen();
  int port = std::atoi(Sockets2.GetLocalPort(Sockets2.ListeningSocket()).c_str());
  std::string arguments = v6 ? "|2|" + local + "|" + std::to_string(port) + "|"
                             : PortArguments(local, port);
  // The address the data connection must come from, taken while the control
  // connection stands: it may be gone by the time the data arrives.
  dataServer_ = Sockets1.GetPeerIPAddr(Sockets1.ConnectionSocket());
  if (local.empty() || arguments.empty()) {
    ShowLine("Could not find the local address for the data connection");
    return 5;
  }
  return SendCommand(v6 ? "EPRT %s" : "PORT %s", {arguments});
}

int FtpEngine::AcceptDataConnection() {
  if (passiveData_) {
    // Opened already; without it the transfer ends at its next check.
    if (Sockets2.ConnectionSocket() == -1) {
      AbortFlag = true;
    } else if (!TlsOnDataConnection(*this)) {
      Sockets2.Disconnect();
      return -1;
    }
    return Sockets2.ConnectionSocket();
  }
  // Refused strangers do not start the wait again: the whole wait ends at
  // one deadline, through the component's own time-out notice.
  struct TimeoutScope {
    TSockets& s;
    int saved;
    ~TimeoutScope() { s.Timeout = saved; }
  } restore{Sockets2, Sockets2.Timeout};
  const qint64 limitMs = static_cast<qint64>(std::min(Sockets2.Timeout, INT_MAX / 1000)) * 1000;
  QTimer deadline;
  deadline.setSingleShot(true);
  QObject::connect(&deadline, &QTimer::timeout, &Sockets2, &TSockets::TimerFired);
  QElapsedTimer clock;
  clock.start();
  if (limitMs > 0) {
    Sockets2.Timeout = 0;
    deadline.start(static_cast<int>(limitMs));
  }
  // A connection that never comes is often one a router or firewall stops.
  DataErrors errors(Sockets2, false);
  const auto hint = [&] {
    ShowLine("No data connection came from the server in time: where a router or firewall "
             "stands between, passive mode (in Setup) may help");
  };
  for (;;) {
    if (limitMs > 0 && clock.elapsed() >= limitMs) {
      AbortFlag = true;  // the deadline passed between two accepts
      hint();
      return -1;
    }
    int socket = Sockets2.Accept();
    if (socket == -1) {
      if (errors.timedOut) hint();
      return -1;
    }
    if (!VerifyDataPeer) break;
    // In active mode anyone may reach the port first: only the server we
    // are talking to may send or take the data.
    std::string peer = Sockets2.GetPeerIPAddr(socket);
    if (peer == dataServer_) break;
    ShowLine("Data connection from %s refused: the server is %s", {peer, dataServer_});
    Sockets2.Disconnect();
    if (TakeAbort()) {
      AbortFlag = true;  // leave the request for the caller's check
      return -1;
    }
  }
  // One data connection per transfer: nobody else may connect now.
  if (Sockets2.ListeningSocket() != -1) Sockets2.CancelListen();
  if (!TlsOnDataConnection(*this)) {
    Sockets2.Disconnect();
    return -1;
  }
  return Sockets2.ConnectionSocket();
}

void FtpEngine::CloseDataConnection(bool abandon) {
  if (Sockets2.ListeningSocket() != -1) Sockets2.CancelListen();
  if (Sockets2.ConnectionSocket() != -1) Sockets2.Disconnect(abandon);
}
