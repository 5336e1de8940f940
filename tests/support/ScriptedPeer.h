#pragma once
// A scripted FTP server for exact sequences and faults. It listens on
// 127.0.0.1 at a free port (known from construction on); Start() plays the
// script in a thread of its own: it accepts the client's control connection,
// then runs the steps in order, recording every byte received.
//
//   ScriptedPeer peer;
//   peer.Play(R"(
//     > 220 ready
//     < USER | 331 password
//     < RETR | 150 Opening (5 bytes)
//     data connect
//     data send hello
//     data close
//     > 226 done
//   )");
//   peer.Start();
//   ... connect the engine to 127.0.0.1:peer.Port() and run it ...
//   EXPECT_TRUE(peer.Wait(10000));
//   EXPECT_TRUE(peer.Failures().empty()) << peer.Trace();
//
// Every wait is bounded (10 s). A wrong
// command is recorded as a failure and the script goes on; a time-out or a
// lost control connection ends it. After the last step the peer keeps
// recording control lines until the client closes. Results may be read from
// the test's thread at any time. When the running test has failed, the
// destructor prints Trace().
//
// The script, one step a line, blank lines ignored:
//   > 220 ready             Send, "\r\n" added
//   >> 220-a\r\n220 b\r\n   Send exactly
//   < USER                  Expect a command beginning with USER
//   < USER | 331 password   Reply: Expect, then Send with "\r\n" added
//   pause 200               Pause (data stall 200: the same, holding the data
//                           connection without using it)
//   close / reset           close control (FIN / RST)
//   accept                  drop both connections, accept the next control
//   data connect            connect to the last PORT received
//   data from 127.0.0.2     the same, from another local address
//   data send TEXT / data pattern N (Pattern(N) bytes)
//   data recv               receive until the client closes the data
//   data close / data reset close data (FIN / RST)
//   data refuse             never connect (marks the intent in the trace)
//   data flood MS           send without pause for MS ms or until the client
//                           drops the data connection
//   data listen [full]      listen for a passive data connection (full:
//                           its queue taken, a connect is never answered);
//                           later control text has {port} {p1} {p2} filled
//   data accept             accept the client's data connection
// Sent text understands \r \n \t \\ and \xNN. A malformed line throws.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

class ScriptedPeer {
public:
  ScriptedPeer();   // listens; throws std::runtime_error when it cannot
  ~ScriptedPeer();  // stops the script and joins, whatever state it is in (its thread and mutex forbid copies)

  int Port() const { return port_; }
  ScriptedPeer& Play(const std::string& script);  // all of it before Start()
  void Start() { thread_ = std::thread([this] { Run(); }); }
  bool Wait(int timeoutMs = kTimeoutMs) { return WaitUntil(timeoutMs, [&] { return finished_; }); }
  bool WaitForClose(int timeoutMs = kTimeoutMs) { return WaitUntil(timeoutMs, [&] { return clientClosed_; }); }

  // ---- Results ----
  std::vector<std::string> Commands() const { return Locked([&] { return commands_; }); }
  std::vector<std::string> Wire() const;  // the commands, every PORT line as "PORT" alone
  std::vector<std::string> DataConnections() const { return Locked([&] { return data_; }); }
  // All data connections together.
  std::string DataReceived() const { return Locked([&] { return std::accumulate(data_.begin(), data_.end(), std::string()); }); }
  int UrgentCount() const { return Locked([&] { return urgentCount_; }); }  // urgent bytes seen
  std::vector<std::string> Failures() const { return Locked([&] { return failures_; }); }
  std::string Trace() const { return Locked([&] { return trace_; }); }  // one event a line

private:
  static constexpr int kTimeoutMs = 10000;
  using Time = std::chrono::steady_clock::time_point;
  enum class Read { Data, Timeout, Closed, Stopped };

  template <class F> auto Locked(F f) const -> decltype(f()) {
    std::lock_guard<std::mutex> lock(mutex_);
    return f();
  }
  bool WaitUntil(int ms, const std::function<bool()>& done) {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(ms), done);
  }
  void Run();
  int PollFor(int fd, short events, Time end);  // 1 ready, 0 time-out, -1 stopped
  bool AcceptControl();
  Read ReadControl(Time end);  // one read, recording what came
  bool Expect(const std::string& prefix);  // a command line beginning with `prefix`
  bool SendAll(int fd, const std::string& bytes);
  bool ConnectData(const std::string& from);  // to the last PORT
  bool Sleep(int ms) { return !WaitUntil(ms, [&] { return stop_.load(); }); }  // false when stopped
  static void Drop(int& fd, bool reset = false);  // closes fd (RST when reset)
  bool Fail(const std::string& text);  // records a failure; false
  bool Note(const std::string& text);  // true

  const Time start_ = std::chrono::steady_clock::now();
  int listenFd_ = -1;
  int port_ = 0;
  // Peer thread only:
  int controlFd_ = -1, dataFd_ = -1;
  int dataListenFd_ = -1, fillerFd_ = -1, dataPort_ = 0;  // passive data listener
  std::string pendingText_;  // received, not yet a complete line
  size_t consumed_ = 0;      // lines handed to Expect
  std::string at_;           // "step N: " while a step runs

  std::vector<std::function<bool()>> steps_;
  std::thread thread_;
  std::atomic<bool> stop_{false};

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool finished_ = false, clientClosed_ = false;
  std::vector<std::string> commands_, data_, failures_;
  int urgentCount_ = 0;
  std::string trace_;
};
