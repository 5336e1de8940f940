// The scripted peer's smoke test (the whole suite exercises the fixtures):
// a text script with a multi-line greeting and a data connection, played
// against a plain client.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include "ScriptedPeer.h"
#include "TestBytes.h"

namespace {

// Reads from `fd` until `until` has come (or all, when empty); reads give up after 10 s.
std::string ReadUntil(int fd, const std::string& until = "") {
  const timeval limit{10, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  std::string got;
  char buffer[4096];
  for (ssize_t n = 1; n > 0 && (until.empty() || got.find(until) == std::string::npos);)
    if ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) got.append(buffer, static_cast<size_t>(n));
  return got;
}

}  // namespace

TEST(Fixtures, ScriptedPeerPlaysATextScriptWithADataConnection) {
  ScriptedPeer peer;
  peer.Play(">> 220-hello\\r\\n220 ready\\r\\n\n < PORT | 200 ok \n < RETR | 150 opening\n"
            "data connect\n data pattern 70000\n data close\n > 226 sent\n");
  EXPECT_THROW(peer.Play("jump"), std::invalid_argument);
  peer.Start();
  sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
  socklen_t len = sizeof a;
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0), control = ::socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), len) | ::listen(listener, 1) |
                ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len), 0);
  const int port = ntohs(a.sin_port);
  a.sin_port = htons(static_cast<uint16_t>(peer.Port()));
  ASSERT_EQ(::connect(control, reinterpret_cast<sockaddr*>(&a), len), 0);
  const std::string portLine = "PORT 127,0,0,1," + std::to_string(port / 256) + "," + std::to_string(port % 256);
  const std::string sent = portLine + "\r\nRETR a\r\n";
  EXPECT_EQ(ReadUntil(control, "220 ready\r\n"), "220-hello\r\n220 ready\r\n");
  ::send(control, sent.data(), sent.size(), MSG_NOSIGNAL);
  // The final reply may come before the data is read.
  EXPECT_EQ(ReadUntil(control, "226 sent\r\n"), "200 ok\r\n150 opening\r\n226 sent\r\n");
  const int data = ::accept(listener, nullptr, nullptr);
  EXPECT_EQ(ReadUntil(data), Pattern(70000));
  EXPECT_TRUE(peer.Wait());
  ::send(control, "QUIT\r\n", 6, MSG_NOSIGNAL);  // after the last step: still recorded
  ASSERT_TRUE(peer.WaitForCommands(3));
  EXPECT_EQ(peer.Commands(), (std::vector<std::string>{portLine, "RETR a", "QUIT"}));
  EXPECT_TRUE(peer.Failures().empty()) << peer.Trace();
  for (int fd : {listener, control, data}) ::close(fd);
}
