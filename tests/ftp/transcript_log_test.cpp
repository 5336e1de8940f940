// The transcript's line assembly and the log file.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "EngineHarness.h"

namespace {

TEST(Transcript, LinesCompleteOnlyAtLineFeed) {
  EngineHarness h;
  h.engine.ShowText("ab");
  h.engine.ShowText("c\r\n");
  EXPECT_EQ(h.ui.ShownLines(), (std::vector<std::string>{"abc\r"}));

  h.engine.ShowText("pending");
  h.engine.ShowText("\n");  // a single character is dropped
  EXPECT_EQ(h.engine.Memo.PendingLine, "pending");
  h.engine.ShowText("x\r\ny\r\nz\r\n");
  EXPECT_EQ(h.ui.ShownLines(),
            (std::vector<std::string>{"abc\r", "pendingx\r", "y\r", "z\r"}));
  EXPECT_EQ(h.engine.Memo.LastLine(), "z\r");

  h.engine.ShowText(std::string("n\0u\0l\r\n", 8));
  EXPECT_EQ(h.engine.Memo.LastLine(), "nul\r");
}

TEST(Transcript, LastReplyCodeReadsTheLastLine) {
  EngineHarness h;
  EXPECT_EQ(h.engine.Memo.LastReplyCode(), -1);
  h.engine.ShowText("550 no such dir\r\n");
  EXPECT_EQ(h.engine.Memo.LastReplyCode(), 550);
  h.engine.ShowText("Total bytes written\r\n");
  EXPECT_EQ(h.engine.Memo.LastReplyCode(), -1);
  h.engine.ShowText("42\r\n");
  EXPECT_EQ(h.engine.Memo.LastReplyCode(), -1);
}

TEST(Transcript, FullTextAreaIsClearedWithANote) {
  EngineHarness h;
  h.engine.ShowText("one\r\n");
  h.ui.SetTranscriptFull(true);
  h.engine.ShowText("two\r\n");
  h.engine.ShowText("three\r\n");
  EXPECT_EQ(h.ui.ShownLines(),
            (std::vector<std::string>{"Cleared output area due to limited  resources", "three\r"}));
}

TEST(LogFile, WritesOnlyWhenEnabledAndAppendsStampedLines) {
  EngineHarness h;
  h.engine.LogEnabled = false;
  h.engine.WriteLog("nothing");
  EXPECT_FALSE(h.dir.Exists("TARNEX.LOG"));

  h.engine.LogEnabled = true;
  h.engine.WriteLog("first");
  h.engine.WriteLog("second");
  std::string log = h.dir.ReadLog();
  // "YYYY-MM-DD HH:MM:SS text\r\n", twice.
  ASSERT_EQ(log.size(), 2 * 20 + std::string("first\r\nsecond\r\n").size());
  EXPECT_EQ(log.substr(19, 8), " first\r\n");
  EXPECT_EQ(log[4], '-');
  EXPECT_EQ(log[10], ' ');
  EXPECT_EQ(log.substr(log.size() - 8), "second\r\n");
}

TEST(LogFile, UnwritableLogRaisesTheProgramsText) {
  EngineHarness h;
  // A folder where the log file should be cannot be written as a file.
  ::mkdir(h.dir.LogPath().c_str(), 0755);
  try {
    h.engine.WriteLog("event");
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + h.dir.LogPath());
  }
}

TEST(PortArguments, AddressAndPortBytes) {
  EXPECT_EQ(PortArguments("192.168.1.20", 1030), "192,168,1,20,4,6");
  EXPECT_EQ(PortArguments("10.0.0.1", 200), "10,0,0,1,0,200");
  EXPECT_EQ(PortArguments("127.0.0.1", 65535), "127,0,0,1,255,255");
  EXPECT_EQ(PortArguments("", 1030), "");
  EXPECT_EQ(PortArguments("1.2.3", 1030), "");
  EXPECT_EQ(PortArguments("1.2.3.400", 1030), "");
}

TEST(ReplyFileSize, TakesTheNumberAfterTheBracket) {
  EngineHarness h;
  auto size = [&h](const std::string& reply) {
    h.engine.LastReply = reply;
    return h.engine.ReplyFileSize();
  };
  EXPECT_EQ(size("150 Opening BINARY mode data connection for a.bin (12345 bytes)\r\n"), 12345);
  EXPECT_EQ(size("150 Opening (3000000000 bytes)\r\n"), 3000000000LL);
  EXPECT_EQ(size("150 Opening data connection\r\n"), 0);
  EXPECT_EQ(size("150 Opening (12345)\r\n"), 0);
  EXPECT_EQ(size("150 Opening (abc bytes)\r\n"), 0);
  EXPECT_EQ(size("150 Opening (-5 bytes)\r\n"), 0);
  EXPECT_EQ(size("150 Opening (99999999999999999999999 bytes)\r\n"), 0);
  EXPECT_EQ(size("150 ( bytes)\r\n"), 0);
}

TEST(Progress, PercentCaptionAndRepaintOnlyOnChange) {
  EngineHarness h;
  h.engine.ShowProgress(100, 0);
  EXPECT_EQ(h.ui.ProgressShowCount(), 0);
  h.engine.ShowProgress(0, 1000);
  EXPECT_TRUE(h.ui.ProgressShown());
  h.engine.ShowProgress(512, 1000);
  h.engine.ShowProgress(515, 1000);
  h.engine.ShowProgress(1000, 1000);
  const auto& history = h.ui.ProgressHistory();
  ASSERT_EQ(history.size(), 4u);
  EXPECT_EQ(history[0].caption, "0% Complete");
  EXPECT_EQ(history[1].percent, 51);
  EXPECT_EQ(history[1].caption, "51% Complete");
  EXPECT_EQ(history[3].caption, "100% Complete");
  EXPECT_EQ(h.ui.RepaintCount(), 2);  // 51 and 100; 0 and the second 51 change nothing
  // Sizes past 2 GiB.
  h.engine.ShowProgress(3'000'000'000LL, 4'000'000'000LL);
  EXPECT_EQ(h.ui.ProgressHistory().back().percent, 75);
  h.engine.HideProgress();
  EXPECT_FALSE(h.ui.ProgressShown());
}

}  // namespace
