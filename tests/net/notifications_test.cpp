// Non-blocking mode: readiness of the sockets becomes the component's events,
// each given once until the owner acts on it.
#include <gtest/gtest.h>

#include "tests/net/SocketTestKit.h"

using namespace nettest;

TEST(Notifications, Rows) {
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
