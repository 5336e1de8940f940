#pragma once
// Small helpers for the socket tests: a box recorder, an error recorder,
// raw loopback peers and a way to run events until something happened.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QElapsedTimer>

#include "net/MessageBoxes.h"
#include "net/TSockets.h"

namespace nettest {

// Records every box and answers OK; ending the program is only recorded.
struct Boxes : MessageBoxes {
  struct Shown {
    std::string text, caption;
    BoxIcon icon;
    unsigned buttons;
  };
  std::vector<Shown> shown;
  int endedWith = -1;
  BoxAnswer ShowMessageBox(const std::string& text, const std::string& caption, BoxIcon icon,
                           unsigned buttons) override {
    shown.push_back({text, caption, icon, buttons});
    return BoxAnswer::OK;
  }
  void EndProgram(int exitCode) override { endedWith = exitCode; }
};

struct Report {
  int socket, error;
  std::string msg;
};

// Attaches an error handler that records every report.
inline void RecordReports(TSockets& s, std::vector<Report>& into) {
  s.OnErrorOccurred = [&into](TSockets*, int socket, int error, const std::string& msg) {
    into.push_back({socket, error, msg});
  };
}

struct Fd {
  int fd = -1;
  Fd() = default;
  explicit Fd(int f) : fd(f) {}
  Fd(Fd&& o) noexcept : fd(o.fd) { o.fd = -1; }
  Fd& operator=(Fd&& o) noexcept {
    if (this != &o) {
      reset();
      fd = o.fd;
      o.fd = -1;
    }
    return *this;
  }
  ~Fd() { reset(); }
  void reset() {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
};

inline sockaddr_in Loopback(int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return a;
}

inline int LocalPort(int fd) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  return ntohs(a.sin_port);
}

// A listening raw socket on 127.0.0.1 with a system-chosen port.
struct RawListener {
  Fd sock{::socket(AF_INET, SOCK_STREAM, 0)};
  int port = 0;
  RawListener() {
    sockaddr_in a = Loopback(0);
    ::bind(sock.fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(sock.fd, 5);
    port = LocalPort(sock.fd);
  }
  std::string PortText() const { return std::to_string(port); }
  // The next connection, waiting at most 5 s.
  Fd AcceptOne() {
    pollfd p{sock.fd, POLLIN, 0};
    if (::poll(&p, 1, 5000) != 1) return Fd();
    return Fd(::accept(sock.fd, nullptr, nullptr));
  }
};

// A port on which nothing listens (bound and released again).
inline int RefusingPort() {
  Fd s(::socket(AF_INET, SOCK_STREAM, 0));
  sockaddr_in a = Loopback(0);
  ::bind(s.fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  return LocalPort(s.fd);
}

// A raw client connected to 127.0.0.1:port (blocking).
inline Fd RawConnect(int port) {
  Fd s(::socket(AF_INET, SOCK_STREAM, 0));
  sockaddr_in a = Loopback(port);
  if (::connect(s.fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) s.reset();
  return s;
}

// Runs events until the condition holds or 10 s have gone; true when it held.
inline bool RunEventsUntil(const std::function<bool()>& done, int limitMs = 10000) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > limitMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ::usleep(1000);
  }
  return true;
}

// Runs events for a while, so that whatever would come has come.
inline void RunEventsFor(int ms) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ::usleep(1000);
  }
}

}  // namespace nettest
