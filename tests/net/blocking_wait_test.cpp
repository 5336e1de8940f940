// Blocking calls that wait in a nested event loop: time-out, cancel, nesting,
// and keeping events flowing.
#include <gtest/gtest.h>

#include <sys/ioctl.h>
#include <sys/resource.h>

#include <atomic>
#include <thread>

#include <QTimer>

#include "tests/net/SocketTestKit.h"

using namespace nettest;

namespace {

// A blocking component connected to a raw peer.
struct Connected {
  Boxes boxes;
  TSockets s{boxes};
  RawListener listener;
  Fd peer;
  std::vector<Report> reports;
  explicit Connected(bool handler = true) {
    if (handler) RecordReports(s, reports);
    s.SetNonBlocking(false);
    s.IPAddr = "127.0.0.1";
    s.Port = listener.PortText();
    s.SConnect();
    peer = listener.AcceptOne();
  }
};

double ThreadCpuSeconds() {
  rusage use{};
  getrusage(RUSAGE_THREAD, &use);
  return use.ru_utime.tv_sec + use.ru_stime.tv_sec +
         (use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
}

}  // namespace

TEST(BlockingWait, SilentPeerTimesOutWithNoticeThenInterruptedCallAndSleepsMeanwhile) {
  Connected c;
  ASSERT_GE(c.peer.fd, 0);
  ASSERT_TRUE(c.reports.empty());
  c.s.Timeout = 1;
  char buffer[16];
  const double cpuBefore = ThreadCpuSeconds();
  int got = c.s.SReceive(c.s.ConnectionSocket(), buffer, sizeof buffer);
  const double cpuUsed = ThreadCpuSeconds() - cpuBefore;

  EXPECT_EQ(got, -1);
  ASSERT_EQ(c.reports.size(), 2u);
  EXPECT_EQ(c.reports[0].error, 10060);
  EXPECT_EQ(c.reports[0].msg, "Blocking call timed out");
  EXPECT_EQ(c.reports[0].socket, c.s.ConnectionSocket());
  EXPECT_EQ(c.reports[1].error, 10004);
  EXPECT_EQ(c.reports[1].msg, "Interrupted system call");
  EXPECT_TRUE(c.boxes.shown.empty());
  EXPECT_FALSE(TSockets::WSAIsBlocking());
  // The wait sleeps between events: a second of waiting costs next to no
  // processor time (a spinning wait would use the whole second).
  EXPECT_LT(cpuUsed, 0.1);
}

TEST(BlockingWait, TimeOutWithoutHandlerShowsCancelBoxThenFatalBox) {
  Connected c(false);
  ASSERT_GE(c.peer.fd, 0);
  c.s.Timeout = 1;
  std::string text = c.s.PeekData();
  EXPECT_EQ(text, "");
  ASSERT_EQ(c.boxes.shown.size(), 2u);
  EXPECT_EQ(c.boxes.shown[0].text, "Error 10060\r\nBlocking call timed out");
  EXPECT_EQ(c.boxes.shown[0].caption, "WINSOCK CALL CANCELED");
  EXPECT_EQ(c.boxes.shown[0].buttons, unsigned(BoxOK | BoxCancel));
  EXPECT_EQ(c.boxes.shown[1].text, "Error 10004 in function PeekData (Peek)\r\nInterrupted system call");
  EXPECT_EQ(c.boxes.shown[1].caption, "WINSOCK ERROR");
  EXPECT_EQ(c.boxes.endedWith, 0);
}

TEST(BlockingWait, NoLimitWhenTimeoutIsZeroOrLessAndTimersRunInsideTheWait) {
  for (int timeout : {0, -1}) {
    Connected c;
    ASSERT_GE(c.peer.fd, 0);
    c.s.Timeout = timeout;
    // The peer answers only after the one second a Timeout of 1 would allow,
    // from a timer that must fire while the receive waits.
    const int peerFd = c.peer.fd;
    QTimer::singleShot(1300, [peerFd] { ::send(peerFd, "late", 4, 0); });
    char buffer[16] = {};
    int got = c.s.SReceive(c.s.ConnectionSocket(), buffer, sizeof buffer);
    EXPECT_EQ(got, 4) << "Timeout " << timeout;
    EXPECT_EQ(std::string(buffer, 4), "late");
    EXPECT_TRUE(c.reports.empty());
  }
}

TEST(BlockingWait, DisconnectFromNestedHandlerCancelsTheWaitingReceive) {
  Connected c;
  ASSERT_GE(c.peer.fd, 0);
  c.s.Timeout = 30;
  QTimer::singleShot(50, [&c] { c.s.Disconnect(); });
  QElapsedTimer clock;
  clock.start();
  char buffer[16];
  int got = c.s.SReceive(c.s.ConnectionSocket(), buffer, sizeof buffer);
  EXPECT_LT(clock.elapsed(), 10000);  // did not wait for the time-out
  EXPECT_EQ(got, -1);
  ASSERT_EQ(c.reports.size(), 1u);
  EXPECT_EQ(c.reports[0].error, 10004);
  EXPECT_EQ(c.s.ConnectionSocket(), -1);
  EXPECT_FALSE(TSockets::WSAIsBlocking());
  // The peer sees the connection end (reset by the hard close).
  char b;
  pollfd p{c.peer.fd, POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, 5000), 1);
  EXPECT_LE(::recv(c.peer.fd, &b, 1, 0), 0);
}

TEST(BlockingWait, SecondBlockingCallWhileOneWaitsFailsWithInProgress) {
  Connected c;
  Connected other;
  ASSERT_GE(c.peer.fd, 0);
  ASSERT_GE(other.peer.fd, 0);
  ::send(other.peer.fd, "ready", 5, 0);
  c.s.Timeout = 1;

  int nestedOther = 0, nestedSame = 0;
  QTimer::singleShot(50, [&] {
    char buffer[8];
    // Data is waiting for this one, but a call is already in progress.
    nestedOther = other.s.SReceive(other.s.ConnectionSocket(), buffer, sizeof buffer);
    int len = 2;
    nestedSame = c.s.SSend(c.s.ConnectionSocket(), "hi", len);
  });
  // Should the time-out be lost, this ends the wait instead of a hang.
  QTimer rescue;
  rescue.setSingleShot(true);
  QObject::connect(&rescue, &QTimer::timeout, [&c] { TSockets::WSACancelBlockingCall(); });
  rescue.start(8000);
  char buffer[8];
  int got = c.s.SReceive(c.s.ConnectionSocket(), buffer, sizeof buffer);

  EXPECT_EQ(nestedOther, -1);
  ASSERT_EQ(other.reports.size(), 1u);
  EXPECT_EQ(other.reports[0].error, 10036);
  EXPECT_EQ(other.reports[0].msg, "Operation now in progress");
  EXPECT_EQ(nestedSame, -1);
  // The refused nested call leaves the waiting call's time-out running.
  EXPECT_EQ(got, -1);
  ASSERT_EQ(c.reports.size(), 3u);
  EXPECT_EQ(c.reports[0].error, 10036);
  EXPECT_EQ(c.reports[1].error, 10060);
  EXPECT_EQ(c.reports[2].error, 10004);
  // Nothing of the refused send reached the peer.
  char b;
  EXPECT_EQ(::recv(c.peer.fd, &b, 1, MSG_DONTWAIT), -1);

  // Once the wait is over, the other component works again.
  EXPECT_EQ(other.s.SReceive(other.s.ConnectionSocket(), buffer, sizeof buffer), 5);
}

TEST(BlockingWait, EventsAreProcessedWhileDataIsAlwaysReady) {
  Connected c;
  ASSERT_GE(c.peer.fd, 0);
  std::atomic<bool> stop{false};
  const int peerFd = c.peer.fd;
  std::thread writer([&stop, peerFd] {
    char block[4096] = {};
    while (!stop) {
      pollfd p{peerFd, POLLOUT, 0};
      if (::poll(&p, 1, 50) == 1 && ::send(peerFd, block, sizeof block, MSG_NOSIGNAL) < 0) break;
    }
  });
  // Let data pile up first, so that no receive below has to wait.
  QElapsedTimer fill;
  fill.start();
  int queued = 0;
  while (queued < 32 * 1024 && fill.elapsed() < 5000) {
    ::usleep(1000);
    ::ioctl(c.s.ConnectionSocket(), FIONREAD, &queued);
  }
  bool timerRan = false;
  QTimer::singleShot(0, [&timerRan] { timerRan = true; });
  // A slow reader of a fast peer: every receive finds data at once.
  QElapsedTimer clock;
  clock.start();
  char b;
  while (!timerRan && clock.elapsed() < 5000) {
    if (c.s.SReceive(c.s.ConnectionSocket(), &b, 1) != 1) break;
  }
  stop = true;
  writer.join();
  EXPECT_TRUE(timerRan);
  EXPECT_TRUE(c.reports.empty());
}
