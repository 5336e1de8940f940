// Storing files, with the repeat after 426 and cancel, against the scripted peer.
#include <gtest/gtest.h>

#include "EngineHarness.h"
#include "support/ScriptedPeer.h"

namespace {

ScriptedPeer& StoreExchange(ScriptedPeer& peer, const std::string& stor, const std::string& final) {
  return peer.Reply("TYPE I", "200 ok\r\n")
      .Reply("PORT", "200 ok\r\n")
      .Reply(stor, "150 Ok to send data.\r\n")
      .DataConnect()
      .DataReceiveAll()
      .DataClose()
      .Send(final);
}

TEST(StoreFile, ThousandBytesInTwoBlocksWithTotals) {
  const std::string data(1000, 'q');
  ScriptedPeer peer;
  peer.Send("220 ready\r\n");
  StoreExchange(peer, "STOR up.txt", "226 Transfer complete.\r\n");
  peer.Start();
  EngineHarness h;
  h.dir.WriteFile("Up.txt", data);
  h.engine.UseLowerCase = true;
  ASSERT_TRUE(h.Connect(peer.Port()));
  h.engine.StoreFile("TYPE I", "Up.txt", "Up.txt");
  EXPECT_TRUE(peer.Wait());
  EXPECT_EQ(peer.DataReceived(), data);
  EXPECT_TRUE(h.ui.HasLine("Transferring local file: Up.txt to remote file: up.txt"));
  EXPECT_TRUE(h.ui.HasLine("Total bytes written to remote host: 1000"));
  EXPECT_NE(h.dir.ReadLog().find("Total bytes written to remote host :1000\r\n"),
            std::string::npos);
  ASSERT_EQ(h.ui.ProgressHistory().size(), 2u);
  EXPECT_EQ(h.ui.ProgressHistory()[0].percent, 51);
  EXPECT_EQ(h.ui.ProgressHistory()[1].percent, 100);
  EXPECT_EQ(h.ui.StatusTexts(), (std::vector<std::string>{"Sending file: up.txt"}));
  EXPECT_FALSE(h.ui.ProgressShown());
  EXPECT_FALSE(h.ui.Busy());
  EXPECT_TRUE(peer.Failures().empty()) << peer.Trace();
}

TEST(StoreFile, EmptyFileShowsNoProgress) {
  ScriptedPeer peer;
  peer.Send("220 ready\r\n");
  StoreExchange(peer, "STOR empty", "226 done\r\n");
  peer.Start();
  EngineHarness h;
  h.dir.WriteFile("empty", "");
  ASSERT_TRUE(h.Connect(peer.Port()));
  h.engine.StoreFile("TYPE I", "empty", "empty");
  EXPECT_TRUE(peer.Wait());
  EXPECT_EQ(peer.DataConnectionCount(), 1);
  EXPECT_EQ(peer.DataReceived(), "");
  EXPECT_EQ(h.ui.ProgressShowCount(), 0);
  EXPECT_TRUE(h.ui.HasLine("Total bytes written to remote host: 0"));
}

TEST(StoreFile, RepeatAfter426ThenSuccess) {
  ScriptedPeer peer;
  peer.Send("220 ready\r\n");
  StoreExchange(peer, "STOR f", "426 Connection closed; transfer aborted.\r\n");
  StoreExchange(peer, "STOR f", "226 done\r\n");
  peer.Start();
  EngineHarness h;
  h.dir.WriteFile("f", "payload");
  ASSERT_TRUE(h.Connect(peer.Port()));
  h.engine.StoreFile("TYPE I", "f", "f");
  EXPECT_TRUE(peer.Wait());
  EXPECT_EQ(peer.DataConnections(), (std::vector<std::string>{"payload", "payload"}));
  EXPECT_EQ(h.ui.StatusTexts(),
            (std::vector<std::string>{"Sending file: f", "Retrying to Send file: f"}));
  EXPECT_FALSE(h.engine.RetryFlag);
  EXPECT_TRUE(peer.Failures().empty()) << peer.Trace();
}

TEST(StoreFile, RepeatsAfter426AreBounded) {
  ScriptedPeer peer;
  peer.Send("220 ready\r\n");
  for (int i = 0; i <= FtpEngine::MaxStoreRetries; ++i) StoreExchange(peer, "STOR f", "426 broken\r\n");
  peer.Reply("NOOP", "200 ok\r\n");
  peer.Start();
  EngineHarness h;
  h.dir.WriteFile("f", "x");
  ASSERT_TRUE(h.Connect(peer.Port()));
  h.engine.StoreFile("TYPE I", "f", "f");
  EXPECT_EQ(h.engine.SendCommand("NOOP"), 2);
  EXPECT_TRUE(peer.Wait());
  EXPECT_EQ(peer.DataConnectionCount(), FtpEngine::MaxStoreRetries + 1);
  EXPECT_TRUE(h.ui.HasLine("Sending f given up after 3 repeats"));
  EXPECT_NE(h.dir.ReadLog().find("Sending f given up after 3 repeats"), std::string::npos);
}

TEST(StoreFile, CancelTakesTheAbortPathWithoutRepeat) {
  const std::string data(50000, 'z');
  ScriptedPeer peer;
  peer.Send("220 ready\r\n")
      .Reply("TYPE I", "200 ok\r\n")
      .Reply("PORT", "200 ok\r\n")
      .Reply("STOR big", "150 go\r\n")
      .DataConnect()
      .ExpectUrgent()
      .Reply("ABOR", "426 aborted\r\n")
      .DataReceiveAll()
      .Send("226 abort ok\r\n")
      .Reply("NOOP", "200 ok\r\n");
  peer.Start();
  EngineHarness h;
  h.dir.WriteFile("big", data);
  bool cancelled = false;
  h.ui.SetProgressHook([&](int) {
    if (!cancelled) {
      cancelled = true;
      h.engine.CancelTransfer();
    }
  });
  ASSERT_TRUE(h.Connect(peer.Port()));
  h.engine.StoreFile("TYPE I", "big", "big");
  EXPECT_TRUE(h.ui.HasLine("Transfer aborted due to you're request"));
  EXPECT_NE(h.dir.ReadLog().find("Transfer aborted due to you're request"), std::string::npos);
  EXPECT_FALSE(h.ui.HasLineContaining("Total bytes written"));
  // The 226 for the aborted STOR is still queued; the next command reads it first.
  h.engine.ReadReply();
  EXPECT_EQ(h.engine.SendCommand("NOOP"), 2);
  EXPECT_TRUE(peer.Wait());
  EXPECT_TRUE(peer.UrgentSeen());
  // Only the first block went out; the hard close may drop it at the server.
  EXPECT_LE(peer.DataReceived().size(), 512u);
  EXPECT_EQ(peer.DataConnectionCount(), 1);
}

TEST(StoreFile, MissingLocalFileSendsNothing) {
  ScriptedPeer peer;
  peer.Send("220 ready\r\n");
  peer.Start();
  EngineHarness h;
  ASSERT_TRUE(h.Connect(peer.Port()));
  h.engine.StoreFile("TYPE I", "missing", "missing");
  ASSERT_EQ(h.ui.Boxes().size(), 1u);
  EXPECT_EQ(h.ui.Boxes()[0].text, "Could not open local file");
  EXPECT_EQ(h.ui.Boxes()[0].caption, "open error");
  EXPECT_NE(h.dir.ReadLog().find("Could not open local file,open error"), std::string::npos);
  peer.Wait(200);
  EXPECT_TRUE(peer.Commands().empty());
}

TEST(StoreFile, NonNumericLastLineDoesNotRepeat) {
  ScriptedPeer peer;
  peer.Send("220 ready\r\n");
  StoreExchange(peer, "STOR f", "Something odd\r\n226 done\r\n");
  peer.Start();
  EngineHarness h;
  h.dir.WriteFile("f", "abc");
  ASSERT_TRUE(h.Connect(peer.Port()));
  h.engine.Memo.ShowText("no number here\r\n");
  h.engine.CheckStoreRetry("TYPE I", "f", "f");  // nothing happens, no error
  h.engine.StoreFile("TYPE I", "f", "f");
  EXPECT_TRUE(peer.Wait());
  EXPECT_EQ(peer.DataConnectionCount(), 1);
  EXPECT_TRUE(h.ui.Boxes().empty());
}

}  // namespace
