// Fuzz target: the reply reader. The input is what a server sends on the
// control connection before it closes; the engine reads replies until it
// finds the connection closed. Every result must be 1 to 5, a final reply
// line must begin with that digit, and the reader must end.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "FuzzUI.h"
#include "ftp/FtpEngine.h"
#include "ftp/Session.h"

namespace {
int g_listen = -1;
int g_port = 0;

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "reply_reader: %s\n", what);
  std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  static QCoreApplication* app = new QCoreApplication(*argc, *argv);
  (void)app;
  g_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (g_listen < 0 || ::bind(g_listen, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(g_listen, 16) != 0 ||
      ::getsockname(g_listen, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    std::perror("reply_reader: listen");
    std::abort();
  }
  g_port = ntohs(addr.sin_port);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 32768) return -1;  // all of it must fit in the socket buffers at once
  FuzzUI ui;
  FtpEngine engine(ui, "/nonexistent/");
  engine.LogEnabled = false;
  engine.Sockets1.Timeout = 10;
  Check(OpenControlConnection(engine, "127.0.0.1", std::to_string(g_port)), "connect failed");
  engine.Connected = true;
  int server = ::accept4(g_listen, nullptr, nullptr, SOCK_CLOEXEC);
  Check(server >= 0, "accept failed");
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::send(server, data + done, size - done, MSG_NOSIGNAL);
    Check(n > 0, "server send failed");
    done += static_cast<size_t>(n);
  }
  ::shutdown(server, SHUT_WR);

  // Each read takes at least one byte or finds the connection closed.
  for (size_t round = 0; round <= size + 1 && !engine.ControlClosed; ++round) {
    int result = engine.ReadReply();
    Check(result >= 1 && result <= 5, "result out of range");
    if (engine.ControlClosed) break;
    const std::string& line = engine.LastReply;
    Check(!line.empty(), "a final reply with no line");
    Check(line[0] - '0' == result, "result differs from the line's first digit");
    Check(line.size() < 4 || line[3] != '-', "a continuation line taken as final");
  }
  Check(engine.ControlClosed, "the reader did not reach the end of the input");
  Check(ui.boxes == 0, "a box was shown for a clean close");
  ::close(server);
  return 0;
}
