// The transcript's line assembly, the log file, the PORT arguments, the
// announced size and the progress percentage.
#include <gtest/gtest.h>

#include "faults/FaultCatalogue.h"

namespace {

TEST(Transcript, LinesCompleteAtLineFeedAndAFullAreaIsCleared) {
  EngineHarness h;
  h.engine.ShowText("ab");
  h.engine.ShowText("c\r\npending");
  h.engine.ShowText("\n");  // a single character is dropped
  h.engine.ShowText(std::string("x\r\n5\0""50 no\r\nTotal\r\n", 19));
  EXPECT_EQ(h.ui.ShownLines(), (std::vector<std::string>{"abc\r", "pendingx\r", "550 no\r", "Total\r"}));
  EXPECT_EQ(h.engine.Memo.LastReplyCode(), -1);
  h.engine.ShowText("550 no such dir\r\n");
  EXPECT_EQ(h.engine.Memo.LastReplyCode(), 550);
  h.engine.ShowText("42\r\n");
  EXPECT_EQ(h.engine.Memo.LastReplyCode(), -1);
  h.engine.ShowText("226\n");  // three digits, no CR
  EXPECT_EQ(h.engine.Memo.LastReplyCode(), 226);
  h.ui.transcriptFull = true;
  h.engine.ShowText("two\r\n");
  h.engine.ShowText("three\r\n");
  EXPECT_EQ(h.ui.ShownLines(),
            (std::vector<std::string>{"Cleared output area due to limited  resources", "three\r"}));
}

// Lines are appended: the window's rows read whole logs back.
TEST(LogFile, WritesOnlyWhenEnabledAndStampsTheLine) {
  EngineHarness h;
  h.engine.LogEnabled = false;
  h.engine.WriteLog("nothing");
  EXPECT_FALSE(h.dir.Exists("TARNEX.LOG"));
  h.engine.LogEnabled = true;
  h.engine.WriteLog("first");
  const std::string log = h.dir.ReadLog();  // "YYYY-MM-DD HH:MM:SS text\r\n"
  EXPECT_EQ(log.size(), 20 + 7u);
  EXPECT_EQ(log.substr(4, 1) + log.substr(10, 1) + log.substr(19, 8), "- " " first\r\n");
}

TEST(PortArguments, AddressAndPortBytesOrNothing) {
  EXPECT_EQ(PortArguments("192.168.1.20", 1030), "192,168,1,20,4,6");
  EXPECT_EQ(PortArguments("127.0.0.1", 65535), "127,0,0,1,255,255");
  for (const char* bad : {"", "1.2.3", "1.2.3.400"}) EXPECT_EQ(PortArguments(bad, 1030), "") << bad;
}

TEST(ReplyFileSize, TheNumberAfterTheBracketOrZero) {
  EngineHarness h;
  for (auto [reply, size] : std::vector<std::pair<std::string, int64_t>>{
           {"150 Opening (3000000000 bytes)", 3000000000LL}, {"150 Opening data connection", 0},
           {"150 Opening (12345)", 0}, {"150 Opening (-5 bytes)", 0},
           {"150 (99999999999999999999999 bytes)", 0}, {"150 ( bytes)", 0}}) {
    h.engine.LastReply = reply + "\r\n";
    EXPECT_EQ(h.engine.ReplyFileSize(), size) << reply;
  }
}

TEST(Progress, PercentPastTwoGigabytesOrFarPastTheSizeAndNothingForAnEmptyFile) {
  EngineHarness h;
  h.engine.ShowProgress(100, 0);
  EXPECT_EQ(h.ui.progressShows, 0);
  h.engine.ShowProgress(3'000'000'000LL, 4'000'000'000LL);
  EXPECT_EQ(h.ui.progress.back().caption, "75% Complete");
  h.engine.ShowProgress(22'000'000, 1);  // far more bytes than announced: the percentage stays a number
  EXPECT_EQ(h.ui.progress.back().caption, "2147483647% Complete");
}

}  // namespace
