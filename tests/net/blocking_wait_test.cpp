// Blocking calls wait in a nested event loop: time-out, cancel, nesting, no
// limit, events flowing; and the pause that waits the same way.
#include <gtest/gtest.h>

#include "net/TSleeper.h"
#include "tests/net/SocketTestKit.h"

using namespace nettest;

TEST(BlockingWait, Rows) {
  const char* timedOut = "10060 Blocking call timed out";
  const char* cancelled = "10004 Interrupted system call";
  PlayRows(false, {
    {"silent peer", "connect; recv 16; peer", {timedOut, cancelled, "-1", "nothing"}, true, 1},
    {"silent peer, no handler", "connect; recv 16",
     {"WINSOCK CALL CANCELED: Error 10060\r\nBlocking call timed out",
      "WINSOCK ERROR: Error 10004 in function SReceive\r\nInterrupted system call", "end 0", "-1"}, false, 1},
    {"no limit at 0", "connect; recv 16", {"4"}, true, 0, "send late"},
    {"no limit below 0", "connect; recv 16", {"4"}, true, -1, "send late"},
    {"disconnect from a handler", "connect; recv 16; peer", {cancelled, "-1", "closed"}, true, 30,
     "disconnect"},
    {"nested blocking call", "connect; recv 16; peer",
     {"10036 Operation now in progress", timedOut, cancelled, "-1", "nothing"}, true, 1, "text hi"},
    {"a peer always ready: events still run", "connect; flood; trickle", {"data waiting"}, true, 1, "waiting"},
  });
}

TEST(Sleeper, PausesItsIntervalWhileEventsRun) {
  TSleeper sleeper;
  EXPECT_EQ(sleeper.Interval(), 1000);
  int ran = 0;
  for (int round = 1; round <= 2; ++round) {
    QTimer::singleShot(250, [&ran] { ++ran; });
    if (round == 1) sleeper.SleepFor(300);
    else sleeper.Sleep();   // SleepFor's interval stays
    EXPECT_EQ(ran, round);  // the timer ran during the pause, which did not end before it
  }
  EXPECT_EQ(sleeper.Interval(), 300);
}
