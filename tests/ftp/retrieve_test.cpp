// Retrieval of files, listings and views, against the scripted peer.
#include <gtest/gtest.h>

#include "EngineHarness.h"
#include "support/ScriptedPeer.h"

namespace {

std::string Bytes(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + 3) & 0xff);
  return s;
}

ScriptedPeer& Greet(ScriptedPeer& peer) { return peer.Send("220 ready\r\n"); }

TEST(Retrieve, BinaryGetTranscriptOrderBytesAndProgress) {
  const std::string data = Bytes(12345);
  ScriptedPeer peer;
  Greet(peer)
      .Reply("TYPE I", "200 Type set to I\r\n")
      .Reply("PORT", "200 PORT ok\r\n")
      .Reply("RETR a.bin", "150 Opening BINARY mode data connection for a.bin (12345 bytes)\r\n")
      .DataConnect()
      .DataSendPieces({data.substr(0, 5000), data.substr(5000)}, 20)
      .DataClose()
      .Send("226 Transfer complete\r\n");
  peer.Start();
  EngineHarness h;
  ASSERT_TRUE(h.Connect(peer.Port()));
  h.engine.Retrieve("a.bin", "local.bin", "TYPE I");
  EXPECT_TRUE(peer.Wait());

  EXPECT_EQ(h.dir.ReadFile("local.bin"), data);
  auto lines = h.ui.ShownLines();
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[1], "TYPE I\r");
  EXPECT_EQ(lines[2], "200 Type set to I\r");
  EXPECT_EQ(lines[3].substr(0, 15), "PORT 127,0,0,1,");
  EXPECT_EQ(lines[4], "200 PORT ok\r");
  EXPECT_EQ(lines[5], "RETR a.bin\r");
  EXPECT_EQ(lines[7], "226 Transfer complete\r");
  ASSERT_FALSE(h.ui.ProgressHistory().empty());
  EXPECT_EQ(h.ui.ProgressHistory().back().percent, 100);
  EXPECT_FALSE(h.ui.ProgressShown());  // hidden at the end
  EXPECT_TRUE(h.ui.Boxes().empty());
  EXPECT_FALSE(h.ui.Busy());
  EXPECT_EQ(h.engine.Sockets2.ConnectionSocket(), -1);
  EXPECT_EQ(h.engine.Sockets2.ListeningSocket(), -1);
  EXPECT_TRUE(peer.Failures().empty()) << peer.Trace();
}

TEST(Retrieve, NoSizeMeansNoProgressAndShortFileIsReported) {
  ScriptedPeer peer;
  Greet(peer)
      .Reply("TYPE I", "200 ok\r\n")
      .Reply("PORT", "200 ok\r\n")
      .Reply("RETR a", "150 Opening data connection\r\n")
      .DataConnect().DataSend("abc").DataClose()
      .Send("226 done\r\n")
      .Reply("TYPE I", "200 ok\r\n")
      .Reply("PORT", "200 ok\r\n")
      .Reply("RETR b", "150 Opening (10 bytes)\r\n")
      .DataConnect().DataSend("abc").DataClose()
      .Send("226 done\r\n");
  peer.Start();
  EngineHarness h;
  ASSERT_TRUE(h.Connect(peer.Port()));
  h.engine.Retrieve("a", "a.out", "TYPE I");
  EXPECT_EQ(h.ui.ProgressShowCount(), 0);
  EXPECT_FALSE(h.ui.HasLineContaining("Transfer incomplete"));
  h.engine.Retrieve("b", "b.out", "TYPE I");
  EXPECT_TRUE(peer.Wait());
  EXPECT_TRUE(h.ui.HasLine("Transfer incomplete: 3 of 10 bytes received"));
  EXPECT_NE(h.dir.ReadLog().find("Transfer incomplete: 3 of 10 bytes received"),
            std::string::npos);
}

TEST(Retrieve, ListingToTheTranscriptKeepsTextAfterNul) {
  ScriptedPeer peer;
  Greet(peer)
      .Reply("TYPE A", "200 ok\r\n")
      .Reply("PORT", "200 ok\r\n")
      .Reply("LIST *.txt", "150 Here comes the listing\r\n")
      .DataConnect()
      .DataSend(std::string("a.txt\r\nb\0.txt\r\nc.t", 18))
      .DataSend("xt\r\n")
      .DataClose()
      .Send("226 done\r\n");
  peer.Start();
  EngineHarness h;
  h.engine.DirSep = "0";
  ASSERT_TRUE(h.Connect(peer.Port()));
  h.engine.ListRemote("LIST %s", {"*.txt"});
  EXPECT_TRUE(peer.Wait());
  auto lines = h.ui.ShownLines();
  std::vector<std::string> tail(lines.end() - 5, lines.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"150 Here comes the listing\r", "a.txt\r", "b.txt\r",
                                            "c.txt\r", "226 done\r"}));
  EXPECT_TRUE(h.ui.EditorStarts().empty());
}

TEST(Retrieve, SeparateListingGoesToATemporaryFileAndTheEditor) {
  ScriptedPeer peer;
  Greet(peer)
      .Reply("TYPE A", "200 ok\r\n")
      .Reply("PORT", "200 ok\r\n")
      .Reply("PWD", "257 \"/pub\" is current\r\n")
      .Reply("LIST", "150 listing\r\n")
      .DataConnect().DataSend("one\r\ntwo\r\n").DataClose()
      .Send("226 done\r\n");
  peer.Start();
  EngineHarness h;
  h.engine.DirSep = "1";
  h.engine.Editor = "my-editor --flag";
  ASSERT_TRUE(h.Connect(peer.Port()));
  h.engine.ListRemote("LIST");
  EXPECT_TRUE(peer.Wait());
  ASSERT_EQ(h.ui.EditorStarts().size(), 1u);
  EXPECT_EQ(h.ui.EditorStarts()[0].first, "my-editor --flag");
  const std::string file = h.ui.EditorStarts()[0].second;
  EXPECT_EQ(file.substr(0, 3), "LST");
  EXPECT_EQ(file.substr(file.size() - 4), ".TMP");
  EXPECT_EQ(h.dir.ReadFile(file), "257 \"/pub\" is current\r\nLIST\r\none\r\ntwo\r\n");
  EXPECT_FALSE(h.ui.HasLine("one"));
}

TEST(Retrieve, RefusalsEndEarlyWithTheirLines) {
  ScriptedPeer peer;
  Greet(peer)
      .Reply("TYPE A", "200 ok\r\n").Reply("PORT", "200 ok\r\n")
      .Reply("LIST", "550 no listing\r\n")
      .Reply("TYPE I", "200 ok\r\n").Reply("PORT", "200 ok\r\n")
      .Reply("RETR x", "450 busy\r\n")
      .Reply("TYPE I", "504 no such type\r\n")
      .Reply("TYPE I", "200 ok\r\n").Reply("PORT", "500 no PORT\r\n")
      .Reply("NOOP", "200 still here\r\n");
  peer.Start();
  EngineHarness h;
  ASSERT_TRUE(h.Connect(peer.Port()));
  h.engine.ListRemote("LIST");
  EXPECT_TRUE(h.ui.HasLine("Could not list directory"));
  h.engine.Retrieve("x", "x.out", "TYPE I");
  EXPECT_TRUE(h.ui.HasLine("Could not retrieve file"));
  h.engine.Retrieve("y", "y.out", "TYPE I");
  h.engine.Retrieve("z", "z.out", "TYPE I");
  EXPECT_EQ(h.engine.SendCommand("NOOP"), 2);
  EXPECT_TRUE(peer.Wait());
  EXPECT_EQ(peer.Commands().back(), "NOOP");
  EXPECT_EQ(h.engine.Sockets2.ListeningSocket(), -1);
  EXPECT_TRUE(peer.Failures().empty()) << peer.Trace();
}

TEST(Retrieve, UncreatableLocalFileSendsNothing) {
  ScriptedPeer peer;
  Greet(peer);
  peer.Start();
  EngineHarness h;
  ASSERT_TRUE(h.Connect(peer.Port()));
  h.engine.Retrieve("a", "no/such/folder/a", "TYPE I");
  ASSERT_EQ(h.ui.Boxes().size(), 1u);
  EXPECT_EQ(h.ui.Boxes()[0].text, "Could not open file");
  EXPECT_EQ(h.ui.Boxes()[0].caption, "_lopen error");
  EXPECT_NE(h.dir.ReadLog().find("Could not open file"), std::string::npos);

  // A temporary listing file that cannot be made is reported the same way.
  h.engine.DirSep = "1";
  ASSERT_EQ(::chdir("/proc"), 0);
  h.engine.ListRemote("LIST");
  ASSERT_EQ(h.ui.Boxes().size(), 2u);
  EXPECT_EQ(h.ui.Boxes()[1].text, "Could not open file");
  ASSERT_EQ(::chdir(h.dir.Dir().c_str()), 0);
  peer.Wait(200);
  EXPECT_TRUE(peer.Commands().empty());
}

TEST(Retrieve, ServerThatNeverConnectsEndsAtTheTimeout) {
  ScriptedPeer peer;
  Greet(peer)
      .Reply("TYPE I", "200 ok\r\n").Reply("PORT", "200 ok\r\n")
      .Reply("RETR a", "150 Opening (5 bytes)\r\n")
      .DataRefuse();
  peer.Start();
  EngineHarness h;
  h.engine.RetrieveTimeout = 1;
  ASSERT_TRUE(h.Connect(peer.Port()));
  h.engine.Retrieve("a", "a.out", "TYPE I");
  ASSERT_FALSE(h.ui.Boxes().empty());
  EXPECT_EQ(h.ui.Boxes().back().text, "Could not extablish data socket, operation canceled");
  EXPECT_EQ(h.ui.Boxes().back().caption, "ERROR");
  EXPECT_NE(h.dir.ReadLog().find("Could not extablish data socket, operation canceled"),
            std::string::npos);
  EXPECT_EQ(h.engine.Sockets2.ListeningSocket(), -1);
}

TEST(Retrieve, LocalWriteFailureSendsAborAndDrains) {
  ScriptedPeer peer;
  Greet(peer)
      .Reply("TYPE I", "200 ok\r\n").Reply("PORT", "200 ok\r\n")
      .Reply("RETR a", "150 Opening (200 bytes)\r\n")
      .DataConnect()
      .DataSend(std::string(200, 'a'))
      .ExpectUrgent()
      .Reply("ABOR", "426 aborted\r\n")
      .DataClose()
      .Send("226 abort done\r\n")
      .Reply("NOOP", "200 ok\r\n");
  peer.Start();
  EngineHarness h;
  ASSERT_TRUE(h.Connect(peer.Port()));
  h.engine.Retrieve("a", "/dev/full", "TYPE I");
  EXPECT_EQ(h.engine.SendCommand("NOOP"), 2);
  EXPECT_TRUE(peer.Wait());
  EXPECT_TRUE(peer.UrgentSeen());
  EXPECT_TRUE(h.ui.HasLine("Write to file: /dev/full failed, transfer incomplete"));
  EXPECT_TRUE(peer.Failures().empty()) << peer.Trace();
}

TEST(Retrieve, CancelSendsAborAsUrgentDataAndDrains) {
  const std::string data = Bytes(20000);
  ScriptedPeer peer;
  Greet(peer)
      .Reply("TYPE I", "200 ok\r\n").Reply("PORT", "200 ok\r\n")
      .Reply("RETR big", "150 Opening (20000 bytes)\r\n")
      .DataConnect()
      .DataSend(data.substr(0, 1000))
      .ExpectUrgent()
      .Reply("ABOR", "426 Connection closed; transfer aborted.\r\n")
      .DataSend(data.substr(1000, 1000))
      .DataClose()
      .Send("226 ABOR successful\r\n")
      .Reply("NOOP", "200 ok\r\n");
  peer.Start();
  EngineHarness h;
  bool cancelled = false;
  h.ui.SetProgressHook([&](int) {
    if (!cancelled) {
      cancelled = true;
      h.engine.CancelTransfer();
    }
  });
  ASSERT_TRUE(h.Connect(peer.Port()));
  h.engine.Retrieve("big", "big.out", "TYPE I");
  EXPECT_EQ(h.engine.SendCommand("NOOP"), 2);
  EXPECT_TRUE(peer.Wait());
  EXPECT_TRUE(peer.UrgentSeen());
  EXPECT_EQ(h.dir.ReadFile("big.out"), data.substr(0, 2000));  // drained to the end
  EXPECT_TRUE(h.ui.HasLine("426 Connection closed; transfer aborted."));
  EXPECT_TRUE(peer.Failures().empty()) << peer.Trace();
}

}  // namespace
