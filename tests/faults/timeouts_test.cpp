// Fault catalogue, time-outs: a silent server at each step ends at the
// time-out; a slow but steady one never does.
#include "FaultCatalogue.h"

namespace {

// Each byte of `text` as a step of its own, `ms` apart.
std::string Trickle(const std::string& step, const std::string& text, int ms) {
  std::string script;
  for (char c : text)
    script += step + " " + (c == '\r' ? "\\r" : c == '\n' ? "\\n" : c == ' ' ? "\\x20" : std::string(1, c)) + "\npause " +
              std::to_string(ms) + "\n";
  return script;
}

std::vector<FaultRow> Rows() {
  // The control time-out is 1 s here. The silent server answers after the
  // client gave up; that late line is shown before the next command and is
  // not taken for its reply.
  auto silent = [](std::string name, std::string script, RowAction run, std::vector<std::string> commands,
                   std::vector<std::string> lines) {
    return FaultRow{.name = name, .script = script + "pause 1300\n> late reply",
                    .run = [run](EngineHarness& h, ScriptedPeer& p) {
                      h.engine.Sockets1.Timeout = 1;
                      run(h, p);
                    },
                    .after = AwaitLate(), .commands = commands, .boxes = {k10004}, .lines = lines};
  };
  std::vector<FaultRow> rows = {
      silent("SilentAtLogin", "< USER u\n",
             [](EngineHarness& h, ScriptedPeer&) { Login(h.engine, "u", "p", ""); }, {"USER u"}, {"late reply"}),
      silent("SilentAtRetr", "< TYPE I | 200 ok\n< PORT | 200 ok\n< RETR a\n", Retrieving(),
             {"TYPE I", "PORT", "RETR a"}, {"Could not retrieve file", "late reply"}),
      silent("SilentAtTheFinalReply", Get("150 Opening (5 bytes)") + "data connect\ndata send hello\ndata close\n",
             Retrieving(), {"TYPE I", "PORT", "RETR a"}, {"late reply"}),
      silent("SilentAfterAStore", Put("150 ok") + kSent, Storing(Pattern(1000)), {"TYPE I", "PORT", "STOR up.bin"},
             {"Total bytes written to remote host: 1000", "late reply"}),
  };
  rows[0].log = {"Error: 10004\\r\\nInterrupted system call Error\r\n"};
  rows[0].absent = {"10004"};  // socket errors stay out of the transcript
  rows[3].check = [](EngineHarness&, ScriptedPeer& p) { EXPECT_EQ(p.DataReceived(), Pattern(1000)); };

  // A reply must end within the time-out, however its bytes trickle in: an
  // unattended run ends as a lost connection and sends nothing more. The
  // same for preliminary greeting lines without end.
  rows.push_back({.name = "TrickledReplyPastTheTimeOut",
                  .script = "< STAT\n" + Trickle(">>", "211-a long status\r\n211 end\r\n", 100),
                  .run = [](EngineHarness& h, ScriptedPeer&) {
                    h.engine.Sockets1.Timeout = 1;
                    h.engine.Unattended = true;
                    EXPECT_EQ(h.engine.SendCommand("STAT"), 5);
                    EXPECT_EQ(h.engine.SendCommand("NOOP"), 5);
                    EXPECT_EQ(h.engine.ControlError, "Error 10060 Blocking call timed out");
                  },
                  .commands = {"STAT"}, .thenNoop = false});
  std::string endless;
  for (int i = 0; i < 150; ++i) endless += "> 120 soon\npause 40\n";
  rows.push_back({.name = "EndlessPreliminaryGreeting", .greeting = "120 soon", .script = endless + "> 120 last",
                  .absent = {"120 last"}, .thenNoop = false, .boxesMayVary = true});
  rows.push_back({.name = "TrickledDataNoFalseTimeout",
                  .script = Get("150 Opening (30 bytes)") + "data connect\n" +
                            Trickle("data send", "0123456789abcdefghijklmnopqrst", 50) + "data close\n> 226 done",
                  .run = Retrieving(), .commands = {"TYPE I", "PORT", "RETR a"},
                  .absent = {"Transfer incomplete"},
                  .file = std::make_pair("a.out", "0123456789abcdefghijklmnopqrst")});

  // The control connection dies while the data flows: the data is kept
  // whole and the final read ends at once.
  rows.push_back({.name = "ControlDiesDuringALongTransfer",
                  .script = Get("150 Opening (20000 bytes)") +
                            "data connect\ndata pattern 10000\nreset\npause 100\ndata pattern 10000\ndata close",
                  .run = Retrieving(), .commands = {"TYPE I", "PORT", "RETR a"},
                  .absent = {"Transfer incomplete"}, .file = std::make_pair("a.out", Pattern(10000) + Pattern(10000)),
                  .thenNoop = false, .boxesMayVary = true,
                  .check = [](EngineHarness& h, ScriptedPeer&) { EXPECT_EQ(h.engine.SendCommand("NOOP"), 5); }});
  return rows;
}

FAULT_GROUP(Timeouts, Rows);

}  // namespace
