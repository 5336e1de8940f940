#include "RawFtpClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace {

constexpr int kTimeoutMs = 10000;

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error("RawFtpClient: " + what + ": " + std::strerror(errno));
}

void WaitFor(int fd, short events, const char* what) {
  pollfd p{fd, events, 0};
  int n = ::poll(&p, 1, kTimeoutMs);
  if (n == 0) throw std::runtime_error(std::string("RawFtpClient: time-out in ") + what);
  if (n < 0) Fail(what);
}

sockaddr_in Loopback(int port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return addr;
}

void SendAll(int fd, const std::string& bytes, int flags) {
  size_t done = 0;
  while (done < bytes.size()) {
    WaitFor(fd, POLLOUT, "send");
    ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, flags | MSG_NOSIGNAL);
    if (n < 0) Fail("send");
    done += static_cast<size_t>(n);
  }
}

}  // namespace

RawFtpClient::RawFtpClient(int port) {
  control_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr = Loopback(port);
  if (::connect(control_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    int error = errno;
    ::close(control_);
    errno = error;
    Fail("connect");
  }
}

RawFtpClient::~RawFtpClient() {
  for (int fd : {data_, listen_, control_})
    if (fd >= 0) ::close(fd);
}

void RawFtpClient::SendLine(const std::string& line) { SendAll(control_, line + "\r\n", 0); }

void RawFtpClient::SendUrgent(const std::string& bytes) {
  if (::send(control_, bytes.data(), bytes.size(), MSG_OOB | MSG_NOSIGNAL) !=
      static_cast<ssize_t>(bytes.size()))
    Fail("send urgent");
}

std::string RawFtpClient::ReceiveSome() {
  if (!buffered_.empty()) return std::exchange(buffered_, {});
  WaitFor(control_, POLLIN, "receive");
  char buffer[4096];
  ssize_t n = ::recv(control_, buffer, sizeof buffer, 0);
  if (n < 0) Fail("receive");
  return std::string(buffer, static_cast<size_t>(n));
}

std::string RawFtpClient::ReadLine() {
  size_t lf;
  while ((lf = buffered_.find('\n')) == std::string::npos) {
    std::string more = ReceiveSome();
    if (more.empty()) throw std::runtime_error("RawFtpClient: the server closed the connection");
    buffered_ += more;
  }
  std::string line = buffered_.substr(0, lf);
  buffered_.erase(0, lf + 1);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::string RawFtpClient::ReadReply() {
  for (;;) {
    std::string line = ReadLine();
    if (line.size() >= 4 && line[3] == ' ' && line[0] >= '1' && line[0] <= '5') return line;
    if (line.size() == 3) return line;
  }
}

void RawFtpClient::Listen() {
  listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr = Loopback(0);
  socklen_t len = sizeof addr;
  if (::bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listen_, 1) != 0 ||
      ::getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
    Fail("listen");
  listenPort_ = ntohs(addr.sin_port);
}

std::string RawFtpClient::PortCommand() const {
  return "PORT 127,0,0,1," + std::to_string(listenPort_ >> 8) + "," +
         std::to_string(listenPort_ & 255);
}

void RawFtpClient::Accept() {
  WaitFor(listen_, POLLIN, "accept");
  data_ = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
  if (data_ < 0) Fail("accept");
  ::close(listen_);
  listen_ = -1;
}

void RawFtpClient::DataSend(const std::string& bytes) { SendAll(data_, bytes, 0); }

std::string RawFtpClient::DataReceiveAll() {
  std::string all;
  char buffer[65536];
  for (;;) {
    WaitFor(data_, POLLIN, "data receive");
    ssize_t n = ::recv(data_, buffer, sizeof buffer, 0);
    if (n < 0) Fail("data receive");
    if (n == 0) return all;
    all.append(buffer, static_cast<size_t>(n));
  }
}

void RawFtpClient::DataClose() {
  if (data_ >= 0) ::close(data_);
  data_ = -1;
}
