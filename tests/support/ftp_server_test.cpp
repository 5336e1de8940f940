// The pyftpdlib server fixture: logins, a store and retrieval round trip in
// active mode, and a clean stop.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "FtpServer.h"
#include "RawFtpClient.h"

namespace {

bool Accepts(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  ::close(fd);
  return ok;
}

std::string BinaryBytes() {
  std::string bytes;
  for (int i = 0; i < 70000; ++i) bytes += static_cast<char>((i * 7) & 255);  // NULs, CR, LF
  return bytes;
}

}  // namespace

TEST(FtpServerFixture, NamedUserStoresAndRetrievesInActiveMode) {
  FtpServer server;
  RawFtpClient client(server.Port());
  EXPECT_EQ(client.ReadReply().substr(0, 4), "220 ");
  EXPECT_EQ(client.Command("USER " + server.User()).substr(0, 3), "331");
  EXPECT_EQ(client.Command("PASS " + server.Password()).substr(0, 3), "230");
  EXPECT_EQ(client.Command("TYPE I").substr(0, 3), "200");

  const std::string bytes = BinaryBytes();
  client.Listen();
  EXPECT_EQ(client.Command(client.PortCommand()).substr(0, 3), "200");
  // pyftpdlib connects at PORT already, so it opens transfers with 125.
  client.SendLine("STOR up.bin");
  EXPECT_EQ(client.ReadReply().substr(0, 1), "1");
  client.Accept();
  client.DataSend(bytes);
  client.DataClose();
  EXPECT_EQ(client.ReadReply().substr(0, 3), "226");
  EXPECT_EQ(server.ReadFile("up.bin"), bytes);

  server.WriteFile("sub/down.txt", "line one\r\nline two\r\n");
  client.Listen();
  EXPECT_EQ(client.Command(client.PortCommand()).substr(0, 3), "200");
  client.SendLine("RETR sub/down.txt");
  EXPECT_EQ(client.ReadReply().substr(0, 1), "1");
  client.Accept();
  EXPECT_EQ(client.DataReceiveAll(), "line one\r\nline two\r\n");
  EXPECT_EQ(client.ReadReply().substr(0, 3), "226");

  EXPECT_EQ(client.Command("QUIT").substr(0, 3), "221");
  EXPECT_NE(server.LogText().find("STOR"), std::string::npos);
}

TEST(FtpServerFixture, AnonymousMayWriteAndWrongPasswordIsRefused) {
  FtpServer server;
  {
    RawFtpClient client(server.Port());
    client.ReadReply();
    client.Command("USER anonymous");
    EXPECT_EQ(client.Command("PASS guest@").substr(0, 3), "230");
    EXPECT_EQ(client.Command("MKD made").substr(0, 3), "257");
  }
  EXPECT_TRUE(server.Exists("made"));

  RawFtpClient client(server.Port());
  client.ReadReply();
  client.Command("USER " + server.User());
  EXPECT_EQ(client.Command("PASS wrong").substr(0, 3), "530");
}

TEST(FtpServerFixture, StopEndsTheServerAndRemovesItsFolders) {
  std::filesystem::path root;
  int port;
  {
    FtpServer server;
    root = server.Root();
    port = server.Port();
    EXPECT_TRUE(std::filesystem::is_directory(root));
    EXPECT_TRUE(Accepts(port));
  }
  EXPECT_FALSE(std::filesystem::exists(root));
  EXPECT_FALSE(Accepts(port));
}

TEST(FtpServerFixture, TwoServersRunSideBySide) {
  FtpServer a, b;
  EXPECT_NE(a.Port(), b.Port());
  EXPECT_NE(a.Root(), b.Root());
}
