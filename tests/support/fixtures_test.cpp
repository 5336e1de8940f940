// One smoke test per shared fixture (the whole suite exercises them), driven
// by a plain client whose sockets give up after 10 s.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include "FtpServer.h"
#include "RecordingUI.h"
#include "ScriptedPeer.h"
#include "TestBytes.h"

namespace {

struct Socket {
  int fd;
  explicit Socket(int port = 0, int accepted = -1) : fd(accepted) {
    sockaddr_in a{AF_INET, htons(static_cast<uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    const timeval limit{10, 0};
    if (fd < 0) fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    if (port > 0) {
      EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    }
  }
  ~Socket() { ::close(fd); }
  // Sends `line` (unless empty), then reads until `until` has come, or all.
  std::string Ask(const std::string& line, const std::string& until = "") {
    if (!line.empty()) ::send(fd, (line + "\r\n").data(), line.size() + 2, MSG_NOSIGNAL);
    std::string got;
    char buffer[4096];
    for (ssize_t n = 1; n > 0 && (until.empty() || got.find(until) == std::string::npos);) {
      n = ::recv(fd, buffer, sizeof buffer, 0);
      got.append(buffer, static_cast<size_t>(std::max<ssize_t>(n, 0)));
    }
    return got;
  }
};

}  // namespace

TEST(Fixtures, ScriptedPeerPlaysATextScriptWithADataConnection) {
  ScriptedPeer peer;
  peer.Play(R"(
    >> 220-hello\r\n220 ready\r\n
    < PORT | 200 ok
    < RETR | 150 opening
    data connect
    data pattern 70000
    data close
    > 226 sent
  )");
  EXPECT_THROW(peer.Play("jump"), std::invalid_argument);
  peer.Start();

  Socket listener, control(peer.Port());
  sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
  socklen_t len = sizeof a;
  ::bind(listener.fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::listen(listener.fd, 1);
  ::getsockname(listener.fd, reinterpret_cast<sockaddr*>(&a), &len);
  const int port = ntohs(a.sin_port);
  const std::string portLine =
      "PORT 127,0,0,1," + std::to_string(port / 256) + "," + std::to_string(port % 256);
  EXPECT_EQ(control.Ask("", "220 ready\r\n"), "220-hello\r\n220 ready\r\n");
  EXPECT_EQ(control.Ask(portLine, "\n"), "200 ok\r\n");
  // The final reply may come before the data is read: both replies together.
  EXPECT_EQ(control.Ask("RETR a", "226 sent\r\n"), "150 opening\r\n226 sent\r\n");
  EXPECT_EQ(Socket(0, ::accept(listener.fd, nullptr, nullptr)).Ask(""), Pattern(70000));
  EXPECT_TRUE(peer.Wait());
  ::send(control.fd, "QUIT\r\n", 6, MSG_NOSIGNAL);  // after the last step: still recorded
  ASSERT_TRUE(peer.WaitForCommands(3));
  EXPECT_EQ(peer.Commands(), (std::vector<std::string>{portLine, "RETR a", "QUIT"}));
  EXPECT_EQ(peer.DataConnectionCount(), 1);
  EXPECT_TRUE(peer.Failures().empty()) << peer.Trace();
}

TEST(Fixtures, FtpServerLogsInAndLists) {
  FtpServer server;
  server.WriteFile("sub/a.txt", "hello");
  Socket control(server.Port());
  EXPECT_EQ(control.Ask("", "\n").substr(0, 4), "220 ");
  EXPECT_EQ(control.Ask("USER " + server.User(), "\n").substr(0, 4), "331 ");
  EXPECT_EQ(control.Ask("PASS " + server.Password(), "\n").substr(0, 4), "230 ");
  const std::string listing = control.Ask("STAT sub", "213 ");  // the listing on control
  EXPECT_NE(listing.find("a.txt"), std::string::npos) << listing;
}

TEST(Fixtures, RecordingUIAnswersFromItsQueueThenWithTheFirstButton) {
  RecordingUI ui;
  ui.Answer(BoxAnswer::No);
  EXPECT_EQ(ui.ShowMessageBox("Replace?", "Q", BoxIcon::Warning, BoxYes | BoxNo), BoxAnswer::No);
  EXPECT_EQ(ui.ShowMessageBox("Sure?", "Q", BoxIcon::None, BoxYes | BoxNo), BoxAnswer::Yes);
  EXPECT_EQ(ui.ShowMessageBox("Go on?", "Q", BoxIcon::None, BoxCancel | BoxOK), BoxAnswer::OK);
  EXPECT_EQ(ui.Boxes().at(0).answer, BoxAnswer::No);
  try {
    ui.EndProgram(2);
  } catch (const std::exception&) {
    FAIL() << "ProgramEnded must pass guards that catch std::exception";
  } catch (const ProgramEnded& ended) {
    EXPECT_EQ(ended.code, 2);
  }
}
