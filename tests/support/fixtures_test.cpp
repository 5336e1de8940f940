// One smoke test per shared fixture (the whole suite exercises them), driven
// by a plain client whose reads give up after 10 s.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include "FtpServer.h"
#include "RecordingUI.h"
#include "ScriptedPeer.h"
#include "TestBytes.h"

namespace {

// Connects to `port` (or, with 0, listens on a free port; with an accepted
// socket, takes it). Ask() sends `line` (unless empty), then reads until
// `until` has come, or all.
struct Socket {
  int fd, port;
  sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
  explicit Socket(int to, int accepted = -1) : fd(accepted), port(to) {
    if (fd >= 0) return;  // the listener's time-out is inherited
    fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const timeval limit{10, 0};
    socklen_t len = sizeof a;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    a.sin_port = htons(static_cast<uint16_t>(port));
    auto* raw = reinterpret_cast<sockaddr*>(&a);
    if (port > 0) EXPECT_EQ(::connect(fd, raw, len), 0);
    else ::bind(fd, raw, len), ::listen(fd, 1), ::getsockname(fd, raw, &len), port = ntohs(a.sin_port);
  }
  ~Socket() { ::close(fd); }
  std::string Ask(const std::string& line, const std::string& until = "") {
    if (!line.empty()) ::send(fd, (line + "\r\n").data(), line.size() + 2, MSG_NOSIGNAL);
    std::string got;
    char buffer[4096];
    for (ssize_t n = 1; n > 0 && (until.empty() || got.find(until) == std::string::npos);)
      if ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) got.append(buffer, static_cast<size_t>(n));
    return got;
  }
};

}  // namespace

TEST(Fixtures, ScriptedPeerPlaysATextScriptWithADataConnection) {
  ScriptedPeer peer;
  peer.Play(">> 220-hello\\r\\n220 ready\\r\\n\n < PORT | 200 ok \n < RETR | 150 opening\n"
            "data connect\n data pattern 70000\n data close\n > 226 sent\n");
  EXPECT_THROW(peer.Play("jump"), std::invalid_argument);
  peer.Start();
  Socket listener(0), control(peer.Port());
  const std::string portLine = "PORT 127,0,0,1," + std::to_string(listener.port / 256) + "," +
                               std::to_string(listener.port % 256);
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
  EXPECT_NE(control.Ask("STAT sub", "213 ").find("a.txt"), std::string::npos);  // on control
}

TEST(Fixtures, RecordingUIAnswersFromItsQueueThenWithTheFirstButton) {
  RecordingUI ui;
  ui.Answer(BoxAnswer::No);
  EXPECT_EQ(ui.ShowMessageBox("Replace?", "Q", BoxIcon::Warning, BoxYes | BoxNo), BoxAnswer::No);
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
