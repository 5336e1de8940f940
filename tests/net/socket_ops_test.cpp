// Operations of the socket component in blocking mode against a raw loopback
// peer; error numbers and texts.
#include <gtest/gtest.h>

#include <thread>

#include "net/SocketErrors.h"
#include "tests/net/SocketTestKit.h"
#include "tests/support/TestBytes.h"

using namespace nettest;
using namespace std::string_literals;

TEST(SocketOps, Rows) {
  const std::string box = "WINSOCK ERROR: ", host = box + "Cannot convert host address";
  const std::string badPort = "' is not a valid integer value";
  const std::string nonSocket = "10038 Socket operation on non-socket";
  PlayRows(false, {
    {"own boxes come before any socket", "port ; connect; port 21; host ; connect; "
     "host 255.255.255.255; connect; host no-such-host.invalid; connect; host 127.0.0.1\0x; connect"s,
     {box + "No Port Specified", box + "No IP Address Specified", host, host, host}},
    {"texts that name no port", "port abc; connect; port 21x; connect; port -1; connect; "
     "port 70000; connect; port  ; connect; port 00000000000000000000000000000021; connect",
     {"'abc" + badPort, "'21x" + badPort, "'-1" + badPort, "'70000" + badPort, "' " + badPort,
      "'00000000000000000000000000000021" + badPort}},
    {"refused connect leaves the socket for Disconnect", "refuse; connect; disconnect",
     {box + "Error 10061 in function SConnect\r\nConnection refused", "end 0"}, false},
    {"exchange with a peer found by name", "host localhost; connect; addresses; text USER x\r\n; peer; "
     "send 220 ok\0tail; peek; recv 64; text NOOP; peer; close; recv 64; disconnect"s,
     {"127.0.0.1 127.0.0.1 1", "USER x\r\n", "220 ok", "11", "NOOP", "0"}},
    {"no socket: nothing happens, or a reported close",
     "recv 8; peek; finish; disconnect; cancel-listen; text x",
     {"-1", "", "not finished", nonSocket, nonSocket, nonSocket}},
    {"urgent text", "connect; urgent ABOR\r\n; peer", {"ABOR\r"}},
  });
}

TEST(SocketOps, BlockingSendAndFinishSendingDeliverEveryByte) {
  Rig r(false, {});
  r.Play("connect");
  std::string received;
  std::thread reader([&] {  // reads to the end, then closes
    char b[65536];
    for (long n; (n = ::recv(r.peer, b, sizeof b, 0)) > 0;) received.append(b, n);
    ::shutdown(r.peer, SHUT_RDWR);
  });
  const std::string data = Pattern(8 << 20);
  int len = static_cast<int>(data.size());
  EXPECT_EQ(r.s.SSend(r.s.ConnectionSocket(), data.data(), len), len);
  r.Play("finish");
  reader.join();
  EXPECT_TRUE(received == data);
  EXPECT_EQ(r.log, Log{"finished"});
}

TEST(SocketErrors, ErrnoWithoutACaseStillMapsToAnError) {
  EXPECT_EQ(GetErrorText(WinsockErrorFromErrno(EAGAIN)), "Operation would block");  // may be EWOULDBLOCK
  EXPECT_EQ(WinsockErrorFromErrno(EDEADLK), 20000 + EDEADLK);  // no counterpart: the errno stays visible
  EXPECT_EQ(GetErrorText(20000 + EDEADLK), "Not a WinSock error");
}
