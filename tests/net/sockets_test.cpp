// The socket component against a raw loopback peer, driven by rows: a row
// plays a script of steps and states its whole outcome as one log of what
// the component told (boxes, error reports, events) and what the steps read.
// Blocking mode: operations, error texts, and calls that wait in a nested
// event loop (time-out, cancel, nesting, no limit). Non-blocking mode:
// readiness becomes events, each given once until the owner acts on it.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <poll.h>
#include <unistd.h>

#include <QCoreApplication>
#include <fstream>
#include <QDeadlineTimer>
#include <QTimer>
#include <sstream>
#include <thread>

#include "net/SocketErrors.h"
#include "net/TSleeper.h"
#include "net/TSockets.h"
#include "tests/support/TestBytes.h"

namespace {
using Log = std::vector<std::string>;
using namespace std::string_literals;

struct Row {
  const char* name;
  std::string script;  // see Rig::Play
  Log log;
  bool reports = true;    // false: no error handler, so the fatal box shows
  int timeout = 10;       // of a blocking call
  std::string meanwhile = {};  // played from a timer 100 ms after the script starts
};

struct Rig : MessageBoxes {  // its boxes are answered OK; ending the program is only logged
  Log log;
  TSockets s{*this};
  int listener = ::socket(AF_INET, SOCK_STREAM, 0), peer = -1, kept = -1;
  bool meanwhilePlayed = false;
  Rig(bool nonBlocking, const Row& row) {
    if (row.reports)
      s.OnErrorOccurred = [this](TSockets*, int, int e, const std::string& m) { log.push_back(std::to_string(e) + " " + m); };
    const std::pair<TSockets::SocketEvent*, const char*> events[] = {
        {&s.OnDataAvailable, "read"}, {&s.OnDataNeeded, "write"}, {&s.OnSessionAvailable, "accept"},
        {&s.OnSessionConnected, "connect"}, {&s.OnSessionClosed, "close"}};
    for (auto [event, name] : events) *event = [this, name](TSockets*, int) { log.push_back(name); };
    s.SetNonBlocking(nonBlocking);
    s.Timeout = row.timeout;
    sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    ::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listener, 5);
    s.IPAddr = "127.0.0.1";
    s.Port = s.GetLocalPort(listener);
  }
  ~Rig() override { ::close(peer), ::close(listener), ::close(kept); }
  BoxAnswer ShowMessageBox(const std::string& text, const std::string& caption, BoxIcon, unsigned) override {
    log.push_back(caption + ": " + text);
    return BoxAnswer::OK;
  }
  void EndProgram(int code) override { log.push_back("end " + std::to_string(code)); }
  void Run(int ms) {  // processes events for a while
    for (QDeadlineTimer end(ms); !end.hasExpired(); ::usleep(1000)) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }

  // Steps separated by "; ". The peer's: connect (the component connects and
  // the peer takes the connection), dial (the peer connects to the listening
  // socket), send TEXT, close, reset, refuse (nothing listens any more), peer
  // (logs what the peer reads: its bytes, "closed", "reset" or "nothing"),
  // flood (sends until the buffers are full). The component's: host TEXT,
  // port TEXT, run (lets events come), recv N, trickle, waiting (logs whether
  // bytes wait), peek, text TEXT, urgent TEXT, bulk N (sends N bytes and
  // finishes while the peer reads to the end), listen (on a free port),
  // accept, finish, disconnect, cancel-listen, disconnect-on-connect,
  // addresses. A step that throws logs the exception's text.
  void Play(const std::string& script) {
    std::istringstream steps(script);
    char buffer[4096] = {};
    linger hard{1, 0};
    for (std::string step; std::getline(steps >> std::ws, step, ';');) try {
        const std::string word = step.substr(0, step.find(' '));
        const std::string arg = step.substr(std::min(step.size(), word.size() + 1));
        const int sock = s.ConnectionSocket();
        if (word == "connect") {
          s.SConnect();
          pollfd p{listener, POLLIN, 0};
          if (s.ConnectionSocket() >= 0 && listener >= 0 && ::poll(&p, 1, 5000) == 1)
            peer = ::accept(listener, nullptr, nullptr);
        } else if (word == "dial") {
          const uint16_t port = htons(std::stoi(s.GetLocalPort(s.ListeningSocket())));
          sockaddr_in a{AF_INET, port, {htonl(INADDR_LOOPBACK)}, {}};
          ::connect(peer = ::socket(AF_INET, SOCK_STREAM, 0), reinterpret_cast<sockaddr*>(&a), sizeof a);
        } else if (word == "send") ::send(peer, arg.data(), arg.size(), 0);
        else if (word == "flood") while (::send(peer, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {}
        else if (word == "reset") ::setsockopt(peer, SOL_SOCKET, SO_LINGER, &hard, sizeof hard), Play("close");
        else if (word == "close") ::close(peer), peer = -1;
        else if (word == "refuse") ::close(listener), listener = -1;
        else if (pollfd p{peer, POLLIN, 0}; word == "peer") {
          const long n = ::poll(&p, 1, 100) == 1 ? ::recv(peer, buffer, sizeof buffer, MSG_DONTWAIT) : -2;
          log.push_back(n > 0 ? std::string(buffer, n) : n == 0 ? "closed" : n == -1 ? "reset" : "nothing");
        } else if (word == "host") s.IPAddr = arg;
        else if (word == "port") s.Port = arg;
        else if (word == "run") Run(50);
        else if (word == "recv") log.push_back(std::to_string(s.SReceive(sock, buffer, std::stoi(arg))));
        else if (word == "trickle")  // byte by byte, until `meanwhile` has been played
          while (!meanwhilePlayed && s.SReceive(sock, buffer, 1) == 1) {}
        else if (word == "waiting") log.push_back(s.BytesWaiting() > 0 ? "data waiting" : "none waiting");
        else if (word == "peek") log.push_back(s.PeekData());
        else if (word == "text") s.SetText(arg);
        else if (word == "urgent") s.SetOutOfBandText(arg);
        else if (word == "bulk") {
          std::string data = Pattern(std::stoi(arg)), got;
          std::thread reader([&] {
            for (long n; (n = ::recv(peer, buffer, sizeof buffer, 0)) > 0;) got.append(buffer, n);
            ::shutdown(peer, SHUT_RDWR);  // after the end: the component's finish sees the close
          });
          int len = static_cast<int>(data.size());
          log.push_back(std::to_string(s.SSend(sock, data.data(), len))), Play("finish");
          reader.join();
          log.push_back(got == data ? "all received" : "received " + std::to_string(got.size()));
        } else if (word == "listen") s.Port = "0", s.Listen();
        else if (word == "accept") s.Accept();
        else if (word == "finish") log.push_back(s.FinishSending() ? "finished" : "not finished");
        else if (word == "disconnect") s.Disconnect();
        else if (word == "disconnect-on-connect")
          s.OnSessionConnected = [this](TSockets*, int) { log.push_back("connect"), s.Disconnect(); };
        else if (word == "cancel-listen") s.CancelListen();
        else if (word == "keep") kept = peer;  // the peer's connection so far, for "kept"
        else if (word == "kept") peer = kept, Play("peer");
        else if (word == "lossy-first") {  // a full listener first, then the rig's own
          const int full = ::socket(AF_INET, SOCK_STREAM, 0), filler = ::socket(AF_INET, SOCK_STREAM, 0);
          sockaddr_storage to[2] = {};
          socklen_t length = sizeof to[0];
          ::bind(full, reinterpret_cast<sockaddr*>(&to[0]), length), ::listen(full, 0);
          ::getsockname(full, reinterpret_cast<sockaddr*>(&to[0]), &length);
          ::connect(filler, reinterpret_cast<sockaddr*>(&to[0]), length);  // its queue is taken
          ::getsockname(listener, reinterpret_cast<sockaddr*>(&to[1]), &length);
          reinterpret_cast<sockaddr_in&>(to[0]).sin_addr.s_addr = htonl(INADDR_LOOPBACK);
          s.ConnectToFirst({to[0], to[1]});
          log.push_back(s.GetPeerPort(s.ConnectionSocket()) == s.Port ? "second" : "none");
          ::close(full), ::close(filler);
        } else if (word == "addresses")  // and whether the peer's port is the one dialled
          log.push_back(s.GetLocalIPAddr(sock) + " " + s.GetPeerIPAddr(sock) + " " +
                        std::to_string(s.GetPeerPort(sock) == s.Port));
        else ADD_FAILURE() << "unknown step " << step;
      } catch (const std::runtime_error& e) {
        log.push_back(e.what());
      }
  }
};

// Plays every row on a fresh component; a blocking call that never ends is
// cancelled by a watchdog, which fails the row instead of hanging.
void PlayRows(bool nonBlocking, const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Rig r(nonBlocking, row);
    QTimer meanwhile, watchdog;
    meanwhile.callOnTimeout([&] { r.Play(row.meanwhile), r.meanwhilePlayed = true; });
    watchdog.callOnTimeout([&] { r.log.push_back("watchdog"), TSockets::WSACancelBlockingCall(); });
    meanwhile.setSingleShot(true);
    meanwhile.start(100);
    watchdog.start(8000);
    r.Play(row.script);
    r.Run(50);
    EXPECT_EQ(r.log, row.log);
  }
}

TEST(Sockets, BlockingRows) {
  const std::string box = "WINSOCK ERROR: ", host = box + "Cannot convert host address";
  const std::string badPort = "' is not a valid integer value", nonSocket = "10038 Socket operation on non-socket";
  const char *timedOut = "10060 Blocking call timed out", *cancelled = "10004 Interrupted system call";
  PlayRows(false, {
    {"own boxes come before any socket", "port ; connect; port 21; host ; connect; "
     "host 255.255.255.255; connect; host no-such-host.invalid; connect; host 127.0.0.1\0x; connect"s,
     {box + "No Port Specified", box + "No IP Address Specified", host, host, host}},
    {"texts that name no port", "port 21x; connect; port -1; connect; port 70000; connect; "
     "port 00000000000000000000000000000021; connect",
     {"'21x" + badPort, "'-1" + badPort, "'70000" + badPort, "'00000000000000000000000000000021" + badPort}},
    {"refused connect leaves the socket for Disconnect", "refuse; connect; disconnect",
     {box + "Error 10061 in function SConnect\r\nConnection refused", "end 0"}, false},
    {"exchange with a peer found by name", "host localhost; connect; addresses; text USER x\r\n; peer; "
     "send 220 ok\0tail; peek; recv 64; text NOOP; peer; close; recv 64; disconnect"s,
     {"127.0.0.1 127.0.0.1 1", "USER x\r\n", "220 ok", "11", "NOOP", "0"}},
    {"no socket: nothing happens, or a reported close", "recv 8; peek; finish; disconnect; cancel-listen; text x",
     {"-1", "", "not finished", nonSocket, nonSocket, nonSocket}},
    {"urgent text", "connect; urgent ABOR\r\n; peer", {"ABOR\r"}},
    {"a blocking send and FinishSending deliver every byte", "connect; bulk 8388608", {"8388608", "finished", "all received"}},
    {"silent peer", "connect; recv 16; peer", {timedOut, cancelled, "-1", "nothing"}, true, 1},
    {"silent peer, no handler", "connect; recv 16",
     {"WINSOCK CALL CANCELED: Error 10060\r\nBlocking call timed out",
      "WINSOCK ERROR: Error 10004 in function SReceive\r\nInterrupted system call", "end 0", "-1"}, false, 1},
    {"no limit at 0", "connect; recv 16", {"4"}, true, 0, "send late"},
    {"disconnect from a handler", "connect; recv 16; peer", {cancelled, "-1", "closed"}, true, 30, "disconnect"},
    {"nested blocking call", "connect; recv 16; peer",
     {"10036 Operation now in progress", timedOut, cancelled, "-1", "nothing"}, true, 1, "text hi"},
    {"a second connect closes the first connection", "connect; keep; connect; kept", {"closed"}},
    {"an address whose packets are lost leaves time for the next", "lossy-first", {"second"}, true, 2},
    {"a peer always ready: events still run", "connect; flood; trickle", {"data waiting"}, true, 1, "waiting"},
  });
}

TEST(Sockets, NonBlockingRows) {
  PlayRows(true, {
    {"connect; read told once until read; close told once",
     "connect; run; send abc; run; send def; run; recv 2; run; recv 16; run; close; run; run; disconnect",
     {"connect", "write", "read", "2", "read", "4", "close"}},
    {"refused connect", "refuse; connect; run",
     {"WINSOCK ERROR: Error 10061 in function FD_CONNECT\r\nConnection refused", "end 0"}, false},
    {"reset by peer", "connect; run; reset; run", {"connect", "write", "10054 Connection reset by peer"}},
    {"listen: accept told once until accepted", "listen; dial; run; run; accept; run; send x; run; peek; "
     "cancel-listen; disconnect; close; run", {"accept", "write", "read", "x"}},
    {"disconnect from the connect handler: no FD_WRITE follows", "disconnect-on-connect; connect; run; peer",
     {"connect", "closed"}},
  });
}

// A link-local peer is told with its interface, so the text reaches it again
// (a passive data connection goes to the control connection's peer).
TEST(Sockets, ALinkLocalPeerKeepsItsInterface) {
  std::ifstream table("/proc/net/if_inet6");
  std::string hex, index, rest, name;
  while (table >> hex >> index >> rest >> rest >> rest >> name && hex.rfind("fe80", 0) != 0) {}
  if (hex.rfind("fe80", 0) != 0 || !table) GTEST_SKIP() << "no link-local address here";
  sockaddr_in6 a{AF_INET6, 0, 0, {}, static_cast<uint32_t>(std::stoul(index, nullptr, 16))};
  for (int i = 0; i < 16; ++i) a.sin6_addr.s6_addr[i] = static_cast<uint8_t>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
  Rig r(false, {"", "", {}});
  const int l = ::socket(AF_INET6, SOCK_STREAM, 0);
  ASSERT_EQ(::bind(l, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ::listen(l, 5);
  char text[INET6_ADDRSTRLEN];
  r.s.IPAddr = std::string(inet_ntop(AF_INET6, &a.sin6_addr, text, sizeof text)) + "%" + name;
  r.s.Port = r.s.GetLocalPort(l);
  r.s.SConnect();
  const std::string told = r.s.GetPeerIPAddr(r.s.ConnectionSocket());
  r.s.Disconnect();
  r.s.IPAddr = told;
  r.s.SConnect();
  EXPECT_EQ(told, r.s.IPAddr);
  EXPECT_TRUE(r.log.empty()) << r.log[0];
  ::close(l);
}

TEST(Sockets, ErrnoWithoutACaseStillMapsToAnError) {
  EXPECT_EQ(GetErrorText(WinsockErrorFromErrno(EAGAIN)), "Operation would block");  // may be EWOULDBLOCK
  EXPECT_EQ(WinsockErrorFromErrno(EDEADLK), 20000 + EDEADLK);  // no counterpart: the errno stays visible
  EXPECT_EQ(GetErrorText(20000 + EDEADLK), "Not a WinSock error");
}

// The pause waits in a nested loop as blocking calls do: events run meanwhile.
TEST(Sleeper, PausesItsIntervalWhileEventsRun) {
  TSleeper sleeper;
  int ran = 0;
  for (int round = 1; round <= 2; ++round) {
    QTimer::singleShot(250, [&ran] { ++ran; });
    if (round == 1) sleeper.SleepFor(300);
    else sleeper.Sleep();   // SleepFor's interval stays
    EXPECT_EQ(ran, round);  // the timer ran during the pause, which did not end before it
  }
  EXPECT_EQ(sleeper.Interval(), 300);
}
}  // namespace
