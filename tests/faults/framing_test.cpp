// Fault catalogue, framing: how replies and data are cut, joined and ended.
#include "FaultCatalogue.h"

namespace {

std::vector<std::string> Bytewise(const std::string& text) {
  std::vector<std::string> pieces;
  for (char c : text) pieces.emplace_back(1, c);
  return pieces;
}

std::vector<FaultRow> Rows() {
  std::vector<FaultRow> rows;
  const std::string longLine = "200 " + std::string(17000, 'x') + "\r\n";
  std::string multi;
  for (int i = 1; i < 300; ++i) multi += "214-line " + std::to_string(i) + "\r\n";
  multi += "214 end of help\r\n";

  rows.push_back({.name = "ReplyOneByteAtATime",
                  .script = [](ScriptedPeer& p) {
                    p.Expect("STAT").SendPieces(Bytewise("211-status\r\n text\r\n211 end\r\n"), 3);
                  },
                  .run = [](EngineHarness& h, ScriptedPeer&) {
                    EXPECT_EQ(h.engine.SendCommand("STAT"), 2);
                    EXPECT_EQ(h.engine.LastReply, "211 end\r\n");
                  },
                  .commands = {"STAT"},
                  .lines = {"211-status", " text", "211 end"}});

  rows.push_back({.name = "ReplyLineOf17000Bytes",
                  .script = [longLine](ScriptedPeer& p) { p.Reply("SYST", longLine); },
                  .run = [longLine](EngineHarness& h, ScriptedPeer&) {
                    EXPECT_EQ(h.engine.SendCommand("SYST"), 2);
                    EXPECT_EQ(h.engine.LastReply, longLine);
                  },
                  .commands = {"SYST"},
                  .lines = {longLine.substr(0, longLine.size() - 2)}});

  rows.push_back({.name = "MultiLineReplyOf300Lines",
                  .script = [multi](ScriptedPeer& p) { p.Reply("HELP", multi); },
                  .run = [](EngineHarness& h, ScriptedPeer&) {
                    EXPECT_EQ(h.engine.SendCommand("HELP"), 2);
                    EXPECT_EQ(h.engine.LastReply, "214 end of help\r\n");
                  },
                  .commands = {"HELP"},
                  .lines = {"214-line 1", "214-line 299", "214 end of help"}});

  rows.push_back({.name = "Reply150And226TogetherBeforeData",
                  .script = [](ScriptedPeer& p) {
                    RetrSteps(p, "a", "150 Opening (10 bytes)\r\n226 Transfer complete\r\n")
                        .DataConnect().DataSend("0123456789").DataClose();
                  },
                  .run = [](EngineHarness& h, ScriptedPeer&) { h.engine.Retrieve("a", "a.out", "TYPE I"); },
                  .commands = {"TYPE I", "PORT", "RETR a"},
                  .lines = {"226 Transfer complete"},
                  .absent = {"Transfer incomplete"},
                  .file = std::make_pair("a.out", "0123456789")});

  // The server goes away: the read ends with 5, and a new connection starts
  // clean (nothing of the cut line is taken into its first reply).
  auto reconnect = [](EngineHarness& h, ScriptedPeer& p) {
    EXPECT_TRUE(h.engine.ControlClosed);
    h.engine.Sockets1.Disconnect();
    ASSERT_TRUE(h.Connect(p.Port()));
    EXPECT_EQ(h.engine.LastReply, "220 again\r\n");
  };
  rows.push_back({.name = "ServerClosesInsideAReply",
                  .script = [](ScriptedPeer& p) {
                    p.Expect("NOOP").CloseAfter("200 half a li").Accept().Send("220 again\r\n");
                  },
                  .run = [reconnect](EngineHarness& h, ScriptedPeer& p) {
                    EXPECT_EQ(h.engine.SendCommand("NOOP"), 5);
                    reconnect(h, p);
                  },
                  .commands = {"NOOP"},
                  .lines = {"220 again"},
                  .absent = {"half a li220"}});

  rows.push_back({.name = "ServerClosesInsideAMultiLineReply",
                  .script = [](ScriptedPeer& p) {
                    p.Expect("STAT").CloseAfter("211-one\r\n211-two\r\n211-thr").Accept()
                        .Send("220 again\r\n");
                  },
                  .run = [reconnect](EngineHarness& h, ScriptedPeer& p) {
                    EXPECT_EQ(h.engine.SendCommand("STAT"), 5);
                    reconnect(h, p);
                  },
                  .commands = {"STAT"},
                  .lines = {"211-one", "211-two", "220 again"},
                  .absent = {"211-thr220"}});

  rows.push_back({.name = "ServerClosesControlInsideTheData",
                  .script = [](ScriptedPeer& p) {
                    RetrSteps(p, "a", "150 Opening (10 bytes)\r\n")
                        .DataConnect().DataSend("01234").Pause(100).Close().Pause(100)
                        .DataClose().Accept().Send("220 again\r\n");
                  },
                  .run = [reconnect](EngineHarness& h, ScriptedPeer& p) {
                    h.engine.Retrieve("a", "a.out", "TYPE I");
                    reconnect(h, p);
                  },
                  .commands = {"TYPE I", "PORT", "RETR a"},
                  .lines = {"Transfer incomplete: 5 of 10 bytes received"},
                  .file = std::make_pair("a.out", "01234")});

  rows.push_back({.name = "ServerResetsTheDataConnection",
                  .script = [](ScriptedPeer& p) {
                    RetrSteps(p, "a", "150 Opening (10 bytes)\r\n")
                        .DataConnect().DataSend("01234").Pause(200).DataReset()
                        .Send("426 Connection closed; transfer aborted\r\n");
                  },
                  .run = [](EngineHarness& h, ScriptedPeer&) { h.engine.Retrieve("a", "a.out", "TYPE I"); },
                  .commands = {"TYPE I", "PORT", "RETR a"},
                  .boxes = {"Error: 10054\r\nConnection reset by peer"},
                  .lines = {"426 Connection closed; transfer aborted",
                            "Transfer incomplete: 5 of 10 bytes received"},
                  .file = std::make_pair("a.out", "01234")});

  rows.push_back({.name = "NulByteInsideAReply",
                  .script = [](ScriptedPeer& p) { p.Reply("PWD", std::string("257 \"/a\0b\"\r\n", 12)); },
                  .run = [](EngineHarness& h, ScriptedPeer&) {
                    EXPECT_EQ(h.engine.SendCommand("PWD"), 2);
                    EXPECT_EQ(h.engine.LastReply, std::string("257 \"/a\0b\"\r\n", 12));
                  },
                  .commands = {"PWD"},
                  .lines = {"257 \"/ab\""}});

  // The final line's code is not compared with the opening one: the first
  // line that is not a continuation and begins with a digit ends the reply.
  rows.push_back({.name = "FinalCodeDiffersFromOpeningCode",
                  .script = [](ScriptedPeer& p) { p.Reply("STAT", "211-start\r\n text\r\n299 other end\r\n"); },
                  .run = [](EngineHarness& h, ScriptedPeer&) {
                    EXPECT_EQ(h.engine.SendCommand("STAT"), 2);
                    EXPECT_EQ(h.engine.LastReply, "299 other end\r\n");
                  },
                  .commands = {"STAT"},
                  .lines = {"211-start", "299 other end"}});

  // A reply nobody asked for is shown before the next command and not taken
  // for that command's reply.
  rows.push_back({.name = "StaleReplyWithNoCommandPending",
                  .script = [](ScriptedPeer& p) {
                    p.Reply("NOOP", "200 ok\r\n").Send("426 late reply\r\n").Reply("PWD", "257 \"/\"\r\n");
                  },
                  .run = [](EngineHarness& h, ScriptedPeer& p) {
                    EXPECT_EQ(h.engine.SendCommand("NOOP"), 2);
                    ASSERT_TRUE(p.WaitForCommands(1));
                    QThread::msleep(200);  // the late line has arrived
                    EXPECT_EQ(h.engine.SendCommand("PWD"), 2);
                    EXPECT_EQ(h.engine.LastReply, "257 \"/\"\r\n");
                  },
                  .commands = {"NOOP", "PWD"},
                  .lines = {"426 late reply"},
                  .check = [](EngineHarness& h, ScriptedPeer&) {
                    auto lines = h.ui.ShownLines();
                    auto late = std::find(lines.begin(), lines.end(), "426 late reply\r");
                    auto pwd = std::find(lines.begin(), lines.end(), "PWD\r");
                    EXPECT_LT(late, pwd) << "the late line is shown before the next command";
                  }});
  return rows;
}

FAULT_GROUP(Framing, Rows);

}  // namespace
