// Operations of the socket component in blocking mode against raw loopback peers.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>

#include <fstream>
#include <stdexcept>
#include <thread>

#include "tests/net/SocketTestKit.h"

using namespace nettest;

namespace {

struct Component {
  Boxes boxes;
  TSockets s{boxes};
  std::vector<Report> reports;
  Component() {
    RecordReports(s, reports);
    s.SetNonBlocking(false);
    s.Timeout = 10;
  }
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (auto& b : boxes.shown) texts.push_back(b.text);
    return texts;
  }
};

std::string ReadAll(int fd) {
  std::string all;
  char buffer[65536];
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 10000) != 1) break;
    long n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    all.append(buffer, static_cast<size_t>(n));
  }
  return all;
}

int OpenFdCount() {
  int count = 0;
  for (int fd = 0; fd < 1024; ++fd)
    if (::fcntl(fd, F_GETFD) != -1) ++count;
  return count;
}

}  // namespace

TEST(SocketOps, OwnBoxesComeBeforeAnySocketIsMade) {
  Component c;
  c.s.SConnect();  // both empty: only the port box
  c.s.IPAddr = "127.0.0.1";
  c.s.SConnect();
  c.s.Listen();
  c.s.Port = "21";
  c.s.IPAddr = "";
  c.s.SConnect();
  EXPECT_EQ(c.BoxTexts(), (std::vector<std::string>{"No Port Specified", "No Port Specified",
                                                    "No Port Specified", "No IP Address Specified"}));
  for (auto& b : c.boxes.shown) {
    EXPECT_EQ(b.caption, "WINSOCK ERROR");
    EXPECT_EQ(b.buttons, unsigned(BoxOK | BoxCancel));
  }
  EXPECT_EQ(c.s.ConnectionSocket(), -1);
  EXPECT_EQ(c.s.ListeningSocket(), -1);
  EXPECT_TRUE(c.reports.empty());
  EXPECT_EQ(c.boxes.endedWith, -1);  // the program goes on
}

TEST(SocketOps, HostsThatCannotBeConvertedLeaveTheConnectionSocketAlone) {
  Component c;
  c.s.Port = std::to_string(RefusingPort());
  const std::string hosts[] = {"no-such-host.invalid", "255.255.255.255",
                               std::string(257, 'a'), std::string("127.0.0.1\0x", 11)};
  for (const std::string& host : hosts) {
    c.boxes.shown.clear();
    c.s.IPAddr = host;
    c.s.SConnect();
    ASSERT_EQ(c.boxes.shown.size(), 1u) << host;
    EXPECT_EQ(c.boxes.shown[0].text, "Cannot convert host address");
    EXPECT_EQ(c.boxes.shown[0].caption, "WINSOCK ERROR");
    EXPECT_EQ(c.s.ConnectionSocket(), -1);
  }
  EXPECT_TRUE(c.reports.empty());
}

TEST(SocketOps, PortTextsThatNameNoPortThrowTheConversionError) {
  Component c;
  c.s.IPAddr = "127.0.0.1";
  const std::string bad[] = {"abc", "21x", "-1", "70000", " ", std::string(32, '1'),
                             std::string(32, '0')};
  for (const std::string& port : bad) {
    c.s.Port = port;
    try {
      c.s.SConnect();
      ADD_FAILURE() << "no error for '" << port << "'";
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()), "'" + port + "' is not a valid integer value");
    }
    EXPECT_THROW(c.s.Listen(), std::runtime_error);
  }
  EXPECT_EQ(c.s.ConnectionSocket(), -1);
  EXPECT_EQ(c.s.ListeningSocket(), -1);
  EXPECT_TRUE(c.reports.empty());
  EXPECT_TRUE(c.boxes.shown.empty());

  // 31 characters is the longest text, and is still a port.
  RawListener listener;
  std::string padded = std::to_string(listener.port);
  padded.insert(0, 31 - padded.size(), '0');
  c.s.Port = padded;
  c.s.SConnect();
  EXPECT_TRUE(c.reports.empty());
  EXPECT_GE(listener.AcceptOne().fd, 0);
  c.s.Disconnect();
}

TEST(SocketOps, ServiceNamesAndSystemChosenPorts) {
  Component c;
  c.s.Port = "0";
  c.s.Listen();
  ASSERT_GE(c.s.ListeningSocket(), 0);
  EXPECT_TRUE(c.reports.empty());
  int port = std::stoi(c.s.GetLocalPort(c.s.ListeningSocket()));
  EXPECT_GT(port, 0);
  c.s.CancelListen();
  EXPECT_EQ(c.s.ListeningSocket(), -1);
  EXPECT_TRUE(c.reports.empty());

  if (!std::ifstream("/etc/services") || !getservbyname("ftp", "tcp"))
    GTEST_SKIP() << "no services database entry for ftp on this machine";
  c.s.Port = "ftp";
  c.s.Listen();
  if (!c.reports.empty()) GTEST_SKIP() << "port 21 cannot be listened on here: " << c.reports[0].msg;
  EXPECT_EQ(c.s.GetLocalPort(c.s.ListeningSocket()), "21");
  c.s.CancelListen();
}

TEST(SocketOps, RefusedConnectIsReportedAndLeavesTheSocketForDisconnect) {
  Boxes boxes;
  TSockets s(boxes);
  s.SetNonBlocking(false);
  s.IPAddr = "127.0.0.1";
  s.Port = std::to_string(RefusingPort());
  s.SConnect();  // no handler: the fatal box shows the context
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, "Error 10061 in function SConnect\r\nConnection refused");
  EXPECT_EQ(boxes.endedWith, 0);
  EXPECT_GE(s.ConnectionSocket(), 0);
  boxes.shown.clear();
  s.Disconnect();
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_EQ(s.ConnectionSocket(), -1);
}

TEST(SocketOps, ExchangeAndAddressQueries) {
  Component c;
  RawListener listener;
  c.s.IPAddr = "localhost";  // a name, looked up
  c.s.Port = listener.PortText();
  c.s.SConnect();
  Fd peer = listener.AcceptOne();
  ASSERT_GE(peer.fd, 0);
  ASSERT_TRUE(c.reports.empty());
  const int sock = c.s.ConnectionSocket();

  EXPECT_EQ(c.s.GetPeerIPAddr(sock), "127.0.0.1");
  EXPECT_EQ(c.s.GetPeerPort(sock), listener.PortText());
  EXPECT_EQ(c.s.GetLocalIPAddr(sock), "127.0.0.1");
  EXPECT_EQ(c.s.GetLocalPort(sock), std::to_string(LocalPort(sock)));
  EXPECT_EQ(c.s.GetLocalPort(-1), "");
  EXPECT_EQ(c.s.GetPeerIPAddr(-1), "");

  c.s.SetText("USER anonymous\r\n");
  char buffer[64] = {};
  EXPECT_EQ(::recv(peer.fd, buffer, sizeof buffer, 0), 16);
  EXPECT_EQ(std::string(buffer, 16), "USER anonymous\r\n");

  // Peek stops at a zero byte and leaves everything queued; the raw peek keeps it.
  ::send(peer.fd, "220 ok\0tail", 11, 0);
  c.s.MaximumReceiveLength = 255;
  QElapsedTimer settle;
  settle.start();
  std::string raw;
  while (c.s.PeekRaw(raw) < 11 && settle.elapsed() < 5000) ::usleep(1000);
  EXPECT_EQ(raw, std::string("220 ok\0tail", 11));
  EXPECT_EQ(c.s.PeekData(), "220 ok");
  c.s.MaximumReceiveLength = 3;
  EXPECT_EQ(c.s.PeekData(), "220");
  int got = c.s.SReceive(sock, buffer, sizeof buffer);
  EXPECT_EQ(got, 11);
  int len = 4;
  EXPECT_EQ(c.s.SSend(sock, "NOOP", len), 4);
  EXPECT_EQ(len, 4);
  EXPECT_TRUE(c.reports.empty());
  EXPECT_EQ(::recv(peer.fd, buffer, sizeof buffer, 0), 4);

  // The peer closes: the receive gives 0 and nothing is reported.
  peer.reset();
  EXPECT_EQ(c.s.SReceive(sock, buffer, sizeof buffer), 0);
  EXPECT_TRUE(c.reports.empty());
  c.s.Disconnect();
  EXPECT_TRUE(c.reports.empty());
}

TEST(SocketOps, NoSocketMeansNothingHappensOrAReportedClose) {
  Component c;
  char buffer[8];
  int len = 5;
  EXPECT_EQ(c.s.SReceive(-1, buffer, sizeof buffer), -1);
  EXPECT_EQ(c.s.SSend(-1, "hello", len), -1);
  EXPECT_EQ(len, 5);
  EXPECT_EQ(c.s.PeekData(), "");
  EXPECT_FALSE(c.s.FinishSending());
  EXPECT_TRUE(c.reports.empty());

  // Closing what is not there is a reported failure of the close.
  c.s.Disconnect();
  c.s.CancelListen();
  c.s.SetText("x");
  ASSERT_EQ(c.reports.size(), 3u);
  for (auto& r : c.reports) {
    EXPECT_EQ(r.error, 10038);
    EXPECT_EQ(r.socket, -1);
  }
}

TEST(SocketOps, OutOfBandTextArrivesAsUrgentData) {
  Component c;
  RawListener listener;
  c.s.IPAddr = "127.0.0.1";
  c.s.Port = listener.PortText();
  c.s.SConnect();
  Fd peer = listener.AcceptOne();
  ASSERT_GE(peer.fd, 0);
  int inlineOob = 1;
  ::setsockopt(peer.fd, SOL_SOCKET, SO_OOBINLINE, &inlineOob, sizeof inlineOob);

  c.s.SetOutOfBandText("ABOR\r\n");
  EXPECT_TRUE(c.reports.empty());
  pollfd p{peer.fd, POLLPRI, 0};
  ASSERT_EQ(::poll(&p, 1, 5000), 1);
  EXPECT_TRUE(p.revents & POLLPRI);
  // All six bytes arrive; the urgent mark sits in them (at the last byte).
  std::string got;
  bool sawMark = false;
  while (got.size() < 6) {
    if (::sockatmark(peer.fd) == 1) sawMark = true;
    char b;
    if (::recv(peer.fd, &b, 1, 0) != 1) break;
    got += b;
  }
  EXPECT_EQ(got, "ABOR\r\n");
  EXPECT_TRUE(sawMark);
}

TEST(SocketOps, FinishSendingDeliversEveryByteBeforeTheHardClose) {
  Component c;
  RawListener listener;
  c.s.IPAddr = "127.0.0.1";
  c.s.Port = listener.PortText();
  c.s.SConnect();
  Fd peer = listener.AcceptOne();
  ASSERT_GE(peer.fd, 0);

  // A peer that reads everything and closes at the end of the data.
  std::string received;
  const int peerFd = peer.fd;
  std::thread reader([&received, peerFd] {
    received = ReadAll(peerFd);
    ::shutdown(peerFd, SHUT_RDWR);
  });
  std::string data(8 * 1024 * 1024, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 131 + (i >> 11));
  int len = static_cast<int>(data.size());
  // One blocking send delivers the whole buffer.
  EXPECT_EQ(c.s.SSend(c.s.ConnectionSocket(), data.data(), len), static_cast<int>(data.size()));
  EXPECT_TRUE(c.s.FinishSending());
  c.s.Disconnect();
  reader.join();
  EXPECT_TRUE(c.reports.empty());
  EXPECT_EQ(received.size(), data.size());
  EXPECT_TRUE(received == data);
}

TEST(SocketOps, BlockingAcceptAndTheDestructorClosesWhatIsOpen) {
  const int before = OpenFdCount();
  Fd client;
  {
    Component c;
    c.s.Port = "0";
    c.s.Listen();
    int port = std::stoi(c.s.GetLocalPort(c.s.ListeningSocket()));
    client = RawConnect(port);
    ASSERT_GE(client.fd, 0);
    int sock = c.s.Accept();
    EXPECT_GE(sock, 0);
    EXPECT_EQ(sock, c.s.ConnectionSocket());
    EXPECT_EQ(c.s.GetPeerPort(sock), std::to_string(LocalPort(client.fd)));
    ::send(client.fd, "data", 4, 0);
    char buffer[8];
    EXPECT_EQ(c.s.SReceive(sock, buffer, sizeof buffer), 4);
    EXPECT_TRUE(c.reports.empty());
  }  // listening and connection sockets still open here
  client.reset();
  EXPECT_EQ(OpenFdCount(), before);
}
