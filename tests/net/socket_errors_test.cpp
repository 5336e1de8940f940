// Error texts, errno mapping, the error report and the notification dispatch.
#include <gtest/gtest.h>

#include <cerrno>

#include "net/SocketErrors.h"
#include "tests/net/SocketTestKit.h"

using namespace nettest;

TEST(SocketErrors, TextsOfTheTableAndEverythingElse) {
  EXPECT_EQ(GetErrorText(10004), "Interrupted system call");
  EXPECT_EQ(GetErrorText(10036), "Operation now in progress");
  EXPECT_EQ(GetErrorText(10047), "Address family not supported by protocol family");
  EXPECT_EQ(GetErrorText(10049), "Can't assign requested address");
  EXPECT_EQ(GetErrorText(10059), "Too many references: can't splice");
  EXPECT_EQ(GetErrorText(10060), "Connection timed out");
  EXPECT_EQ(GetErrorText(10061), "Connection refused");
  EXPECT_EQ(GetErrorText(10071), "Too many levels of remote in path");
  EXPECT_EQ(GetErrorText(10092), "WinSock DLL cannot support this application");
  EXPECT_EQ(GetErrorText(11001), "Host not found");
  EXPECT_EQ(GetErrorText(11004), "No Data");
  // Gaps in the numbering and everything outside it.
  for (int n : {0, -1, 10000, 10010, 10072, 10090, 10094, 11000, 11005, 20002})
    EXPECT_EQ(GetErrorText(n), "Not a WinSock error") << n;
}

TEST(SocketErrors, ErrnoMapsToTheNumberOfTheSameMeaning) {
  EXPECT_EQ(WinsockErrorFromErrno(ECONNREFUSED), 10061);
  EXPECT_EQ(WinsockErrorFromErrno(ETIMEDOUT), 10060);
  EXPECT_EQ(WinsockErrorFromErrno(EINTR), 10004);
  EXPECT_EQ(WinsockErrorFromErrno(ECONNRESET), 10054);
  EXPECT_EQ(WinsockErrorFromErrno(ENETUNREACH), 10051);
  EXPECT_EQ(WinsockErrorFromErrno(EHOSTUNREACH), 10065);
  EXPECT_EQ(WinsockErrorFromErrno(EADDRINUSE), 10048);
  EXPECT_EQ(WinsockErrorFromErrno(ENOTCONN), 10057);
  EXPECT_EQ(WinsockErrorFromErrno(EBADF), 10038);
  EXPECT_EQ(WinsockErrorFromErrno(ENOTSOCK), 10038);
  EXPECT_EQ(WinsockErrorFromErrno(EPIPE), 10058);
  EXPECT_EQ(WinsockErrorFromErrno(EACCES), 10013);
  EXPECT_EQ(WinsockErrorFromErrno(EINVAL), 10022);
  EXPECT_EQ(WinsockErrorFromErrno(EMFILE), 10024);
  EXPECT_EQ(WinsockErrorFromErrno(EAFNOSUPPORT), 10047);
  EXPECT_EQ(WinsockErrorFromErrno(EADDRNOTAVAIL), 10049);
  EXPECT_EQ(WinsockErrorFromErrno(ECONNABORTED), 10053);
  EXPECT_EQ(WinsockErrorFromErrno(EWOULDBLOCK), 10035);
  EXPECT_EQ(WinsockErrorFromErrno(EAGAIN), 10035);
  EXPECT_EQ(WinsockErrorFromErrno(EINPROGRESS), 10036);
  EXPECT_EQ(WinsockErrorFromErrno(EALREADY), 10037);
  // An errno without a counterpart must still count as an error, and must
  // not borrow the text of an unrelated number (EDEADLK is 35 on Linux).
  int other = WinsockErrorFromErrno(EDEADLK);
  EXPECT_GT(other, 10000);
  EXPECT_EQ(GetErrorText(other), "Not a WinSock error");
}

TEST(SocketErrorReport, HandlerGetsTheTableTextOnly) {
  Boxes boxes;
  TSockets s(boxes);
  std::vector<Report> reports;
  RecordReports(s, reports);
  s.ReportError(7, "SConnect", 10061);
  s.ReportError(7, "SConnect", 0);
  s.ReportError(7, "SConnect", 10060);
  ASSERT_EQ(reports.size(), 3u);
  EXPECT_EQ(reports[0].socket, 7);
  EXPECT_EQ(reports[0].error, 10061);
  EXPECT_EQ(reports[0].msg, "Connection refused");
  EXPECT_EQ(reports[1].msg, "Not a WinSock error");
  EXPECT_EQ(reports[2].msg, "Connection timed out");
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_EQ(boxes.endedWith, -1);
}

TEST(SocketErrorReport, WithoutHandlerShowsTheFatalBoxThenEndsWithCodeZero) {
  Boxes boxes;
  TSockets s(boxes);
  s.ReportError(3, "SConnect", 10061);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, "Error 10061 in function SConnect\r\nConnection refused");
  EXPECT_EQ(boxes.shown[0].caption, "WINSOCK ERROR");
  EXPECT_EQ(boxes.shown[0].buttons, unsigned(BoxOK | BoxCancel));
  EXPECT_EQ(boxes.endedWith, 0);

  // The composed text is cut to 255 characters.
  boxes.shown.clear();
  s.ReportError(3, std::string(400, 'x'), 10054);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text.size(), 255u);
  EXPECT_EQ(boxes.shown[0].text.rfind("Error 10054 in function xxx", 0), 0u);
}

TEST(SocketErrorReportDeathTest, FatalBoxEndsTheProcessWithExitCodeZero) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  struct AnswerOnly : MessageBoxes {  // keeps the real EndProgram
    BoxAnswer ShowMessageBox(const std::string&, const std::string&, BoxIcon, unsigned) override {
      return BoxAnswer::Cancel;
    }
  };
  EXPECT_EXIT(
      {
        AnswerOnly boxes;
        TSockets s(boxes);
        s.Disconnect();  // nothing to close: reported, and without a handler fatal
        std::_Exit(3);   // not reached
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(SocketNotifications, ErrorWordBecomesAReportNamedAfterTheEvent) {
  Boxes boxes;
  TSockets s(boxes);
  int raised = 0;
  s.OnSessionClosed = [&](TSockets*, int) { ++raised; };
  s.OnSessionConnected = [&](TSockets*, int) { ++raised; };
  const std::pair<int, const char*> kinds[] = {
      {TSockets::FD_CLOSE, "FD_CLOSE"}, {TSockets::FD_CONNECT, "FD_CONNECT"},
      {TSockets::FD_READ, "FD_READ"},   {TSockets::FD_WRITE, "FD_WRITE"},
      {TSockets::FD_ACCEPT, "FD_ACCEPT"}, {TSockets::FD_OOB, ""}, {99, ""}};
  for (auto [kind, name] : kinds) {
    boxes.shown.clear();
    s.Notify(5, kind, 10053);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text,
              std::string("Error 10053 in function ") + name + "\r\nSoftware caused connection abort");
  }
  EXPECT_EQ(raised, 0);
}

TEST(SocketNotifications, EventsByKindAndNothingForOthers) {
  Boxes boxes;
  TSockets s(boxes);
  std::vector<std::pair<std::string, int>> seen;
  auto note = [&seen](const char* name) {
    return [&seen, name](TSockets*, int socket) { seen.push_back({name, socket}); };
  };
  s.OnDataAvailable = note("read");
  s.OnDataNeeded = note("write");
  s.OnSessionAvailable = note("accept");
  s.OnSessionConnected = note("connect");
  s.OnSessionClosed = note("close");
  for (int kind : {1, 2, 8, 16, 32, 4, 0, 64}) s.Notify(9, kind, 0);
  // An error word of 10000 or less is no error.
  s.Notify(9, TSockets::FD_READ, 10000);
  std::vector<std::pair<std::string, int>> expected = {
      {"read", 9}, {"write", 9}, {"accept", 9}, {"connect", 9}, {"close", 9}, {"read", 9}};
  EXPECT_EQ(seen, expected);
  EXPECT_TRUE(boxes.shown.empty());

  // Without handlers nothing happens at all.
  TSockets bare(boxes);
  bare.Notify(9, TSockets::FD_READ, 0);
  EXPECT_TRUE(boxes.shown.empty());
}

TEST(SocketTimeOutNotice, LateTickWithoutWaitingCallOnlyStopsTheTimer) {
  Boxes boxes;
  TSockets s(boxes);
  std::vector<Report> reports;
  RecordReports(s, reports);
  s.TimerFired();
  EXPECT_TRUE(reports.empty());
  EXPECT_FALSE(TSockets::WSAIsBlocking());
}
