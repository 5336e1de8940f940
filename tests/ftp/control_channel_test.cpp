// Commands and replies on the control connection, against the scripted peer.
#include <gtest/gtest.h>
#include <QThread>

#include "EngineHarness.h"
#include "support/ScriptedPeer.h"

namespace {

TEST(ControlChannel, SingleMultiLineAndSplitReplies) {
  ScriptedPeer peer;
  peer.Send("220 ready\r\n")
      .Reply("NOOP", "200 fine\r\n")
      .Reply("STAT", "230-first\r\n free text\r\n230 last\r\n")
      .Expect("HELP")
      .SendPieces({"21", "4 help te", "xt\r\n"}, 30)
      .Reply("SYST", "211-a\r\n211-b\r\n6xx odd\r\nabc letter\r\n 211 blank\r\n211 end\r\n");
  peer.Start();
  EngineHarness h;
  ASSERT_TRUE(h.Connect(peer.Port()));
  EXPECT_EQ(h.engine.LastReply, "220 ready\r\n");

  EXPECT_EQ(h.engine.SendCommand("NOOP"), 2);
  EXPECT_EQ(h.engine.LastReply, "200 fine\r\n");
  EXPECT_EQ(h.engine.SendCommand("STAT"), 2);
  EXPECT_EQ(h.engine.LastReply, "230 last\r\n");
  EXPECT_EQ(h.engine.SendCommand("HELP"), 2);
  // Lines starting with 6, a letter or a blank are shown and skipped.
  EXPECT_EQ(h.engine.SendCommand("SYST"), 2);
  EXPECT_TRUE(peer.Wait());

  std::vector<std::string> expected = {
      "220 ready\r", "NOOP\r",     "200 fine\r",    "STAT\r",      "230-first\r",
      " free text\r", "230 last\r", "HELP\r",        "214 help text\r", "SYST\r",
      "211-a\r",      "211-b\r",    "6xx odd\r",     "abc letter\r", " 211 blank\r",
      "211 end\r"};
  EXPECT_EQ(h.ui.ShownLines(), expected);
  EXPECT_FALSE(h.engine.CommandBusy);
  EXPECT_EQ(h.ui.BusyCount(), h.ui.NormalCount());
  EXPECT_TRUE(peer.Failures().empty()) << peer.Trace();
}

TEST(ControlChannel, PasswordMaskedOnlyForCapitalPass) {
  ScriptedPeer peer;
  peer.Send("220 ready\r\n").Reply("PASS", "230 ok\r\n").Reply("pass", "500 what\r\n");
  peer.Start();
  EngineHarness h;
  ASSERT_TRUE(h.Connect(peer.Port()));
  h.engine.SendCommand("PASS %s", {"secret"});
  h.engine.SendCommand("pass %s", {"secret"});
  EXPECT_TRUE(peer.Wait());
  EXPECT_TRUE(h.ui.HasLine("PASS xxxxxx"));
  EXPECT_TRUE(h.ui.HasLine("pass secret"));
  EXPECT_FALSE(h.ui.HasLineContaining("PASS secret"));
  EXPECT_EQ(peer.Commands(), (std::vector<std::string>{"PASS secret", "pass secret"}));
}

TEST(ControlChannel, NotConnectedAndBusyRefusal) {
  EngineHarness h;
  EXPECT_EQ(h.engine.SendCommand("PWD"), 5);
  EXPECT_EQ(h.ui.ShownLines(), (std::vector<std::string>{"PWD\r", "Not Connected\r"}));

  h.engine.CommandBusy = true;
  EXPECT_EQ(h.engine.SendCommand("NOOP"), -1);
  EXPECT_TRUE(h.ui.HasLine("Command already in progress, request ignored"));
  EXPECT_FALSE(h.ui.HasLine("NOOP"));
  EXPECT_TRUE(h.engine.CommandBusy);  // the refusal changes no flag
}

TEST(ControlChannel, BusyFlagAndCursorRestoredWhenAnExceptionLeaves) {
  EngineHarness h;
  h.ui.SetLineHook([](const std::string& line) {
    if (line == "NOOP\r") throw std::runtime_error("boom");
  });
  EXPECT_THROW(h.engine.SendCommand("NOOP"), std::runtime_error);
  EXPECT_FALSE(h.engine.CommandBusy);
  EXPECT_FALSE(h.ui.Busy());
  h.ui.SetLineHook(nullptr);
  EXPECT_EQ(h.engine.SendCommand("PWD"), 5);  // not refused as busy
}

TEST(ControlChannel, ServerClosingWhileAReplyIsAwaitedEndsWithFive) {
  ScriptedPeer peer;
  peer.Send("220 ready\r\n").Expect("NOOP").CloseAfter("200 half a li");
  peer.Start();
  EngineHarness h;
  ASSERT_TRUE(h.Connect(peer.Port()));
  EXPECT_EQ(h.engine.SendCommand("NOOP"), 5);
  EXPECT_TRUE(h.engine.ControlClosed);
  EXPECT_TRUE(h.ui.Boxes().empty());
}

TEST(ControlChannel, LongLinesAndNulBytes) {
  const std::string longText(700, 'x');
  ScriptedPeer peer;
  peer.Send("220 ready\r\n")
      .Reply("NOOP", "200 " + longText + "\r\n")
      .Reply("STAT", std::string("211 a\0b\r\n", 9))
      .Reply("HELP", "214-" + longText + "\r\n214 end\r\n");
  peer.Start();
  EngineHarness h;
  ASSERT_TRUE(h.Connect(peer.Port()));
  EXPECT_EQ(h.engine.SendCommand("NOOP"), 2);
  EXPECT_EQ(h.engine.LastReply, "200 " + longText + "\r\n");
  EXPECT_EQ(h.engine.SendCommand("STAT"), 2);
  EXPECT_EQ(h.engine.SendCommand("HELP"), 2);  // the long "214-" line is not final
  EXPECT_TRUE(peer.Wait());
  auto lines = h.ui.ShownLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "200 " + longText + "\r"), 1);
  EXPECT_TRUE(h.ui.HasLine("211 ab"));  // the NUL is skipped, nothing after it lost
}

TEST(ControlChannel, TimeoutAbortsQuietlyOtherErrorsAreShownAndLogged) {
  ScriptedPeer peer;
  peer.Send("220 ready\r\n").Expect("NOOP").Pause(3000);
  peer.Start();
  EngineHarness h;
  h.engine.Sockets1.Timeout = 1;
  ASSERT_TRUE(h.Connect(peer.Port()));
  EXPECT_EQ(h.engine.SendCommand("NOOP"), 5);
  // 10060 only set the abort request; the interrupted call's 10004 is shown.
  ASSERT_EQ(h.ui.Boxes().size(), 1u);
  EXPECT_EQ(h.ui.Boxes()[0].text, "Error: 10004\r\nInterrupted system call");
  EXPECT_EQ(h.ui.Boxes()[0].caption, "Error");
  EXPECT_EQ(h.ui.Boxes()[0].icon, BoxIcon::Exclamation);
  EXPECT_NE(h.dir.ReadLog().find("Error: 10004\r\nInterrupted system call Error\r\n"),
            std::string::npos);
  EXPECT_FALSE(h.ui.HasLineContaining("10004"));  // socket errors stay out of the transcript

  h.engine.Sockets1ErrorOccurred(&h.engine.Sockets1, 3, 10060, "Blocking call timed out");
  EXPECT_TRUE(h.engine.AbortFlag);
  EXPECT_EQ(h.engine.LastSocketError, 0);
  EXPECT_EQ(h.ui.Boxes().size(), 1u);
}

TEST(ControlChannel, PendingAbortSendsTheLineButReadsNoReply) {
  ScriptedPeer peer;
  peer.Send("220 ready\r\n").Reply("NOOP", "200 ok\r\n").Reply("PWD", "257 \"/\"\r\n");
  peer.Start();
  EngineHarness h;
  ASSERT_TRUE(h.Connect(peer.Port()));
  h.engine.CancelTransfer();
  EXPECT_EQ(h.engine.SendCommand("NOOP"), 5);
  EXPECT_FALSE(h.engine.AbortFlag);  // taken by the check after the send
  // The unread reply is shown before the next command is sent, and is not
  // taken for that command's reply.
  ASSERT_TRUE(peer.WaitForCommands(1));
  QThread::msleep(100);
  EXPECT_EQ(h.engine.SendCommand("PWD"), 2);
  EXPECT_EQ(h.engine.LastReply, "257 \"/\"\r\n");
  auto lines = h.ui.ShownLines();
  EXPECT_EQ(std::vector<std::string>(lines.end() - 4, lines.end()),
            (std::vector<std::string>{"NOOP\r", "200 ok\r", "PWD\r", "257 \"/\"\r"}));
  EXPECT_NE(h.dir.ReadLog().find("Something Aborted"), std::string::npos);
}

TEST(ControlChannel, ArgumentsWithLineBreaksAreNotSent) {
  ScriptedPeer peer;
  peer.Send("220 ready\r\n").Reply("CWD", "250 ok\r\n");
  peer.Start();
  EngineHarness h;
  ASSERT_TRUE(h.Connect(peer.Port()));
  EXPECT_EQ(h.engine.SendCommand("CWD %s", {"a\r\nDELE x"}), 5);
  EXPECT_EQ(h.engine.SendCommand("CWD %s", {std::string("a\0b", 3)}), 5);
  EXPECT_EQ(h.engine.SendCommand("CWD %s", {"ok"}), 2);
  EXPECT_TRUE(peer.Wait());
  EXPECT_EQ(peer.Commands(), (std::vector<std::string>{"CWD ok"}));
  EXPECT_TRUE(h.ui.HasLineContaining("Command not sent"));
}

TEST(Format, PercentSignsInArgumentsStayAsTheyAre) {
  EXPECT_EQ(Format("%s", {"100% %d %s"}), "100% %d %s");
  EXPECT_EQ(Format("PORT %d,%d", {4, 6}), "PORT 4,6");
  EXPECT_EQ(Format("a%%b %s", {std::string("x\0y", 3)}), std::string("a%b x\0y", 7));
}

}  // namespace
