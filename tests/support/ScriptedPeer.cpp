#include "ScriptedPeer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <exception>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <stdexcept>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSliceMs = 50;  // how often a wait looks at the stop request

std::string Shown(const std::string& bytes, size_t limit = 80) {
  std::string out;
  for (size_t i = 0; i < bytes.size() && i < limit; ++i) {
    unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (c < 32 || c >= 127) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    } else out += static_cast<char>(c);
  }
  if (bytes.size() > limit) out += "...(" + std::to_string(bytes.size()) + " bytes)";
  return out;
}

std::string ErrorText(int error) { return std::strerror(error); }

int MsLeft(Clock::time_point end) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

void SetNoDelay(int fd) {
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

void Abort(int fd) {  // close with RST
  linger hard{1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  ::close(fd);
}

// "PORT h1,h2,h3,h4,p1,p2" -> address; false when it does not parse.
bool ParsePort(const std::string& line, sockaddr_in& addr) {
  unsigned h[4], p[2];
  char tail = 0;
  if (line.size() < 5) return false;
  if (std::sscanf(line.c_str() + 5, "%u,%u,%u,%u,%u,%u%c", &h[0], &h[1], &h[2], &h[3], &p[0],
                  &p[1], &tail) < 6)
    return false;
  for (unsigned v : h) if (v > 255) return false;
  if (p[0] > 255 || p[1] > 255) return false;
  addr = {};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(p[0] * 256 + p[1]));
  addr.sin_addr.s_addr = htonl((h[0] << 24) | (h[1] << 16) | (h[2] << 8) | h[3]);
  return true;
}

}  // namespace

ScriptedPeer::ScriptedPeer() {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) throw std::runtime_error("ScriptedPeer: socket: " + ErrorText(errno));
  int one = 1;
  ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listenFd_, 5) != 0 ||
      ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    int error = errno;
    ::close(listenFd_);
    throw std::runtime_error("ScriptedPeer: cannot listen: " + ErrorText(error));
  }
  port_ = ntohs(addr.sin_port);
}

ScriptedPeer::~ScriptedPeer() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
  if (dataFd_ >= 0) ::close(dataFd_);
  if (controlFd_ >= 0) ::close(controlFd_);
  if (listenFd_ >= 0) ::close(listenFd_);
  if (::testing::Test::HasFailure() || std::uncaught_exceptions() > 0)
    std::cerr << "---- scripted FTP peer (port " << port_ << ") ----\n"
              << Trace() << "---- end of scripted FTP peer ----\n";
}

// ---- Script steps ----

ScriptedPeer& ScriptedPeer::Add(Step step) {
  if (started_) throw std::logic_error("ScriptedPeer: steps must be added before Start()");
  steps_.push_back(std::move(step));
  return *this;
}

ScriptedPeer& ScriptedPeer::Send(const std::string& bytes) { return Add({Kind::Send, bytes, {}, 0}); }
ScriptedPeer& ScriptedPeer::SendPieces(const std::vector<std::string>& pieces, int pauseMs) {
  return Add({Kind::SendPieces, {}, pieces, pauseMs});
}
ScriptedPeer& ScriptedPeer::Expect(const std::string& prefix, int timeoutMs) {
  return Add({Kind::Expect, prefix, {}, timeoutMs});
}
ScriptedPeer& ScriptedPeer::Reply(const std::string& prefix, const std::string& reply) {
  return Expect(prefix).Send(reply);
}
ScriptedPeer& ScriptedPeer::ExpectUrgent(int timeoutMs) {
  return Add({Kind::ExpectUrgent, {}, {}, timeoutMs});
}
ScriptedPeer& ScriptedPeer::ExpectClose(int timeoutMs) {
  return Add({Kind::ExpectClose, {}, {}, timeoutMs});
}
ScriptedPeer& ScriptedPeer::Pause(int ms) { return Add({Kind::Pause, {}, {}, ms}); }
ScriptedPeer& ScriptedPeer::Close() { return Add({Kind::Close, {}, {}, 0}); }
ScriptedPeer& ScriptedPeer::Reset() { return Add({Kind::Reset, {}, {}, 0}); }
ScriptedPeer& ScriptedPeer::CloseAfter(const std::string& bytes) { return Send(bytes).Close(); }
ScriptedPeer& ScriptedPeer::Accept(int timeoutMs) { return Add({Kind::Accept, {}, {}, timeoutMs}); }
ScriptedPeer& ScriptedPeer::DataConnect(int timeoutMs) {
  return Add({Kind::DataConnect, {}, {}, timeoutMs});
}
ScriptedPeer& ScriptedPeer::DataConnectFrom(const std::string& sourceAddress, int timeoutMs) {
  return Add({Kind::DataConnect, sourceAddress, {}, timeoutMs});
}
ScriptedPeer& ScriptedPeer::DataSend(const std::string& bytes, int timeoutMs) {
  return Add({Kind::DataSend, bytes, {}, timeoutMs});
}
ScriptedPeer& ScriptedPeer::DataSendPieces(const std::vector<std::string>& pieces, int pauseMs) {
  return Add({Kind::DataSendPieces, {}, pieces, pauseMs});
}
ScriptedPeer& ScriptedPeer::DataReceiveAll(int timeoutMs) {
  return Add({Kind::DataReceiveAll, {}, {}, timeoutMs});
}
ScriptedPeer& ScriptedPeer::DataClose() { return Add({Kind::DataClose, {}, {}, 0}); }
ScriptedPeer& ScriptedPeer::DataReset() { return Add({Kind::DataReset, {}, {}, 0}); }
ScriptedPeer& ScriptedPeer::DataRefuse() { return Add({Kind::DataRefuse, {}, {}, 0}); }
ScriptedPeer& ScriptedPeer::DataStall(int ms) { return Add({Kind::DataStall, {}, {}, ms}); }

// ---- Running ----

void ScriptedPeer::Start() {
  if (started_) throw std::logic_error("ScriptedPeer: started twice");
  started_ = true;
  thread_ = std::thread([this] { Run(); });
}

bool ScriptedPeer::Wait(int timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return finished_; });
}

bool ScriptedPeer::WaitForCommands(size_t count, int timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return commands_.size() >= count; });
}

bool ScriptedPeer::WaitForClose(int timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return clientClosed_; });
}

bool ScriptedPeer::Finished() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return finished_;
}

void ScriptedPeer::Run() {
  if (AcceptControl(kDefaultTimeoutMs)) {
    for (size_t i = 0; i < steps_.size() && !stop_; ++i)
      if (!RunStep(i, steps_[i])) break;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
  }
  changed_.notify_all();
  Note("script ended");
  Drain();
  CloseData(false);
  CloseControl(false);
}

void ScriptedPeer::Drain() {
  while (controlFd_ >= 0 && !stop_) {
    ReadResult r = ReadControl(kSliceMs);
    if (r == ReadResult::Closed || r == ReadResult::Stopped) break;
  }
}

bool ScriptedPeer::RunStep(size_t index, const Step& step) {
  const std::string at = "step " + std::to_string(index + 1) + ": ";
  auto needControl = [&] {
    if (controlFd_ >= 0) return true;
    AddFailure(at + "no control connection");
    return false;
  };
  switch (step.kind) {
    case Kind::Send:
      if (!needControl()) return false;
      Note("send " + Shown(step.bytes));
      return SendAll(controlFd_, step.bytes, kDefaultTimeoutMs, "control");
    case Kind::SendPieces:
      if (!needControl()) return false;
      for (size_t i = 0; i < step.pieces.size(); ++i) {
        if (i > 0 && !Sleep(step.ms)) return false;
        Note("send piece " + Shown(step.pieces[i]));
        if (!SendAll(controlFd_, step.pieces[i], kDefaultTimeoutMs, "control")) return false;
      }
      return true;
    case Kind::Expect: {
      if (!needControl()) return false;
      auto end = Clock::now() + std::chrono::milliseconds(step.ms);
      std::string line;
      while (!NextLine(line)) {
        ReadResult r = ReadControl(MsLeft(end));
        if (r == ReadResult::Stopped) return false;
        if (r == ReadResult::Closed) {
          AddFailure(at + "the client closed the control connection while '" + step.bytes +
                     "' was expected");
          return false;
        }
        if (r == ReadResult::Timeout) {
          AddFailure(at + "no command within " + std::to_string(step.ms) + " ms, '" +
                     step.bytes + "' was expected");
          return false;
        }
      }
      if (line.compare(0, step.bytes.size(), step.bytes) != 0)
        AddFailure(at + "expected '" + step.bytes + "', received '" + Shown(line) + "'");
      return true;
    }
    case Kind::ExpectUrgent: {
      if (!needControl()) return false;
      auto end = Clock::now() + std::chrono::milliseconds(step.ms);
      while (UrgentCount() == 0) {
        ReadResult r = ReadControl(MsLeft(end));
        if (r == ReadResult::Stopped) return false;
        if (r == ReadResult::Timeout || r == ReadResult::Closed) {
          if (UrgentCount() > 0) break;
          AddFailure(at + "no urgent data arrived");
          return r == ReadResult::Timeout;
        }
      }
      Note("urgent data seen");
      return true;
    }
    case Kind::ExpectClose: {
      if (!needControl()) return false;
      auto end = Clock::now() + std::chrono::milliseconds(step.ms);
      for (;;) {
        ReadResult r = ReadControl(MsLeft(end));
        if (r == ReadResult::Closed) return true;
        if (r == ReadResult::Stopped) return false;
        if (r == ReadResult::Timeout) {
          AddFailure(at + "the client did not close the control connection");
          return false;
        }
      }
    }
    case Kind::Pause:
      Note("pause " + std::to_string(step.ms) + " ms");
      return Sleep(step.ms);
    case Kind::Close:
    case Kind::Reset:
      Note(step.kind == Kind::Close ? "close control" : "reset control");
      CloseControl(step.kind == Kind::Reset);
      return true;
    case Kind::Accept:
      CloseData(false);
      CloseControl(false);
      return AcceptControl(step.ms);
    case Kind::DataConnect: {
      std::string portLine;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = commands_.rbegin(); it != commands_.rend(); ++it)
          if (it->size() >= 5 && ::strncasecmp(it->c_str(), "PORT ", 5) == 0) {
            portLine = *it;
            break;
          }
      }
      sockaddr_in addr{};
      if (!ParsePort(portLine, addr)) {
        AddFailure(at + "no usable PORT command to connect to ('" + Shown(portLine) + "')");
        return true;
      }
      CloseData(false);
      int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
      if (!step.bytes.empty()) {  // DataConnectFrom: bind the source address first
        sockaddr_in source{};
        source.sin_family = AF_INET;
        if (::inet_pton(AF_INET, step.bytes.c_str(), &source.sin_addr) != 1 ||
            ::bind(fd, reinterpret_cast<sockaddr*>(&source), sizeof source) != 0) {
          AddFailure(at + "cannot bind the data connection to " + step.bytes + ": " +
                     ErrorText(errno));
          ::close(fd);
          return true;
        }
      }
      int rc = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
      if (rc != 0 && errno == EINPROGRESS) {
        auto end = Clock::now() + std::chrono::milliseconds(step.ms);
        pollfd p{fd, POLLOUT, 0};
        int n = 0;
        while (!stop_ && (n = ::poll(&p, 1, std::min(kSliceMs, MsLeft(end)))) == 0 &&
               MsLeft(end) > 0) {
        }
        int error = 0;
        socklen_t len = sizeof error;
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len);
        // A client that takes the connection and drops it at once (it
        // refuses a stranger) can do so before the poll sees it complete:
        // the connection was made all the same.
        if (n > 0 && (error == 0 || error == ECONNRESET || error == EPIPE)) {
          rc = 0;
          if (error != 0) Note("data connection made, then closed at once by the client");
        } else {
          errno = n > 0 ? error : ETIMEDOUT;
        }
      }
      if (rc != 0) {
        AddFailure(at + "data connection to " + portLine.substr(5) + " failed: " +
                   ErrorText(errno));
        ::close(fd);
        return true;
      }
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
      SetNoDelay(fd);
      dataFd_ = fd;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        data_.emplace_back();
      }
      Note("data connected to " + portLine.substr(5) +
           (step.bytes.empty() ? std::string() : " from " + step.bytes));
      return true;
    }
    case Kind::DataSend:
    case Kind::DataSendPieces: {
      if (dataFd_ < 0) {
        AddFailure(at + "no data connection to send on");
        return true;
      }
      std::vector<std::string> pieces =
          step.kind == Kind::DataSend ? std::vector<std::string>{step.bytes} : step.pieces;
      int timeout = step.kind == Kind::DataSend ? step.ms : kDefaultTimeoutMs;
      for (size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0 && !Sleep(step.ms)) return false;
        Note("data send " + Shown(pieces[i]));
        if (!SendAll(dataFd_, pieces[i], timeout, "data")) break;
      }
      return true;
    }
    case Kind::DataReceiveAll: {
      if (dataFd_ < 0) {
        AddFailure(at + "no data connection to receive on");
        return true;
      }
      auto end = Clock::now() + std::chrono::milliseconds(step.ms);
      char buffer[65536];
      for (;;) {
        if (stop_) return false;
        if (MsLeft(end) == 0) {
          AddFailure(at + "the client did not close the data connection in time");
          return true;
        }
        pollfd p{dataFd_, POLLIN, 0};
        if (::poll(&p, 1, std::min(kSliceMs, MsLeft(end))) <= 0) continue;
        ssize_t n = ::recv(dataFd_, buffer, sizeof buffer, 0);
        if (n > 0) {
          std::lock_guard<std::mutex> lock(mutex_);
          data_.back().append(buffer, static_cast<size_t>(n));
          continue;
        }
        if (n < 0 && errno == EINTR) continue;
        size_t total;
        {
          std::lock_guard<std::mutex> lock(mutex_);
          total = data_.back().size();
        }
        Note("data received " + std::to_string(total) + " bytes, then " +
             (n == 0 ? std::string("the client closed") : "error: " + ErrorText(errno)));
        return true;
      }
    }
    case Kind::DataClose:
    case Kind::DataReset:
      Note(step.kind == Kind::DataClose ? "data close" : "data reset");
      CloseData(step.kind == Kind::DataReset);
      return true;
    case Kind::DataRefuse:
      Note("data connection refused (not made)");
      return true;
    case Kind::DataStall:
      Note("data stall " + std::to_string(step.ms) + " ms");
      return Sleep(step.ms);
  }
  return true;
}

// ---- Connections ----

bool ScriptedPeer::AcceptControl(int timeoutMs) {
  auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (stop_) return false;
    pollfd p{listenFd_, POLLIN, 0};
    int n = ::poll(&p, 1, std::min(kSliceMs, MsLeft(end)));
    if (n > 0) {
      int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0) {
        int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_OOBINLINE, &one, sizeof one);
        SetNoDelay(fd);
        controlFd_ = fd;
        pendingText_.clear();
        {
          std::lock_guard<std::mutex> lock(mutex_);
          clientClosed_ = false;
        }
        Note("control connection accepted");
        return true;
      }
    }
    if (MsLeft(end) == 0) {
      AddFailure("no client connected within " + std::to_string(timeoutMs) + " ms");
      return false;
    }
  }
}

ScriptedPeer::ReadResult ScriptedPeer::ReadControl(int waitMs) {
  auto end = Clock::now() + std::chrono::milliseconds(waitMs);
  for (;;) {
    if (stop_) return ReadResult::Stopped;
    pollfd p{controlFd_, POLLIN | POLLPRI, 0};
    int n = ::poll(&p, 1, std::min(kSliceMs, MsLeft(end)));
    if (n > 0) break;
    if (MsLeft(end) == 0) return ReadResult::Timeout;
  }
  // With SO_OOBINLINE the urgent byte stays in the stream and a read stops
  // just before it, so checking the mark before every read sees each one.
  if (::sockatmark(controlFd_) == 1) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++urgentCount_;
  }
  char buffer[4096];
  ssize_t n = ::recv(controlFd_, buffer, sizeof buffer, 0);
  if (n < 0 && (errno == EINTR || errno == EAGAIN)) return ReadResult::Data;
  if (n <= 0) {
    Note(n == 0 ? "the client closed the control connection"
                : "control receive error: " + ErrorText(errno));
    CloseControl(false);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      clientClosed_ = true;
    }
    changed_.notify_all();
    return ReadResult::Closed;
  }
  pendingText_.append(buffer, static_cast<size_t>(n));
  std::vector<std::string> lines;
  size_t lf;
  while ((lf = pendingText_.find('\n')) != std::string::npos) {
    std::string line = pendingText_.substr(0, lf);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    pendingText_.erase(0, lf + 1);
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    controlBytes_.append(buffer, static_cast<size_t>(n));
    for (auto& line : lines) commands_.push_back(line);
  }
  for (auto& line : lines) Note("received " + Shown(line));
  changed_.notify_all();
  return ReadResult::Data;
}

bool ScriptedPeer::NextLine(std::string& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (consumed_ >= commands_.size()) return false;
  line = commands_[consumed_++];
  return true;
}

bool ScriptedPeer::SendAll(int fd, const std::string& bytes, int timeoutMs, const char* what) {
  size_t done = 0;
  auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (done < bytes.size()) {
    if (stop_) return false;
    pollfd p{fd, POLLOUT, 0};
    int n = ::poll(&p, 1, std::min(kSliceMs, MsLeft(end)));
    if (n == 0) {
      if (MsLeft(end) == 0) {
        AddFailure(std::string(what) + " send: the client took no data for " +
                   std::to_string(timeoutMs) + " ms");
        return false;
      }
      continue;
    }
    ssize_t sent = ::send(fd, bytes.data() + done, bytes.size() - done,
                          MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent > 0) {
      done += static_cast<size_t>(sent);
      end = Clock::now() + std::chrono::milliseconds(timeoutMs);  // progress
      continue;
    }
    if (sent < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    std::string text = std::string(what) + " send stopped after " + std::to_string(done) +
                       " bytes: " + ErrorText(errno);
    // A client may drop a data connection on purpose (cancel); a control
    // connection that goes away under a reply means the script did not match.
    if (std::string(what) == "control") AddFailure(text);
    else Note(text);
    return false;
  }
  return true;
}

bool ScriptedPeer::Sleep(int ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  return !changed_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return stop_.load(); });
}

void ScriptedPeer::CloseControl(bool reset) {
  if (controlFd_ < 0) return;
  if (reset) Abort(controlFd_);
  else ::close(controlFd_);
  controlFd_ = -1;
}

void ScriptedPeer::CloseData(bool reset) {
  if (dataFd_ < 0) return;
  if (reset) Abort(dataFd_);
  else ::close(dataFd_);
  dataFd_ = -1;
}

void ScriptedPeer::AddFailure(const std::string& text) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    failures_.push_back(text);
  }
  Note("FAILURE: " + text);
}

void ScriptedPeer::Note(const std::string& text) {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_).count();
  std::lock_guard<std::mutex> lock(mutex_);
  trace_ += "[" + std::to_string(ms) + " ms] " + text + "\n";
}

// ---- Results ----

std::vector<std::string> ScriptedPeer::Commands() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return commands_;
}
std::string ScriptedPeer::ControlBytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return controlBytes_;
}
std::string ScriptedPeer::DataReceived() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string all;
  for (auto& d : data_) all += d;
  return all;
}
std::vector<std::string> ScriptedPeer::DataConnections() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return data_;
}
int ScriptedPeer::DataConnectionCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(data_.size());
}
bool ScriptedPeer::UrgentSeen() const { return UrgentCount() > 0; }
int ScriptedPeer::UrgentCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return urgentCount_;
}
std::vector<std::string> ScriptedPeer::Failures() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return failures_;
}
std::string ScriptedPeer::Trace() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return trace_;
}
bool ScriptedPeer::ClientClosed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return clientClosed_;
}
