#include "CutProxy.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <string>

namespace {
sockaddr_in Loopback(int port) { return {AF_INET, htons(static_cast<uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}}; }

void Reset(int fd) {
  linger hard{1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  ::close(fd);
}
}  // namespace

CutProxy::CutProxy(int serverPort, std::vector<int> cutAt) : serverPort_(serverPort), cutAt_(std::move(cutAt)) {
  listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a = Loopback(0);
  socklen_t length = sizeof a;
  if (::bind(listen_, reinterpret_cast<sockaddr*>(&a), length) || ::listen(listen_, 8) ||
      ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &length))
    throw std::runtime_error("the proxy cannot listen");
  port_ = ntohs(a.sin_port);
  thread_ = std::thread([this] {
    for (pollfd p{listen_, POLLIN, 0}; !stop_;)
      if (::poll(&p, 1, 50) == 1 && !Forward(::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC))) return;
  });
}

CutProxy::~CutProxy() {
  stop_ = true;
  thread_.join();
  ::close(listen_);
}

bool CutProxy::Forward(int client) {
  const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in to = Loopback(serverPort_);
  ::connect(server, reinterpret_cast<const sockaddr*>(&to), sizeof to);
  using Clock = std::chrono::steady_clock;
  Clock::time_point cut = Clock::time_point::max();
  std::string line;  // the client's line so far
  char buffer[65536];
  for (pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};;) {
    if (stop_) return Reset(client), Reset(server), false;
    // The transfer that the STOR starts is under way when the link breaks.
    if (Clock::now() >= cut) return Reset(client), Reset(server), ++cuts_, true;
    if (::poll(p, 2, 10) <= 0) continue;
    const bool fromClient = p[0].revents != 0;
    const long n = ::recv(fromClient ? client : server, buffer, sizeof buffer, 0);
    if (n <= 0) return ::close(client), ::close(server), true;
    ::send(fromClient ? server : client, buffer, static_cast<size_t>(n), MSG_NOSIGNAL);
    for (long i = 0; fromClient && i < n; ++i)
      if (buffer[i] != '\n') line += buffer[i];
      else if (line.rfind("STOR ", 0) == 0 && std::count(cutAt_.begin(), cutAt_.end(), ++stors_))
        cut = Clock::now() + std::chrono::milliseconds(40), line.clear();
      else line.clear();
  }
}
