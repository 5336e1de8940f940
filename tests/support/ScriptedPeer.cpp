#include "ScriptedPeer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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

std::string Shown(const std::string& bytes) {
  std::string out;
  char one[8];
  for (unsigned char c : bytes.substr(0, 80)) {
    const char* form = c == '\r' ? "\\r" : c == '\n' ? "\\n" : c < 32 || c > 126 ? "\\x%02x" : "%c";
    std::snprintf(one, sizeof one, form, c);
    out += one;
  }
  return bytes.size() > 80 ? out + "...(" + std::to_string(bytes.size()) + " bytes)" : out;
}

std::string ErrorText(int error = errno) { return std::strerror(error); }
Clock::time_point After(int ms) { return Clock::now() + std::chrono::milliseconds(ms); }
int MsLeft(Clock::time_point end) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}
void SetOption(int fd, int level, int option) {
  int one = 1;
  ::setsockopt(fd, level, option, &one, sizeof one);
}
sockaddr_in Address(uint32_t host, unsigned port) {
  return {AF_INET, htons(static_cast<uint16_t>(port)), {htonl(host)}, {}};
}
sockaddr* Raw(sockaddr_in& a) { return reinterpret_cast<sockaddr*>(&a); }

std::string Trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t");
  return b == std::string::npos ? "" : s.substr(b, s.find_last_not_of(" \t") - b + 1);
}
bool Starts(const std::string& s, const std::string& head, std::string& rest) {
  rest = Trim(s.substr(std::min(head.size(), s.size())));
  return s.compare(0, head.size(), head) == 0;
}
std::string Unescape(const std::string& text) {  // \r \n \t \xNN, and \ before any other
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i] == '\\' && i + 1 < text.size() ? text[++i] : 0;
    if (c == 'x' && i + 2 < text.size()) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += c == 0 ? text[i] : c == 'r' ? '\r' : c == 'n' ? '\n' : c == 't' ? '\t' : c;
    }
  }
  return out;
}

}  // namespace

ScriptedPeer::ScriptedPeer() : listenFd_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
  sockaddr_in addr = Address(INADDR_LOOPBACK, 0);
  socklen_t len = sizeof addr;
  SetOption(listenFd_, SOL_SOCKET, SO_REUSEADDR);
  if (::bind(listenFd_, Raw(addr), sizeof addr) != 0 || ::listen(listenFd_, 5) != 0 ||
      ::getsockname(listenFd_, Raw(addr), &len) != 0) {
    const std::string error = ErrorText();
    ::close(listenFd_);
    throw std::runtime_error("ScriptedPeer: cannot listen: " + error);
  }
  port_ = ntohs(addr.sin_port);
}

ScriptedPeer::~ScriptedPeer() {
  Locked([&] { stop_ = true; });
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
  Drop(dataFd_, false);
  Drop(controlFd_, false);
  Drop(dataListenFd_, false);
  Drop(fillerFd_, false);
  ::close(listenFd_);
  if (::testing::Test::HasFailure() || std::uncaught_exceptions() > 0)
    std::cerr << "---- scripted FTP peer (port " << port_ << ") ----\n"
              << Trace() << "---- end of scripted FTP peer ----\n";
}

// ---- Script steps ----

ScriptedPeer& ScriptedPeer::Play(const std::string& script) {
  std::istringstream in(script);
  for (std::string raw, line, arg; std::getline(in, raw);) {
    if ((line = Trim(raw)).empty()) continue;
    if (Starts(line, ">>", arg)) Send(Unescape(arg));
    else if (Starts(line, ">", arg)) Send(Unescape(arg) + "\r\n");
    else if (Starts(line, "<", arg) && arg.find(" | ") == std::string::npos) Expect(arg);
    else if (Starts(line, "<", arg))
      Reply(Trim(arg.substr(0, arg.find(" | "))),
            Unescape(Trim(arg.substr(arg.find(" | ") + 3))) + "\r\n");
    else if (Starts(line, "pause", arg)) Pause(std::stoi(arg));
    else if (line == "close") Close();
    else if (line == "reset") Reset();
    else if (line == "urgent") ExpectUrgent();
    else if (line == "expect close") ExpectClose();
    else if (line == "accept") Accept();
    else if (line == "data connect") DataConnect();
    else if (Starts(line, "data from", arg)) DataConnectFrom(arg);
    else if (Starts(line, "data send", arg)) DataSend(Unescape(arg));
    else if (Starts(line, "data pattern", arg)) DataSend(Pattern(std::stoul(arg)));
    else if (line == "data recv") DataReceiveAll();
    else if (line == "data close") DataClose();
    else if (line == "data reset") DataReset();
    else if (line == "data refuse") DataRefuse();
    else if (Starts(line, "data stall", arg)) DataStall(std::stoi(arg));
    else if (Starts(line, "data listen", arg) && (arg.empty() || arg == "full")) DataListen(!arg.empty());
    else if (line == "data accept") DataAccept();
    else throw std::invalid_argument("scripted peer: cannot read step: " + line);
  }
  return *this;
}

ScriptedPeer& ScriptedPeer::Add(std::function<bool()> step) {
  if (started_) throw std::logic_error("ScriptedPeer: steps must be added before Start()");
  steps_.push_back(std::move(step));
  return *this;
}
// Without its connection a control step ends the script; a data step is a
// failure, and the script goes on.
ScriptedPeer& ScriptedPeer::OnControl(std::function<bool()> step) {
  return Add([=, this] { return controlFd_ >= 0 ? step() : Fail("no control connection"); });
}
ScriptedPeer& ScriptedPeer::OnData(std::function<bool()> step) {
  return Add([=, this] { return dataFd_ >= 0 ? step() : !Fail("no data connection"); });
}
ScriptedPeer& ScriptedPeer::Noted(const std::string& note, std::function<bool()> step) {
  return Add([=, this] { return Note(note), step(); });
}

ScriptedPeer& ScriptedPeer::SendPieces(const std::vector<std::string>& pieces, int pauseMs) {
  return OnControl([=, this] { return SendEach(controlFd_, pieces, pauseMs, kDefaultTimeoutMs); });
}
ScriptedPeer& ScriptedPeer::DataSend(const std::string& bytes, int timeoutMs) {
  return OnData([=, this] { return SendEach(dataFd_, {bytes}, 0, timeoutMs); });
}
ScriptedPeer& ScriptedPeer::DataSendPieces(const std::vector<std::string>& pieces, int pauseMs) {
  return OnData([=, this] { return SendEach(dataFd_, pieces, pauseMs, kDefaultTimeoutMs); });
}

ScriptedPeer& ScriptedPeer::Expect(const std::string& prefix, int timeoutMs) {
  return OnControl([=, this] {
    Read r = Read::Data;
    for (const Time end = After(timeoutMs); consumed_ == Commands().size() && r == Read::Data;)
      r = ReadControl(end);
    if (r == Read::Stopped) return false;
    if (r != Read::Data)
      return Fail((r == Read::Closed ? "the client closed the control connection"
                                     : "no command within " + std::to_string(timeoutMs) + " ms") +
                  " while '" + prefix + "' was expected");
    const std::string line = Commands()[consumed_++];
    if (line.compare(0, prefix.size(), prefix) != 0)
      Fail("expected '" + prefix + "', received '" + Shown(line) + "'");
    return true;
  });
}

ScriptedPeer& ScriptedPeer::ExpectUrgent(int timeoutMs) {
  return OnControl([=, this] {
    Read r = Read::Data;
    for (const Time end = After(timeoutMs); !UrgentSeen() && r == Read::Data;) r = ReadControl(end);
    if (r == Read::Stopped) return false;
    if (UrgentSeen()) return Note("urgent data seen"), true;
    return !Fail("no urgent data arrived") && r == Read::Timeout;  // lost control ends the script
  });
}

ScriptedPeer& ScriptedPeer::ExpectClose(int timeoutMs) {
  return OnControl([=, this] {
    Read r = Read::Data;
    for (const Time end = After(timeoutMs); r == Read::Data;) r = ReadControl(end);
    if (r == Read::Timeout) Fail("the client did not close the control connection");
    return r == Read::Closed;
  });
}

ScriptedPeer& ScriptedPeer::Accept(int timeoutMs) {
  return Add([=, this] {
    return Drop(dataFd_, false) && Drop(controlFd_, false) && AcceptControl(timeoutMs);
  });
}
ScriptedPeer& ScriptedPeer::DataConnectFrom(const std::string& sourceAddress, int timeoutMs) {
  return Add([=, this] { return ConnectData(sourceAddress, timeoutMs), true; });
}

ScriptedPeer& ScriptedPeer::DataListen(bool full) {
  return Add([=, this] {
    Drop(dataListenFd_, false);
    Drop(fillerFd_, false);
    dataListenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr = Address(INADDR_LOOPBACK, 0);
    socklen_t len = sizeof addr;
    if (::bind(dataListenFd_, Raw(addr), sizeof addr) != 0 || ::listen(dataListenFd_, 0) != 0 ||
        ::getsockname(dataListenFd_, Raw(addr), &len) != 0)
      return Fail("data listen: " + ErrorText());
    dataPort_ = ntohs(addr.sin_port);
    // A queue of one taken by a connection of our own: later SYNs are dropped.
    fillerFd_ = full ? ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0) : -1;
    if (full && ::connect(fillerFd_, Raw(addr), sizeof addr) != 0)
      return Fail("data listen full: " + ErrorText());
    return Note("data listening on port " + std::to_string(dataPort_)), true;
  });
}

ScriptedPeer& ScriptedPeer::DataAccept(int timeoutMs) {
  return Add([=, this] {
    const int ready = dataListenFd_ < 0 ? 0 : PollFor(dataListenFd_, POLLIN, After(timeoutMs));
    if (ready <= 0) return ready == 0 && !Fail("no data connection came to port " + std::to_string(dataPort_));
    Drop(dataFd_, false);
    dataFd_ = ::accept4(dataListenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    Locked([&] { data_.emplace_back(); });
    return Note("data connection accepted"), true;
  });
}

ScriptedPeer& ScriptedPeer::DataReceiveAll(int timeoutMs) {
  return OnData([=, this] {
    char buffer[65536];
    for (const Time end = After(timeoutMs);;) {
      const int ready = PollFor(dataFd_, POLLIN, end);
      if (ready <= 0)  // a time-out fails the step, and the script goes on
        return ready == 0 && !Fail("the client did not close the data connection in time");
      const ssize_t n = ::recv(dataFd_, buffer, sizeof buffer, 0);
      if (n > 0) Locked([&] { data_.back().append(buffer, static_cast<size_t>(n)); });
      else if (n == 0 || errno != EINTR)
        return Note("data received " + std::to_string(DataConnections().back().size()) +
                    " bytes, then " + (n == 0 ? "the client closed" : "error: " + ErrorText())),
               true;
    }
  });
}

// ---- Running ----

void ScriptedPeer::Start() {
  if (started_) throw std::logic_error("ScriptedPeer: started twice");
  started_ = true;
  thread_ = std::thread([this] { Run(); });
}

bool ScriptedPeer::Wait(int timeoutMs) { return WaitUntil(timeoutMs, [&] { return finished_; }); }
bool ScriptedPeer::WaitForCommands(size_t count, int timeoutMs) {
  return WaitUntil(timeoutMs, [&] { return commands_.size() >= count; });
}
bool ScriptedPeer::WaitForClose(int timeoutMs) {
  return WaitUntil(timeoutMs, [&] { return clientClosed_; });
}
bool ScriptedPeer::WaitUntil(int ms, const std::function<bool()>& done) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(ms), done);
}
bool ScriptedPeer::Sleep(int ms) { return !WaitUntil(ms, [&] { return stop_.load(); }); }

std::string ScriptedPeer::DataReceived() const {
  std::string all;
  for (auto& d : DataConnections()) all += d;
  return all;
}

void ScriptedPeer::Run() {
  if (AcceptControl(kDefaultTimeoutMs))
    for (size_t i = 0; i < steps_.size() && !stop_; ++i) {
      at_ = "step " + std::to_string(i + 1) + ": ";
      if (!steps_[i]()) break;
    }
  at_.clear();
  Locked([&] { finished_ = true; });
  changed_.notify_all();
  Note("script ended");
  while (controlFd_ >= 0 && ReadControl(After(kSliceMs)) != Read::Closed && !stop_) {
  }  // records what the client still sends, until it closes
  Drop(dataFd_, false);
  Drop(controlFd_, false);
}

int ScriptedPeer::PollFor(int fd, short events, Time end) {
  for (pollfd p{fd, events, 0}; !stop_;) {
    if (::poll(&p, 1, std::min(kSliceMs, MsLeft(end))) > 0) return 1;
    if (MsLeft(end) == 0) return 0;
  }
  return -1;
}

bool ScriptedPeer::AcceptControl(int timeoutMs) {
  for (const Time end = After(timeoutMs); controlFd_ < 0;) {
    const int ready = PollFor(listenFd_, POLLIN, end);
    if (ready == 0) Fail("no client connected within " + std::to_string(timeoutMs) + " ms");
    if (ready <= 0) return false;
    controlFd_ = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
  }
  SetOption(controlFd_, SOL_SOCKET, SO_OOBINLINE);
  SetOption(controlFd_, IPPROTO_TCP, TCP_NODELAY);
  pendingText_.clear();
  Locked([&] { clientClosed_ = false; });
  Note("control connection accepted");
  return true;
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
    Note(n == 0 ? "the client closed the control connection"
                : "control receive error: " + ErrorText());
    Drop(controlFd_, false);
    Locked([&] { clientClosed_ = true; });
  }
  pendingText_.append(buffer, static_cast<size_t>(std::max<ssize_t>(n, 0)));
  for (size_t lf; (lf = pendingText_.find('\n')) != std::string::npos;
       pendingText_.erase(0, lf + 1)) {
    const std::string line = pendingText_.substr(0, lf - (lf > 0 && pendingText_[lf - 1] == '\r'));
    Locked([&] { commands_.push_back(line); });
    Note("received " + Shown(line));
  }
  changed_.notify_all();
  return n <= 0 ? Read::Closed : Read::Data;
}

// A control connection that goes away under a reply means the script did
// not match; a client may drop a data connection on purpose (cancel).
bool ScriptedPeer::SendEach(int fd, const std::vector<std::string>& pieces, int pauseMs,
                            int timeoutMs) {
  const bool control = fd == controlFd_;
  const std::string what = control ? "control send" : "data send";
  for (size_t i = 0; i < pieces.size(); ++i) {
    if (i > 0 && !Sleep(pauseMs)) return false;
    std::string filled = pieces[i];
    for (auto [key, value] : {std::pair<std::string, int>{"{port}", dataPort_},
                              {"{p1}", dataPort_ / 256}, {"{p2}", dataPort_ % 256}})
      for (size_t at; control && (at = filled.find(key)) != std::string::npos;)
        filled.replace(at, key.size(), std::to_string(value));
    Note(what + " " + Shown(filled));
    for (size_t done = 0; done < filled.size();) {
      const int ready = PollFor(fd, POLLOUT, After(timeoutMs));  // restarts with progress
      if (ready < 0) return false;
      const std::string& piece = filled;
      const ssize_t sent = ready == 0 ? -1 : ::send(fd, piece.data() + done, piece.size() - done,
                                                    MSG_NOSIGNAL | MSG_DONTWAIT);
      if (sent > 0) {
        done += static_cast<size_t>(sent);
      } else if (ready == 0) {
        Fail(what + ": the client took no data for " + std::to_string(timeoutMs) + " ms");
        return !control;
      } else if (errno != EINTR && errno != EAGAIN) {
        const std::string text =
            what + " stopped after " + std::to_string(done) + " bytes: " + ErrorText();
        return control ? Fail(text) : (Note(text), true);
      }
    }
  }
  return true;
}

void ScriptedPeer::ConnectData(const std::string& from, int timeoutMs) {
  const std::string port = Locked([&] {
    auto it = std::find_if(commands_.rbegin(), commands_.rend(), [](const std::string& c) {
      return ::strncasecmp(c.c_str(), "PORT ", 5) == 0;
    });
    return it == commands_.rend() ? std::string() : *it;
  });
  unsigned v[6];
  if (port.size() < 5 ||
      std::sscanf(port.c_str() + 5, "%u,%u,%u,%u,%u,%u", &v[0], &v[1], &v[2], &v[3], &v[4],
                  &v[5]) != 6 ||
      *std::max_element(v, v + 6) > 255)
    return (void)Fail("no usable PORT command to connect to ('" + Shown(port) + "')");
  sockaddr_in addr = Address(v[0] << 24 | v[1] << 16 | v[2] << 8 | v[3], v[4] * 256 + v[5]);
  sockaddr_in source = Address(0, 0);
  Drop(dataFd_, false);
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const timeval limit{timeoutMs / 1000, timeoutMs % 1000 * 1000};
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);  // bounds connect()
  // A client that takes the connection and drops it at once (it refuses a
  // stranger) may do so before connect() returns: it was made all the same.
  if ((!from.empty() && (::inet_pton(AF_INET, from.c_str(), &source.sin_addr) != 1 ||
                         ::bind(fd, Raw(source), sizeof source) != 0)) ||
      (::connect(fd, Raw(addr), sizeof addr) != 0 && errno != ECONNRESET && errno != EPIPE)) {
    Fail("data connection to " + port.substr(5) + " failed: " + ErrorText());
    ::close(fd);
    return;
  }
  SetOption(fd, IPPROTO_TCP, TCP_NODELAY);
  dataFd_ = fd;
  Locked([&] { data_.emplace_back(); });
  Note("data connected to " + port.substr(5) + (from.empty() ? "" : " from " + from));
}

bool ScriptedPeer::Drop(int& fd, bool reset) {
  const linger hard{1, 0};
  if (fd >= 0 && reset) ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  if (fd >= 0) ::close(fd);
  fd = -1;
  return true;
}

bool ScriptedPeer::Fail(const std::string& text) {
  Locked([&] { failures_.push_back(at_ + text); });
  Note("FAILURE: " + at_ + text);
  return false;
}

void ScriptedPeer::Note(const std::string& text) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_);
  Locked([&] { trace_ += "[" + std::to_string(ms.count()) + " ms] " + text + "\n"; });
}
