#include "ScriptedPeer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <sstream>
#include <stdexcept>

#include "TestBytes.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSliceMs = 50;  // how often a wait looks at the stop request

std::string Shown(const std::string& bytes) {  // the first 80 bytes, C escapes for the rest
  std::string out;
  char one[8];
  for (unsigned char c : bytes.substr(0, 80))
    out += (std::snprintf(one, sizeof one, c == '\r' ? "\\r" : c == '\n' ? "\\n" : c < 32 || c > 126 ? "\\x%02x" : "%c", c), one);
  return bytes.size() > 80 ? out + "...(" + std::to_string(bytes.size()) + " bytes)" : out;
}

std::string ErrorText() { return std::strerror(errno); }
Clock::time_point After(int ms) { return Clock::now() + std::chrono::milliseconds(ms); }
int MsLeft(Clock::time_point end) {
  return std::max(0, int(std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count()));
}
void SetOption(int fd, int level, int option) {
  int one = 1;
  ::setsockopt(fd, level, option, &one, sizeof one);
}
// A socket listening on 127.0.0.1 at a free port, with a queue of `backlog`.
int Listen(int backlog, int& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
  socklen_t len = sizeof addr;
  SetOption(fd, SOL_SOCKET, SO_REUSEADDR);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) != 0 || ::listen(fd, backlog) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
    return ::close(fd), -1;
  return port = ntohs(addr.sin_port), fd;
}

std::string Trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t");
  return b == std::string::npos ? "" : s.substr(b, s.find_last_not_of(" \t") - b + 1);
}
std::string Unescape(const std::string& text) {  // \r \n \t \xNN, and \ before any other
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i] == '\\' && i + 1 < text.size() ? text[++i] : 0;
    if (c == 'x' && i + 2 < text.size())
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16)), i += 2;
    else
      out += c == 0 ? text[i] : c == 'r' ? '\r' : c == 'n' ? '\n' : c == 't' ? '\t' : c;
  }
  return out;
}
std::string Filled(std::string text, int port) {  // {port}, {p1}, {p2}: the data listener's port
  for (auto [key, value] : {std::pair{"{port}", port}, {"{p1}", port / 256}, {"{p2}", port % 256}})
    for (size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, std::strlen(key), std::to_string(value));
  return text;
}

}  // namespace

ScriptedPeer::ScriptedPeer() {
  if ((listenFd_ = Listen(5, port_)) < 0) throw std::runtime_error("ScriptedPeer: cannot listen: " + ErrorText());
}

ScriptedPeer::~ScriptedPeer() {
  Locked([&] { stop_ = true; });
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
  for (int* fd : {&dataFd_, &controlFd_, &dataListenFd_, &fillerFd_, &listenFd_}) Drop(*fd);
  if (::testing::Test::HasFailure() || std::uncaught_exceptions() > 0)
    std::cerr << "---- scripted FTP peer (port " << port_ << ") ----\n"
              << Trace() << "---- end of scripted FTP peer ----\n";
}

std::vector<std::string> ScriptedPeer::Wire() const {
  std::vector<std::string> wire = Commands();
  for (std::string& command : wire)
    if (command.rfind("PORT ", 0) == 0) command = "PORT";
  return wire;
}

// ---- Script steps ----

ScriptedPeer& ScriptedPeer::Play(const std::string& script) {
  const auto add = [this](std::function<bool()> step) { steps_.push_back(std::move(step)); };
  // Without its connection a control step ends the script; a data step is a
  // failure, and the script goes on.
  const auto control = [=, this](std::function<bool()> step) {
    add([=, this] { return controlFd_ >= 0 ? step() : Fail("no control connection"); });
  };
  const auto data = [=, this](std::function<bool()> step) {
    add([=, this] { return dataFd_ >= 0 ? step() : !Fail("no data connection"); });
  };
  const auto send = [=, this](std::string bytes) { control([=, this] { return SendAll(controlFd_, Filled(bytes, dataPort_)); }); };
  const auto drop = [=, this](std::string note, int& fd, bool reset) { add([=, this, &fd] { return Note(note), Drop(fd, reset), true; }); };
  std::istringstream in(script);
  for (std::string raw, line; std::getline(in, raw);) {
    if ((line = Trim(raw)).empty()) continue;
    // The step word: the run of < and > signs, or up to the first space
    // ("data" and the word after it).
    const size_t space = std::min(line[0] == '<' || line[0] == '>' ? line.find_first_not_of("<>")
                                                                   : line.find(' ', line.rfind("data ", 0) == 0 ? 5 : 0),
                                  line.size());
    const std::string word = line.substr(0, space), arg = Trim(line.substr(space)), bar = " | ";
    if (word == ">>") send(Unescape(arg));
    else if (word == ">") send(Unescape(arg) + "\r\n");
    else if (word == "<") {
      control([=, this] { return Expect(Trim(arg.substr(0, arg.find(bar)))); });
      if (arg.find(bar) != std::string::npos) send(Unescape(Trim(arg.substr(arg.find(bar) + 3))) + "\r\n");
    } else if (word == "pause" || word == "data stall")
      add([=, this, ms = std::stoi(arg)] { return Note(word + " " + arg + " ms"), Sleep(ms); });
    else if (line == "close") drop("close control", controlFd_, false);
    else if (line == "reset") drop("reset control", controlFd_, true);
    else if (line == "accept") add([this] { return Drop(dataFd_), Drop(controlFd_), AcceptControl(); });
    else if (line == "data connect" || word == "data from") add([=, this] { return ConnectData(word == "data from" ? arg : ""); });
    else if (word == "data send") data([=, this, bytes = Unescape(arg)] { return SendAll(dataFd_, bytes); });
    else if (word == "data pattern") data([=, this, bytes = Pattern(std::stoul(arg))] { return SendAll(dataFd_, bytes); });
    else if (line == "data recv")
      data([this] {
        char buffer[65536];
        for (const Time end = After(kTimeoutMs);;) {
          const int ready = PollFor(dataFd_, POLLIN, end);
          if (ready <= 0)  // a time-out fails the step, and the script goes on
            return ready == 0 && !Fail("the client did not close the data connection in time");
          const ssize_t n = ::recv(dataFd_, buffer, sizeof buffer, 0);
          if (n > 0) Locked([&] { data_.back().append(buffer, static_cast<size_t>(n)); });
          else if (n == 0 || errno != EINTR)
            return Note("data received " + std::to_string(DataConnections().back().size()) + " bytes, then " +
                        (n == 0 ? "the client closed" : "error: " + ErrorText()));
        }
      });
    else if (line == "data close") drop("data close", dataFd_, false);
    else if (line == "data reset") drop("data reset", dataFd_, true);
    else if (line == "data refuse") add([this] { return Note("data connection refused (not made)"); });
    else if (word == "data flood")
      data([this, end = std::stoi(arg)] {
        const std::string block = Pattern(65536);
        for (const Time until = After(end); PollFor(dataFd_, POLLOUT, until) > 0;)
          if (::send(dataFd_, block.data(), block.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0 && errno != EAGAIN)
            break;
        return Note("data flood ended") && !stop_;
      });
    else if (word == "data listen")
      add([this, full = arg == "full"] {
        Drop(dataListenFd_), Drop(fillerFd_);
        // Full: a queue of one taken by a connection of our own, so later SYNs are dropped.
        sockaddr_in addr{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        if ((dataListenFd_ = Listen(0, dataPort_)) < 0 ||
            (full && ((fillerFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)),
                      addr.sin_port = htons(static_cast<uint16_t>(dataPort_)),
                      ::connect(fillerFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)))
          return Fail("data listen: " + ErrorText());
        return Note("data listening on port " + std::to_string(dataPort_));
      });
    else if (line == "data accept")
      add([this] {
        if (const int ready = PollFor(dataListenFd_, POLLIN, After(kTimeoutMs)); ready <= 0)
          return ready == 0 && !Fail("no data connection came to the listening port");
        Drop(dataFd_), dataFd_ = ::accept4(dataListenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        return Locked([&] { data_.emplace_back(); }), Note("data connection accepted");
      });
    else throw std::invalid_argument("scripted peer: cannot read step: " + line);
  }
  return *this;
}

bool ScriptedPeer::Expect(const std::string& prefix) {
  Read r = Read::Data;  // reads control until a command waits, or it ends
  for (const Time end = After(kTimeoutMs); consumed_ >= Commands().size() && r == Read::Data;) r = ReadControl(end);
  if (r != Read::Data)
    return r != Read::Stopped &&
           Fail((r == Read::Closed ? "the client closed the control connection"
                                   : "no command within " + std::to_string(kTimeoutMs) + " ms") +
                " while '" + prefix + "' was expected");
  const std::string line = Commands()[consumed_++];
  return line.compare(0, prefix.size(), prefix) == 0 || !Fail("expected '" + prefix + "', received '" + Shown(line) + "'");
}

// ---- Running ----

void ScriptedPeer::Run() {
  if (AcceptControl())
    for (size_t i = 0; i < steps_.size() && !stop_; ++i)
      if (at_ = "step " + std::to_string(i + 1) + ": "; !steps_[i]()) break;
  at_.clear();
  Locked([&] { finished_ = true; });
  changed_.notify_all();
  Note("script ended");
  while (controlFd_ >= 0 && ReadControl(After(kSliceMs)) != Read::Closed && !stop_) {}  // records what comes until the client closes
  Drop(dataFd_), Drop(controlFd_);
}

int ScriptedPeer::PollFor(int fd, short events, Time end) {
  for (pollfd p{fd, events, 0}; !stop_;) {
    if (::poll(&p, 1, std::min(kSliceMs, MsLeft(end))) > 0) return 1;
    if (MsLeft(end) == 0) return 0;
  }
  return -1;
}

bool ScriptedPeer::AcceptControl() {
  if (const int ready = PollFor(listenFd_, POLLIN, After(kTimeoutMs)); ready <= 0)
    return ready == 0 && Fail("no client connected within " + std::to_string(kTimeoutMs) + " ms");
  controlFd_ = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
  SetOption(controlFd_, SOL_SOCKET, SO_OOBINLINE);
  SetOption(controlFd_, IPPROTO_TCP, TCP_NODELAY);
  pendingText_.clear();
  Locked([&] { clientClosed_ = false; });
  return Note("control connection accepted");
}

ScriptedPeer::Read ScriptedPeer::ReadControl(Time end) {
  const int ready = PollFor(controlFd_, POLLIN | POLLPRI, end);
  if (ready <= 0) return ready < 0 ? Read::Stopped : Read::Timeout;
  // With SO_OOBINLINE the urgent byte stays in the stream and a read stops
  // just before it, so checking the mark before every read sees each one.
  if (::sockatmark(controlFd_) == 1) Locked([&] { ++urgentCount_; });
  char buffer[4096];
  const ssize_t n = ::recv(controlFd_, buffer, sizeof buffer, 0);
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return Read::Data;
  if (n <= 0) {
    Note(n == 0 ? "the client closed the control connection" : "control receive error: " + ErrorText());
    Drop(controlFd_);
    Locked([&] { clientClosed_ = true; });
  }
  pendingText_.append(buffer, static_cast<size_t>(std::max<ssize_t>(n, 0)));
  for (size_t lf; (lf = pendingText_.find('\n')) != std::string::npos; pendingText_.erase(0, lf + 1)) {
    const std::string line = pendingText_.substr(0, lf - (lf > 0 && pendingText_[lf - 1] == '\r'));
    Locked([&] { commands_.push_back(line); });
    Note("received " + Shown(line));
  }
  changed_.notify_all();
  return n <= 0 ? Read::Closed : Read::Data;
}

// A control connection that goes away under a reply means the script did
// not match; a client may drop a data connection on purpose (cancel).
bool ScriptedPeer::SendAll(int fd, const std::string& bytes) {
  const bool control = fd == controlFd_;
  const std::string what = control ? "control send" : "data send";
  Note(what + " " + Shown(bytes));
  for (size_t done = 0; done < bytes.size();) {
    const int ready = PollFor(fd, POLLOUT, After(kTimeoutMs));  // restarts with progress
    if (ready <= 0)
      return ready == 0 && !Fail(what + ": the client took no data for " + std::to_string(kTimeoutMs) + " ms") && !control;
    const ssize_t sent = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent > 0) done += static_cast<size_t>(sent);
    else if (errno != EINTR && errno != EAGAIN)
      return control ? Fail(what + " stopped after " + std::to_string(done) + " bytes: " + ErrorText())
                     : Note(what + " stopped after " + std::to_string(done) + " bytes: " + ErrorText());
  }
  return true;
}

// Always goes on with the script: a failed connect is recorded as a failure.
bool ScriptedPeer::ConnectData(const std::string& from) {
  std::string port;  // the last PORT's argument
  for (const auto& c : Commands())
    if (::strncasecmp(c.c_str(), "PORT ", 5) == 0) port = c.substr(5);
  unsigned v[6] = {};
  if (std::sscanf(port.c_str(), "%u,%u,%u,%u,%u,%u", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]) != 6 ||
      *std::max_element(v, v + 6) > 255)
    return !Fail("no usable PORT command to connect to ('" + Shown(port) + "')");
  sockaddr_in addr{AF_INET, htons(static_cast<uint16_t>(v[4] * 256 + v[5])), {htonl(v[0] << 24 | v[1] << 16 | v[2] << 8 | v[3])}, {}};
  sockaddr_in source{AF_INET, 0, {}, {}};
  Drop(dataFd_);
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const timeval limit{kTimeoutMs / 1000, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);  // bounds connect()
  // A client that takes the connection and drops it at once (it refuses a
  // stranger) may do so before connect() returns: it was made all the same.
  if ((!from.empty() && (::inet_pton(AF_INET, from.c_str(), &source.sin_addr) != 1 ||
                         ::bind(fd, reinterpret_cast<sockaddr*>(&source), sizeof source) != 0)) ||
      (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 && errno != ECONNRESET && errno != EPIPE))
    return Fail("data connection to " + port + " failed: " + ErrorText()), Drop(fd), true;
  SetOption(fd, IPPROTO_TCP, TCP_NODELAY);
  dataFd_ = fd;
  Locked([&] { data_.emplace_back(); });
  return Note("data connected to " + port + (from.empty() ? "" : " from " + from));
}

void ScriptedPeer::Drop(int& fd, bool reset) {
  const linger hard{1, 0};
  if (fd >= 0 && reset) ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  if (fd >= 0) ::close(fd);
  fd = -1;
}

bool ScriptedPeer::Fail(const std::string& text) {
  Locked([&] { failures_.push_back(at_ + text); });
  Note("FAILURE: " + at_ + text);
  return false;
}

bool ScriptedPeer::Note(const std::string& text) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_);
  Locked([&] { trace_ += "[" + std::to_string(ms.count()) + " ms] " + text + "\n"; });
  return true;
}
