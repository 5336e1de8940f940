// The scripted FTP peer: recording, pieces, data connections after PORT,
// urgent data, recorded mismatches, and no hang when nobody comes.
#include <gtest/gtest.h>

#include <chrono>

#include "RawFtpClient.h"
#include "ScriptedPeer.h"

TEST(ScriptedPeerFixture, RecordsCommandsAndDeliversPiecesExactly) {
  const std::string longLine = "220-" + std::string(300, 'x') + std::string("\0z", 2) + "\r\n";
  ScriptedPeer peer;
  peer.SendPieces({"220 hel", "lo\r\n"}, 300)
      .Reply("USER", "331 ok\r\n")
      .Reply("PASS", longLine + "230 in\r\n");
  peer.Start();

  RawFtpClient client(peer.Port());
  EXPECT_EQ(client.ReceiveSome(), "220 hel");  // the pause splits the reply
  EXPECT_EQ(client.ReceiveSome(), "lo\r\n");
  EXPECT_EQ(client.Command("USER bob"), "331 ok");
  client.SendLine("PASS secret");
  std::string all;
  while (all.find("230 in\r\n") == std::string::npos) all += client.ReceiveSome();
  EXPECT_EQ(all, longLine + "230 in\r\n");
  EXPECT_TRUE(peer.Wait());

  client.SendLine("QUIT");  // after the script's last step: still recorded
  ASSERT_TRUE(peer.WaitForCommands(3));
  EXPECT_EQ(peer.Commands(), (std::vector<std::string>{"USER bob", "PASS secret", "QUIT"}));
  EXPECT_EQ(peer.ControlBytes(), "USER bob\r\nPASS secret\r\nQUIT\r\n");
  EXPECT_TRUE(peer.Failures().empty()) << peer.Trace();
  EXPECT_FALSE(peer.UrgentSeen());
}

TEST(ScriptedPeerFixture, ConnectsToThePortAddressForRetrieveAndStore) {
  std::string payload(100000, '\0');
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<char>(i % 251);
  ScriptedPeer peer;
  peer.Send("220 ready\r\n")
      .Reply("PORT", "200 ok\r\n")
      .Reply("RETR", "150 Opening\r\n")
      .DataConnect().DataSend(payload).DataClose()
      .Send("226 done\r\n")
      .Reply("PORT", "200 ok\r\n")
      .Reply("STOR", "150 Opening\r\n")
      .DataConnect().DataReceiveAll()
      .Send("226 stored\r\n");
  peer.Start();

  RawFtpClient client(peer.Port());
  client.ReadReply();
  client.Listen();
  EXPECT_EQ(client.Command(client.PortCommand()), "200 ok");
  EXPECT_EQ(client.Command("RETR a.bin"), "150 Opening");
  client.Accept();
  EXPECT_EQ(client.DataReceiveAll(), payload);
  EXPECT_EQ(client.ReadReply(), "226 done");

  client.Listen();
  client.Command(client.PortCommand());
  EXPECT_EQ(client.Command("STOR b.bin"), "150 Opening");
  client.Accept();
  client.DataSend("up\0loaded" + std::string("\r\n"));
  client.DataClose();
  EXPECT_EQ(client.ReadReply(), "226 stored");

  EXPECT_TRUE(peer.Wait());
  EXPECT_EQ(peer.DataConnectionCount(), 2);
  EXPECT_EQ(peer.DataConnections()[1], "up\0loaded" + std::string("\r\n"));
  EXPECT_EQ(peer.DataReceived(), "up\0loaded" + std::string("\r\n"));
  EXPECT_TRUE(peer.Failures().empty()) << peer.Trace();
}

TEST(ScriptedPeerFixture, RecordsUrgentAbort) {
  ScriptedPeer peer;
  peer.Send("220 ready\r\n").ExpectUrgent().Reply("ABOR", "226 aborted\r\n");
  peer.Start();

  RawFtpClient client(peer.Port());
  client.ReadReply();
  client.SendUrgent("ABOR\r\n");
  EXPECT_EQ(client.ReadReply(), "226 aborted");
  EXPECT_TRUE(peer.Wait());
  EXPECT_TRUE(peer.UrgentSeen());
  EXPECT_EQ(peer.Commands(), std::vector<std::string>{"ABOR"});
  EXPECT_TRUE(peer.Failures().empty()) << peer.Trace();
}

TEST(ScriptedPeerFixture, MismatchAndMissingDataAreRecordedNotFatal) {
  ScriptedPeer peer;
  peer.Send("220 ready\r\n")
      .Reply("PASS", "230 in\r\n")   // the client sends USER instead
      .DataConnect()                 // no PORT was ever sent
      .Expect("NOOP", 300);          // never comes
  peer.Start();

  RawFtpClient client(peer.Port());
  client.ReadReply();
  EXPECT_EQ(client.Command("USER bob"), "230 in");
  EXPECT_TRUE(peer.Wait());
  auto failures = peer.Failures();
  ASSERT_EQ(failures.size(), 3u) << peer.Trace();
  EXPECT_NE(failures[0].find("USER bob"), std::string::npos);
  EXPECT_NE(failures[1].find("PORT"), std::string::npos);
  EXPECT_NE(failures[2].find("NOOP"), std::string::npos);
}

TEST(ScriptedPeerFixture, ClosesMidReplyAndSeesTheClientClose) {
  ScriptedPeer peer;
  peer.CloseAfter("220 part");
  peer.Start();
  RawFtpClient client(peer.Port());
  std::string got;
  for (std::string piece; !(piece = client.ReceiveSome()).empty();) got += piece;
  EXPECT_EQ(got, "220 part");
  EXPECT_TRUE(peer.Wait());

  ScriptedPeer second;
  second.Send("220 ready\r\n").ExpectClose();
  second.Start();
  {
    RawFtpClient goes(second.Port());
    goes.ReadReply();
  }
  EXPECT_TRUE(second.WaitForClose());
  EXPECT_TRUE(second.Wait());
  EXPECT_TRUE(second.Failures().empty()) << second.Trace();
}

TEST(ScriptedPeerFixture, StopsPromptlyWhenNoClientEverCame) {
  auto begin = std::chrono::steady_clock::now();
  {
    ScriptedPeer peer;
    peer.Send("220 ready\r\n").Pause(60000);
    peer.Start();
    EXPECT_FALSE(peer.Wait(100));
  }
  EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(5));  // no hang
}

TEST(ScriptedPeerText, PlaysAScriptWrittenAsText) {
  ScriptedPeer peer;
  peer.Play(R"(
    > 220 ready
    < USER | 331 pass\x21
    >> 200-a\r\n200 b\r\n
  )");
  EXPECT_THROW(peer.Play("jump"), std::invalid_argument);
  peer.Start();
  RawFtpClient client(peer.Port());
  EXPECT_EQ(client.ReadReply(), "220 ready");
  EXPECT_EQ(client.Command("USER x"), "331 pass!");
  EXPECT_EQ(client.ReadReply(), "200 b");
  EXPECT_TRUE(peer.Wait(3000));
}
