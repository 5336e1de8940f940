#pragma once
// A scripted FTP server for exact sequences and faults. It listens on
// 127.0.0.1 at a free port (known from construction on), and Start() plays
// its script in a thread of its own: it accepts the client's control
// connection, then runs the steps in order. It records every byte received
// on the control and data connections.
//
//   ScriptedPeer peer;
//   peer.Send("220 ready\r\n")
//       .Reply("USER", "331 password\r\n")
//       .Reply("PASS", "230 in\r\n")
//       .Reply("TYPE I", "200 ok\r\n")
//       .Reply("PORT", "200 ok\r\n")
//       .Reply("RETR", "150 Opening (5 bytes)\r\n")
//       .DataConnect().DataSend("hello").DataClose()
//       .Send("226 done\r\n");
//   peer.Start();
//   ... connect the engine to 127.0.0.1:peer.Port() and run it ...
//   EXPECT_TRUE(peer.Wait(10000));
//   EXPECT_TRUE(peer.Failures().empty()) << peer.Trace();
//
// Bytes are std::string and sent exactly as given (add "\r\n" yourself):
// lines longer than 255 bytes and NUL bytes are fine.
//
// Every wait in the peer is bounded (by the step's timeout, 10 s unless
// given), so a client that never comes or stops talking ends the script
// with a recorded failure instead of a hang. A failed Expect (wrong command)
// is recorded and the script goes on; a time-out or a closed control
// connection ends the script. After the last step the peer keeps reading
// and recording control lines until the client closes or the peer is
// destroyed. Results are safe to read from the test's thread at any time.
//
// When the running gtest test has failed, the destructor prints Trace().
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
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
  // Control connection.
  ScriptedPeer& Send(const std::string& bytes);
  ScriptedPeer& SendPieces(const std::vector<std::string>& pieces, int pauseMs);
  // Waits for the next complete command line; a line not beginning with
  // `prefix` (case-sensitive; "" matches any) is recorded as a failure.
  ScriptedPeer& Expect(const std::string& prefix, int timeoutMs = kDefaultTimeoutMs);
  ScriptedPeer& Reply(const std::string& prefix, const std::string& reply);  // Expect, Send
  // Waits until urgent (out-of-band) data has arrived on the control
  // connection (the client's "ABOR\r\n" sent as urgent data). The ABOR line
  // itself is then read by a following Expect("ABOR").
  ScriptedPeer& ExpectUrgent(int timeoutMs = kDefaultTimeoutMs);
  // Waits until the client closes the control connection.
  ScriptedPeer& ExpectClose(int timeoutMs = kDefaultTimeoutMs);
  ScriptedPeer& Pause(int ms);
  ScriptedPeer& Close();             // closes the control connection (FIN)
  ScriptedPeer& Reset();             // aborts the control connection (RST)
  ScriptedPeer& CloseAfter(const std::string& bytes);  // Send, then Close
  ScriptedPeer& Accept(int timeoutMs = kDefaultTimeoutMs);  // next control connection
  // Data connection (active mode: the peer connects to the client).
  ScriptedPeer& DataConnect(int timeoutMs = kDefaultTimeoutMs);  // to the last PORT received
  // The same, from a given local address (for example "127.0.0.2": every
  // 127.x.y.z address is this machine), so the client sees a data
  // connection that does not come from the control connection's peer.
  ScriptedPeer& DataConnectFrom(const std::string& sourceAddress,
                                int timeoutMs = kDefaultTimeoutMs);
  ScriptedPeer& DataSend(const std::string& bytes, int timeoutMs = kDefaultTimeoutMs);
  ScriptedPeer& DataSendPieces(const std::vector<std::string>& pieces, int pauseMs);
  ScriptedPeer& DataReceiveAll(int timeoutMs = kDefaultTimeoutMs);  // until the client closes
  ScriptedPeer& DataClose();         // FIN
  ScriptedPeer& DataReset();         // RST
  ScriptedPeer& DataRefuse();        // never connects (marks the intent in the trace)
  ScriptedPeer& DataStall(int ms);   // holds the data connection without reading or sending

  // The same steps written as text, one a line (blank lines ignored):
  //   > 220 ready             Send, "\r\n" added
  //   >> 220-a\r\n220 b\r\n   Send exactly
  //   < USER                  Expect a command beginning with USER
  //   < USER | 331 password   Reply: Expect, then Send with "\r\n" added
  //   pause 200 / close / reset / urgent / expect close / accept
  //   data connect / data from 127.0.0.2 / data send TEXT / data pattern N
  //   data recv / data close / data reset / data refuse / data stall MS
  // Sent text understands \r \n \t \\ and \xNN. A malformed line throws.
  ScriptedPeer& Play(const std::string& script);

  // ---- Running ----
  void Start();
  // Waits until the script's last step has run (or the script ended early).
  bool Wait(int timeoutMs = kDefaultTimeoutMs);
  // Waits until `count` command lines have been received in all.
  bool WaitForCommands(size_t count, int timeoutMs = kDefaultTimeoutMs);
  // Waits until the client has closed the control connection.
  bool WaitForClose(int timeoutMs = kDefaultTimeoutMs);
  bool Finished() const;

  // ---- Results ----
  std::vector<std::string> Commands() const;  // each line, without CR LF, in order
  std::string ControlBytes() const;           // every byte received on control
  std::string DataReceived() const;           // all data connections together
  std::vector<std::string> DataConnections() const;  // bytes received per data connection
  int DataConnectionCount() const;            // data connections the peer made
  bool UrgentSeen() const;
  int UrgentCount() const;                    // urgent marks seen
  std::vector<std::string> Failures() const;
  std::string Trace() const;                  // what happened, one event a line
  bool ClientClosed() const;                  // the client closed the control connection

private:
  enum class Kind {
    Send, SendPieces, Expect, ExpectUrgent, ExpectClose, Pause, Close, Reset, Accept,
    DataConnect, DataSend, DataSendPieces, DataReceiveAll, DataClose, DataReset,
    DataRefuse, DataStall
  };
  struct Step {
    Kind kind;
    std::string bytes;
    std::vector<std::string> pieces;
    int ms = 0;
  };

  ScriptedPeer& Add(Step step);
  void Run();
  bool RunStep(size_t index, const Step& step);  // false ends the script
  void Drain();

  // Control connection helpers (peer thread only).
  bool AcceptControl(int timeoutMs);
  enum class ReadResult { Data, Timeout, Closed, Stopped };
  ReadResult ReadControl(int waitMs);  // one poll and read
  bool NextLine(std::string& line);    // an unconsumed complete line
  bool SendAll(int fd, const std::string& bytes, int timeoutMs, const char* what);
  bool Sleep(int ms);                  // false when stopped
  void CloseControl(bool reset);
  void CloseData(bool reset);
  void AddFailure(const std::string& text);
  void Note(const std::string& text);

  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  int listenFd_ = -1;
  int port_ = 0;
  int controlFd_ = -1;  // peer thread only
  int dataFd_ = -1;     // peer thread only
  std::string pendingText_;  // received, not yet split into lines (peer thread only)
  size_t consumed_ = 0;      // lines handed to Expect (peer thread only)

  std::vector<Step> steps_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  bool started_ = false;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool finished_ = false;
  bool clientClosed_ = false;
  std::vector<std::string> commands_;
  std::string controlBytes_;
  std::vector<std::string> data_;
  int urgentCount_ = 0;
  std::vector<std::string> failures_;
  std::string trace_;
};
