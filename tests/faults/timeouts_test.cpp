// Fault catalogue, time-outs: a silent server at each step ends at the
// time-out; a slow but steady one never does.
#include "FaultCatalogue.h"

namespace {

const char* k10004 = "Error: 10004\r\nInterrupted system call";

std::vector<std::string> Trickle(const std::string& text) {
  std::vector<std::string> pieces;
  for (char c : text) pieces.emplace_back(1, c);
  return pieces;
}

std::vector<FaultRow> Rows() {
  std::vector<FaultRow> rows;
  auto retrieve = [](EngineHarness& h, ScriptedPeer&) { h.engine.Retrieve("a", "a.out", "TYPE I"); };

  // The control time-out is 1 s in these rows. The silent server answers
  // late, after the client gave up; that late line is shown before the next
  // command and is not taken for its reply.
  rows.push_back({.name = "SilentAtLogin",
                  .script = [](ScriptedPeer& p) {
                    p.Expect("USER u").Pause(1300).Send("331 late\r\n");
                  },
                  .run = [](EngineHarness& h, ScriptedPeer&) {
                    h.engine.Sockets1.Timeout = 1;
                    Login(h.engine, "u", "p", "");
                  },
                  .after = [](EngineHarness&, ScriptedPeer&) { QThread::msleep(600); },
                  .commands = {"USER u"},
                  .boxes = {k10004},
                  .lines = {"331 late"},
                  .bound = 3});
  rows.push_back({.name = "SilentAtType",
                  .script = [](ScriptedPeer& p) {
                    p.Expect("TYPE I").Pause(1300).Send("200 late\r\n");
                  },
                  .run = [](EngineHarness& h, ScriptedPeer&) {
                    h.engine.Sockets1.Timeout = 1;
                    h.engine.Retrieve("a", "a.out", "TYPE I");
                  },
                  .after = [](EngineHarness&, ScriptedPeer&) { QThread::msleep(600); },
                  .commands = {"TYPE I"},
                  .boxes = {k10004},
                  .bound = 3});
  rows.push_back({.name = "SilentAtRetr",
                  .script = [](ScriptedPeer& p) {
                    p.Reply("TYPE I", "200 ok\r\n").Reply("PORT", "200 ok\r\n").Expect("RETR a")
                        .Pause(1300).Send("550 late\r\n");
                  },
                  .run = [](EngineHarness& h, ScriptedPeer&) {
                    h.engine.Sockets1.Timeout = 1;
                    h.engine.Retrieve("a", "a.out", "TYPE I");
                  },
                  .after = [](EngineHarness&, ScriptedPeer&) { QThread::msleep(600); },
                  .commands = {"TYPE I", "PORT", "RETR a"},
                  .boxes = {k10004},
                  .lines = {"Could not retrieve file", "550 late"},
                  .bound = 3});
  rows.push_back({.name = "SilentAtTheFinalReply",
                  .script = [](ScriptedPeer& p) {
                    RetrSteps(p, "a", "150 Opening (5 bytes)\r\n").DataConnect().DataSend("hello")
                        .DataClose().Pause(1300).Send("226 late\r\n");
                  },
                  .run = [](EngineHarness& h, ScriptedPeer&) {
                    h.engine.Sockets1.Timeout = 1;
                    h.engine.Retrieve("a", "a.out", "TYPE I");
                  },
                  .after = [](EngineHarness&, ScriptedPeer&) { QThread::msleep(600); },
                  .commands = {"TYPE I", "PORT", "RETR a"},
                  .boxes = {k10004},
                  .lines = {"226 late"},
                  .file = std::make_pair("a.out", "hello"),
                  .bound = 3});
  // A listing waits for its first reply without a time-out (a large
  // listing can take long to start); Disconnect, which cancels the waiting
  // call, is the way out.
  rows.push_back({.name = "SilentAtListWaitsUntilCancelled",
                  .script = [](ScriptedPeer& p) {
                    p.Reply("TYPE A", "200 ok\r\n").Reply("PORT", "200 ok\r\n").Expect("LIST")
                        .Pause(2000).Send("150 late\r\n226 late\r\n");
                  },
                  .run = [](EngineHarness& h, ScriptedPeer&) {
                    h.engine.DirSep = "0";
                    h.engine.Sockets1.Timeout = 1;
                    QTimer::singleShot(1500, [] {
                      if (TSockets::WSAIsBlocking()) TSockets::WSACancelBlockingCall();
                    });
                    h.engine.ListRemote("LIST");
                    EXPECT_EQ(h.engine.Sockets1.Timeout, 1);  // restored
                  },
                  .after = [](EngineHarness&, ScriptedPeer&) { QThread::msleep(600); },
                  .commands = {"TYPE A", "PORT", "LIST"},
                  .boxes = {k10004},
                  .lines = {"Could not list directory", "150 late", "226 late"},
                  .bound = 5});
  rows.push_back({.name = "SilentAfterAStore",
                  .script = [](ScriptedPeer& p) {
                    StorSteps(p, "up.bin", "150 ok\r\n").DataConnect().DataReceiveAll().DataClose()
                        .Pause(1300).Send("226 late\r\n");
                  },
                  .run = [](EngineHarness& h, ScriptedPeer&) {
                    h.engine.Sockets1.Timeout = 1;
                    h.dir.WriteFile("up.bin", Pattern(1000));
                    h.engine.StoreFile("TYPE I", "up.bin", "up.bin");
                  },
                  .after = [](EngineHarness&, ScriptedPeer&) { QThread::msleep(600); },
                  .commands = {"TYPE I", "PORT", "STOR up.bin"},
                  .boxes = {k10004},
                  .lines = {"Total bytes written to remote host: 1000", "226 late"},
                  .bound = 5,
                  .check = [](EngineHarness&, ScriptedPeer& p) { EXPECT_EQ(p.DataReceived(), Pattern(1000)); }});

  // Trickling: each byte comes well inside the time-out, the whole takes
  // longer than it. Nothing times out.
  rows.push_back({.name = "TrickledReplyNoFalseTimeout",
                  .script = [](ScriptedPeer& p) {
                    p.Expect("STAT").SendPieces(Trickle("211-a long status\r\n211 end\r\n"), 100);
                  },
                  .run = [](EngineHarness& h, ScriptedPeer&) {
                    h.engine.Sockets1.Timeout = 1;
                    EXPECT_EQ(h.engine.SendCommand("STAT"), 2);
                    h.engine.Sockets1.Timeout = 2;
                  },
                  .commands = {"STAT"},
                  .lines = {"211-a long status", "211 end"},
                  .bound = 5});
  rows.push_back({.name = "TrickledDataNoFalseTimeout",
                  .script = [](ScriptedPeer& p) {
                    std::string data = Pattern(30);
                    RetrSteps(p, "a", "150 Opening (30 bytes)\r\n").DataConnect()
                        .DataSendPieces(Trickle(data), 50).DataClose().Send("226 done\r\n");
                  },
                  .run = retrieve,
                  .commands = {"TYPE I", "PORT", "RETR a"},
                  .absent = {"Transfer incomplete"},
                  .file = std::make_pair("a.out", Pattern(30)),
                  .bound = 5});

  // The control connection dies while the data flows: the data is kept
  // whole and the final read ends at once.
  rows.push_back({.name = "ControlDiesDuringALongTransfer",
                  .script = [](ScriptedPeer& p) {
                    std::string data = Pattern(20000);
                    RetrSteps(p, "a", "150 Opening (20000 bytes)\r\n").DataConnect()
                        .DataSend(data.substr(0, 10000)).Reset().Pause(100)
                        .DataSend(data.substr(10000)).DataClose();
                  },
                  .run = retrieve,
                  .commands = {"TYPE I", "PORT", "RETR a"},
                  .absent = {"Transfer incomplete"},
                  .file = std::make_pair("a.out", Pattern(20000)),
                  .bound = 3,
                  .thenNoop = false,
                  .boxesMayVary = true,
                  .check = [](EngineHarness& h, ScriptedPeer&) {
                    EXPECT_EQ(h.engine.SendCommand("NOOP"), 5);
                  }});
  return rows;
}

FAULT_GROUP(Timeouts, Rows);

}  // namespace
