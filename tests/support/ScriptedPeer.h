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
// Bytes are sent exactly as given (the chained steps add no "\r\n").
// Every wait is bounded (by the step's time-out, 10 s unless given). A wrong
// command is recorded as a failure and the script goes on; a time-out or a
// lost control connection ends it. After the last step the peer keeps
// recording control lines until the client closes. Results may be read from
// the test's thread at any time. When the running test has failed, the
// destructor prints Trace().
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

class ScriptedPeer {
public:
  static constexpr int kDefaultTimeoutMs = 10000;

  ScriptedPeer();   // listens; throws std::runtime_error when it cannot
  ~ScriptedPeer();  // stops the script and joins, whatever state it is in
  ScriptedPeer(const ScriptedPeer&) = delete;
  ScriptedPeer& operator=(const ScriptedPeer&) = delete;

  int Port() const { return port_; }

  // ---- Script steps (chainable; add them all before Start()) ----
  // The text form, one step a line (blank lines ignored):
  //   > 220 ready             Send, "\r\n" added
  //   >> 220-a\r\n220 b\r\n   Send exactly
  //   < USER                  Expect a command beginning with USER
  //   < USER | 331 password   Reply: Expect, then Send with "\r\n" added
  //   pause 200 / close / reset / urgent / expect close / accept
  //   data connect / data from 127.0.0.2 / data send TEXT / data pattern N
  //   data recv / data close / data reset / data refuse / data stall MS
//   data listen / data listen full / data accept   (passive mode, see DataListen)
  // Sent text understands \r \n \t \\ and \xNN. A malformed line throws.
  ScriptedPeer& Play(const std::string& script);

  ScriptedPeer& Send(const std::string& bytes) { return SendPieces({bytes}, 0); }
  ScriptedPeer& SendPieces(const std::vector<std::string>& pieces, int pauseMs);
  // The next command line must begin with `prefix` ("" matches any).
  ScriptedPeer& Expect(const std::string& prefix, int timeoutMs = kDefaultTimeoutMs);
  ScriptedPeer& Reply(const std::string& prefix, const std::string& reply) {
    return Expect(prefix).Send(reply);
  }
  // Waits for urgent data on control (the client's ABOR sent urgently); the
  // ABOR line itself is then read by a following Expect("ABOR").
  ScriptedPeer& ExpectUrgent(int timeoutMs = kDefaultTimeoutMs);
  ScriptedPeer& ExpectClose(int timeoutMs = kDefaultTimeoutMs);  // the client closes control
  ScriptedPeer& Pause(int ms) { return Noted("pause " + std::to_string(ms) + " ms", Sleeps(ms)); }
  ScriptedPeer& Close() { return Noted("close control", Drops(controlFd_, false)); }  // FIN
  ScriptedPeer& Reset() { return Noted("reset control", Drops(controlFd_, true)); }   // RST
  ScriptedPeer& CloseAfter(const std::string& bytes) { return Send(bytes).Close(); }
  ScriptedPeer& Accept(int timeoutMs = kDefaultTimeoutMs);  // the next control connection
  // Data connections are made by the peer to the last PORT received,
  // optionally from another local address such as "127.0.0.2".
  ScriptedPeer& DataConnect(int timeoutMs = kDefaultTimeoutMs) {
    return DataConnectFrom("", timeoutMs);
  }
  ScriptedPeer& DataConnectFrom(const std::string& sourceAddress,
                                int timeoutMs = kDefaultTimeoutMs);
  ScriptedPeer& DataSend(const std::string& bytes, int timeoutMs = kDefaultTimeoutMs);
  ScriptedPeer& DataSendPieces(const std::vector<std::string>& pieces, int pauseMs);
  ScriptedPeer& DataReceiveAll(int timeoutMs = kDefaultTimeoutMs);  // until the client closes
  ScriptedPeer& DataClose() { return Noted("data close", Drops(dataFd_, false)); }  // FIN
  ScriptedPeer& DataReset() { return Noted("data reset", Drops(dataFd_, true)); }   // RST
  ScriptedPeer& DataRefuse() {  // never connects (marks the intent in the trace)
    return Noted("data connection refused (not made)", [] { return true; });
  }
  // Passive mode: listens on 127.0.0.1 at a free port; control text sent
  // afterwards has {port}, {p1} and {p2} (port / 256, port % 256) filled in.
  // With full, the listening queue is filled first, so a connect to the
  // port is never answered. DataAccept takes the client's data connection.
  ScriptedPeer& DataListen(bool full = false);
  ScriptedPeer& DataAccept(int timeoutMs = kDefaultTimeoutMs);
  ScriptedPeer& DataStall(int ms) {  // holds the data connection without reading or sending
    return Noted("data stall " + std::to_string(ms) + " ms", Sleeps(ms));
  }

  // ---- Running ----
  void Start();
  bool Wait(int timeoutMs = kDefaultTimeoutMs);  // the script has ended
  bool WaitForCommands(size_t count, int timeoutMs = kDefaultTimeoutMs);  // in all
  bool WaitForClose(int timeoutMs = kDefaultTimeoutMs);  // the client closed control

  // ---- Results ----
  std::vector<std::string> Commands() const { return Locked([&] { return commands_; }); }
  std::string DataReceived() const;  // all data connections together
  std::vector<std::string> DataConnections() const { return Locked([&] { return data_; }); }
  int DataConnectionCount() const { return static_cast<int>(DataConnections().size()); }
  bool UrgentSeen() const { return UrgentCount() > 0; }
  int UrgentCount() const { return Locked([&] { return urgentCount_; }); }
  std::vector<std::string> Failures() const { return Locked([&] { return failures_; }); }
  std::string Trace() const { return Locked([&] { return trace_; }); }  // one event a line

private:
  using Time = std::chrono::steady_clock::time_point;
  enum class Read { Data, Timeout, Closed, Stopped };

  template <class F> std::invoke_result_t<F> Locked(F f) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return f();
  }
  ScriptedPeer& Add(std::function<bool()> step);  // a step returns false to end the script
  ScriptedPeer& OnControl(std::function<bool()> step);
  ScriptedPeer& OnData(std::function<bool()> step);
  ScriptedPeer& Noted(const std::string& note, std::function<bool()> step);
  std::function<bool()> Sleeps(int ms) { return [=, this] { return Sleep(ms); }; }
  std::function<bool()> Drops(int& fd, bool reset) {
    return [&fd, reset, this] { return Drop(fd, reset); };
  }
  void Run();
  int PollFor(int fd, short events, Time end);  // 1 ready, 0 time-out, -1 stopped
  bool AcceptControl(int timeoutMs);
  Read ReadControl(Time end);  // one read, recording what came
  bool SendEach(int fd, const std::vector<std::string>& pieces, int pauseMs, int timeoutMs);
  void ConnectData(const std::string& from, int timeoutMs);
  bool WaitUntil(int ms, const std::function<bool()>& done);
  bool Sleep(int ms);                 // false when stopped
  bool Drop(int& fd, bool reset);     // closes fd (RST when reset); true
  bool Fail(const std::string& text);  // records a failure; false
  void Note(const std::string& text);

  const Time start_ = std::chrono::steady_clock::now();
  int listenFd_ = -1;
  int port_ = 0;
  // Peer thread only:
  int controlFd_ = -1;
  int dataFd_ = -1;
  int dataListenFd_ = -1;
  int fillerFd_ = -1;  // holds the queue of a full data listener
  int dataPort_ = 0;
  std::string pendingText_;  // received, not yet a complete line
  size_t consumed_ = 0;      // lines handed to Expect
  std::string at_;           // "step N: " while a step runs

  std::vector<std::function<bool()>> steps_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  bool started_ = false;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool finished_ = false;
  bool clientClosed_ = false;
  std::vector<std::string> commands_;
  std::vector<std::string> data_;
  int urgentCount_ = 0;
  std::vector<std::string> failures_;
  std::string trace_;
};
