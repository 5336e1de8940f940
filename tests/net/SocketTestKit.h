#pragma once
// The socket component against a raw loopback peer, driven by rows: a row
// plays a script of steps and states its whole outcome as one log of what
// the component told (boxes, error reports, events) and what the steps read.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <poll.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include "net/TSockets.h"

namespace nettest {

using Log = std::vector<std::string>;

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
  int listener = ::socket(AF_INET, SOCK_STREAM, 0), peer = -1;
  bool meanwhilePlayed = false;
  Rig(bool nonBlocking, const Row& row) {
    if (row.reports)
      s.OnErrorOccurred = [this](TSockets*, int, int e, const std::string& m) {
        log.push_back(std::to_string(e) + " " + m);
      };
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
  ~Rig() override { ::close(peer), ::close(listener); }
  BoxAnswer ShowMessageBox(const std::string& text, const std::string& caption, BoxIcon,
                           unsigned) override {
    log.push_back(caption + ": " + text);
    return BoxAnswer::OK;
  }
  void EndProgram(int code) override { log.push_back("end " + std::to_string(code)); }

  // What the peer finds: its bytes, "closed", "reset" or "nothing".
  std::string PeerReads() {
    char b[64];
    pollfd p{peer, POLLIN, 0};
    long n = ::poll(&p, 1, 100) == 1 ? ::recv(peer, b, sizeof b, MSG_DONTWAIT) : -2;
    return n > 0 ? std::string(b, n) : n == 0 ? "closed" : n == -1 ? "reset" : "nothing";
  }
  void Run(int ms) {  // processes events for a while
    QElapsedTimer clock;
    clock.start();
    do QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    while (clock.elapsed() < ms && ::usleep(1000) == 0);
  }

  // Steps separated by "; ". The peer's: connect (the component connects and
  // the peer takes the connection), dial (the peer connects to the listening
  // socket), send TEXT, close, reset, refuse (nothing listens any more), peer
  // (logs what the peer reads), flood (sends until the buffers are full). The
  // component's: host TEXT, port TEXT, run (lets events come), recv N,
  // trickle, waiting (logs whether bytes wait), peek, text TEXT, urgent TEXT,
  // listen (on a free port), accept, finish, disconnect, cancel-listen,
  // disconnect-on-connect, addresses.
  // A step that throws logs the exception's text.
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
        else if (word == "peer") log.push_back(PeerReads());
        else if (word == "host") s.IPAddr = arg;
        else if (word == "port") s.Port = arg;
        else if (word == "run") Run(50);
        else if (word == "recv") log.push_back(std::to_string(s.SReceive(sock, buffer, std::stoi(arg))));
        else if (word == "trickle")  // byte by byte, until `meanwhile` has been played
          while (!meanwhilePlayed && s.SReceive(sock, buffer, 1) == 1) {}
        else if (word == "waiting") log.push_back(s.BytesWaiting() > 0 ? "data waiting" : "none waiting");
        else if (word == "peek") log.push_back(s.PeekData());
        else if (word == "text") s.SetText(arg);
        else if (word == "urgent") s.SetOutOfBandText(arg);
        else if (word == "listen") s.Port = "0", s.Listen();
        else if (word == "accept") s.Accept();
        else if (word == "finish") log.push_back(s.FinishSending() ? "finished" : "not finished");
        else if (word == "disconnect") s.Disconnect();
        else if (word == "disconnect-on-connect")
          s.OnSessionConnected = [this](TSockets*, int) { log.push_back("connect"), s.Disconnect(); };
        else if (word == "cancel-listen") s.CancelListen();
        else if (word == "addresses")  // and whether the peer's port is the one dialled
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
inline void PlayRows(bool nonBlocking, const std::vector<Row>& rows) {
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

}  // namespace nettest
