// Non-blocking mode: readiness of the sockets becomes the component's events.
#include <gtest/gtest.h>

#include <map>

#include "tests/net/SocketTestKit.h"

using namespace nettest;

namespace {

// A non-blocking component that counts its events.
struct Watched {
  Boxes boxes;
  TSockets s{boxes};
  std::map<std::string, int> count;
  std::vector<std::string> order;
  std::vector<Report> reports;
  explicit Watched(bool handler = true) {
    if (handler) RecordReports(s, reports);
    s.SetNonBlocking(true);
    auto note = [this](const char* name) {
      return [this, name](TSockets*, int) {
        ++count[name];
        order.push_back(name);
      };
    };
    s.OnDataAvailable = note("read");
    s.OnDataNeeded = note("write");
    s.OnSessionAvailable = note("accept");
    s.OnSessionConnected = note("connect");
    s.OnSessionClosed = note("close");
  }
};

}  // namespace

TEST(Notifications, ConnectCompletesAsEventsAndReadIsGivenOnceUntilRead) {
  Watched w;
  RawListener listener;
  w.s.IPAddr = "127.0.0.1";
  w.s.Port = listener.PortText();
  w.s.SConnect();  // returns at once
  EXPECT_TRUE(w.reports.empty());
  ASSERT_GE(w.s.ConnectionSocket(), 0);
  Fd peer = listener.AcceptOne();
  ASSERT_GE(peer.fd, 0);
  ASSERT_TRUE(RunEventsUntil([&] { return w.count["write"] == 1; }));
  EXPECT_EQ(w.order, (std::vector<std::string>{"connect", "write"}));

  ::send(peer.fd, "abc", 3, 0);
  ASSERT_TRUE(RunEventsUntil([&] { return w.count["read"] == 1; }));
  ::send(peer.fd, "def", 3, 0);
  RunEventsFor(200);
  EXPECT_EQ(w.count["read"], 1);  // not again before the owner reads
  EXPECT_EQ(w.count["write"], 1);

  char buffer[2];
  EXPECT_EQ(w.s.SReceive(w.s.ConnectionSocket(), buffer, 2), 2);  // data stays: told again
  ASSERT_TRUE(RunEventsUntil([&] { return w.count["read"] == 2; }));
  char rest[16];
  EXPECT_EQ(w.s.SReceive(w.s.ConnectionSocket(), rest, sizeof rest), 4);

  // The peer closes: one FD_CLOSE, then silence.
  peer.reset();
  ASSERT_TRUE(RunEventsUntil([&] { return w.count["close"] == 1; }));
  RunEventsFor(200);
  EXPECT_EQ(w.count["close"], 1);
  EXPECT_EQ(w.count["read"], 2);
  EXPECT_TRUE(w.reports.empty());
  w.s.Disconnect();
  EXPECT_TRUE(w.reports.empty());
}

TEST(Notifications, RefusedConnectIsReportedAsFdConnect) {
  Watched w(false);
  w.s.IPAddr = "127.0.0.1";
  w.s.Port = std::to_string(RefusingPort());
  w.s.SConnect();
  ASSERT_TRUE(RunEventsUntil([&] { return !w.boxes.shown.empty(); }));
  EXPECT_EQ(w.boxes.shown[0].text, "Error 10061 in function FD_CONNECT\r\nConnection refused");
  EXPECT_EQ(w.boxes.endedWith, 0);
  RunEventsFor(100);
  EXPECT_EQ(w.boxes.shown.size(), 1u);
  EXPECT_TRUE(w.order.empty());
}

TEST(Notifications, ResetByPeerIsReportedAsFdClose) {
  Watched w;
  RawListener listener;
  w.s.IPAddr = "127.0.0.1";
  w.s.Port = listener.PortText();
  w.s.SConnect();
  Fd peer = listener.AcceptOne();
  ASSERT_TRUE(RunEventsUntil([&] { return w.count["connect"] == 1; }));
  linger hard{1, 0};
  ::setsockopt(peer.fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  peer.reset();
  ASSERT_TRUE(RunEventsUntil([&] { return !w.reports.empty(); }));
  EXPECT_EQ(w.reports[0].error, 10054);
  EXPECT_EQ(w.reports[0].msg, "Connection reset by peer");
  EXPECT_EQ(w.count["close"], 0);
}

TEST(Notifications, ListenAnnouncesSessionsAndAcceptedSocketsTalk) {
  Watched w;
  w.s.Port = "0";
  w.s.Listen();
  ASSERT_GE(w.s.ListeningSocket(), 0);
  const int port = std::stoi(w.s.GetLocalPort(w.s.ListeningSocket()));
  Fd client = RawConnect(port);
  ASSERT_GE(client.fd, 0);
  ASSERT_TRUE(RunEventsUntil([&] { return w.count["accept"] == 1; }));
  RunEventsFor(100);
  EXPECT_EQ(w.count["accept"], 1);  // once until accepted

  int sock = w.s.Accept();
  ASSERT_GE(sock, 0);
  ::send(client.fd, "x", 1, 0);
  ASSERT_TRUE(RunEventsUntil([&] { return w.count["read"] == 1 && w.count["write"] == 1; }));
  EXPECT_EQ(w.s.PeekData(), "x");

  w.s.CancelListen();
  w.s.Disconnect();
  EXPECT_TRUE(w.reports.empty());
  // After Disconnect nothing more is told about the socket.
  client.reset();
  RunEventsFor(100);
  EXPECT_EQ(w.count["close"], 0);
}

TEST(Notifications, DisconnectFromTheHandlerEndsTheDispatch) {
  Watched w;
  RawListener listener;
  w.s.IPAddr = "127.0.0.1";
  w.s.Port = listener.PortText();
  w.s.OnSessionConnected = [&](TSockets* sender, int) { sender->Disconnect(); };
  w.s.SConnect();
  Fd peer = listener.AcceptOne();
  ASSERT_GE(peer.fd, 0);
  ASSERT_TRUE(RunEventsUntil([&] { return w.s.ConnectionSocket() == -1; }));
  RunEventsFor(100);
  // The FD_WRITE that follows a connect is not given for a socket the
  // handler has closed.
  EXPECT_EQ(w.count["write"], 0);
  EXPECT_TRUE(w.reports.empty());
  char b;
  EXPECT_LE(::recv(peer.fd, &b, 1, 0), 0);
}
