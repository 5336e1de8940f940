// Fuzz target: the reply reader. The input is what a server sends on the
// control connection before it closes. Every result is 1 to 5 and the
// first digit of the final line, which is no continuation line; the reader
// reaches the close and shows no box for it.
#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <string>

#include "support/RecordingUI.h"  // a UI that ends the input on EndProgram
#include "ftp/FtpEngine.h"
#include "ftp/Session.h"

static int g_listen = -1;
static int g_port = 0;
static void Check(bool ok) { if (!ok) std::abort(); }

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  new QCoreApplication(*argc, *argv);
  sockaddr_in addr{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
  socklen_t len = sizeof addr;
  g_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  Check(::bind(g_listen, reinterpret_cast<sockaddr*>(&addr), len) == 0 && ::listen(g_listen, 16) == 0 &&
        ::getsockname(g_listen, reinterpret_cast<sockaddr*>(&addr), &len) == 0);
  g_port = ntohs(addr.sin_port);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 32768) return -1;  // all of it must fit in the socket buffers at once
  RecordingUI ui;
  FtpEngine engine(ui, "/nonexistent/");
  engine.LogEnabled = false;
  engine.Sockets1.Timeout = 10;
  Check(OpenControlConnection(engine, "127.0.0.1", std::to_string(g_port)));
  engine.Connected = true;
  const int server = ::accept4(g_listen, nullptr, nullptr, SOCK_CLOEXEC);
  Check(server >= 0 && ::send(server, data, size, MSG_NOSIGNAL) == static_cast<ssize_t>(size));
  ::shutdown(server, SHUT_WR);
  // Each read takes at least one byte or finds the connection closed.
  for (size_t round = 0; round <= size + 1 && !engine.ControlGone(); ++round) {
    const int result = engine.ReadReply();
    Check(result >= 1 && result <= 5);
    const std::string& line = engine.LastReply;  // a final line, of the code read
    Check(engine.ControlGone() || (line.size() > 0 && line[0] - '0' == result && (line.size() < 4 || line[3] != '-')));
  }
  Check(engine.ControlGone() && ui.boxes.empty());
  ::close(server);
  return 0;
}
