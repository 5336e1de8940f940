// Fault catalogue, replies: a silent server at each step ends at the
// time-out, a slow but steady one never does; 421 at every step of login,
// listing, retrieval and store; each transfer step refused with 4xx and 5xx.
#include "FaultCatalogue.h"

namespace {

const std::string k421 = "421 Service not available, closing control connection";

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
      // A line the time-out cut is shown then, not glued to the late one.
      silent("UnfinishedLineAtTheTimeOut", "< STAT\n>> 211 cut\n", [](EngineHarness& h, ScriptedPeer&) { h.engine.SendCommand("STAT"); },
             {"STAT"}, {"211 cut", "late reply"}),
      silent("SilentAtAStoresType", "< TYPE I\n", Storing(Pattern(10)), {"TYPE I"}, {"Could not store file", "late reply"}),
      // One box for a login whose greeting never came and whose PASS got no reply.
      silent("SilentGreetingThenSilentPass", "< USER u | 331 ok\n< PASS p\n",
             [](EngineHarness& h, ScriptedPeer&) { StartSession(h.engine, "u", "p", ""); }, {"USER u", "PASS p"}, {"late reply"}),
  };
  // One box for a store whose send failed and whose final reply never came.
  rows.push_back({.name = "StoreSendFailsThenSilent", .script = Put("150 ok") + "data connect\npause 300\ndata reset",
                  .run = [](EngineHarness& h, ScriptedPeer& p) { h.engine.Sockets1.Timeout = 1, Storing(Pattern(4 << 20))(h, p); },
                  .commands = {"TYPE I", "PORT", "STOR up.bin"}, .lines = {"Interrupted system call"}, .boxesMayVary = true,
                  .check = [](EngineHarness& h, ScriptedPeer&) { EXPECT_EQ(h.ui.boxes.size(), 1u); }});
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

  // 421 at the greeting or during login: the server closes after it; nothing
  // more is sent.
  rows.push_back({.name = "Login421Greeting", .greeting = "421 Too many users", .script = "close",
                  .lines = {"421 Too many users"}, .thenNoop = false});
  rows.push_back({.name = "Login421AtPASS", .script = "< USER u | 331 pw\n< PASS p\n> " + k421 + "\nclose",
                  .run = [](EngineHarness& h, ScriptedPeer&) { Login(h.engine, "u", "p", "a"); },
                  .commands = {"USER u", "PASS p"}, .lines = {k421}, .thenNoop = false, .boxesMayVary = true});
  // 421 at a step of a transfer, the server closing after it.
  const std::vector<std::string> get = {"TYPE I", "PORT", "RETR a"}, list = {"TYPE A", "PORT", "LIST"},
                                 put = {"TYPE I", "PORT", "STOR up.bin"};
  auto closes = [&](std::string name, std::string script, RowAction run, std::vector<std::string> commands) {
    rows.push_back({.name = name, .script = script + "> " + k421 + "\nclose", .run = run, .commands = commands,
                    .lines = {k421}, .thenNoop = false, .boxesMayVary = true});
  };
  closes("List421AtPort", "< TYPE A | 200 ok\n< PORT\n", Listing(), {"TYPE A", "PORT"});
  closes("Retrieve421AtCommand", "< TYPE I | 200 ok\n< PORT | 200 ok\n< RETR a\n", Retrieving(), get);
  closes("Retrieve421AtFinalReply", Get("150 Opening (5 bytes)") + "data connect\ndata send hello\ndata close\n",
         Retrieving(), get);
  rows.back().file = std::make_pair("a.out", "hello");
  closes("Store421AtType", "< TYPE I\n", Storing("hello world"), {"TYPE I"});
  closes("Store421AtFinalReply", Put("150 Ok to send data") + kSent, Storing("hello world"), put);
  rows.back().check = [](EngineHarness&, ScriptedPeer& p) { EXPECT_EQ(p.DataReceived(), "hello world"); };

  // Refusals with the connection kept. A retrieval or listing ends at a 5
  // for its type or PORT command and at a 4 or 5 for RETR or LIST; a store
  // goes on whatever its type and PORT commands get, and a refused STOR
  // ends it at once (no data connection comes).
  const std::string noFile = "Could not retrieve file", noStore = "Could not store file";
  // `empty`: the local file is made (empty) before the refusal.
  auto refused = [&](std::string name, std::string script, RowAction run, std::vector<std::string> commands,
                     std::vector<std::string> lines, bool empty = false) {
    rows.push_back({.name = name, .script = script, .run = run, .commands = commands, .lines = lines});
    if (empty) rows.back().file = std::make_pair("a.out", "");
    if (lines == std::vector<std::string>{noStore}) rows.back().absent = {"Total bytes written", "Transfer aborted"};
  };
  refused("RetrieveType504", "< TYPE I | 504 Type not implemented", Retrieving(), {"TYPE I"}, {}, true);
  refused("RetrieveType451GoesOn", "< TYPE I | 451 Local error\n< PORT | 200 ok\n< RETR | 550 No such file",
          Retrieving(), get, {noFile});
  refused("RetrievePort501", "< TYPE I | 200 ok\n< PORT | 501 Illegal PORT command", Retrieving(),
          {"TYPE I", "PORT"}, {});
  refused("RetrievePort425GoesOn", "< TYPE I | 200 ok\n< PORT | 425 Cannot open\n< RETR | 425 Use PORT first",
          Retrieving(), get, {noFile});
  refused("RetrieveRetr450", Get("450 File busy"), Retrieving(), get, {noFile}, true);
  refused("ListList550", Steps("TYPE A", "LIST", "550 no listing"), Listing(), list, {"Could not list directory"});
  refused("StoreType504GoesOn", "< TYPE I | 504 no\n< PORT | 200 ok\n< STOR | 150 ok\n" + kSent + "> 226 done",
          Storing("hello world"), put, {"Total bytes written to remote host: 11", "226 done"});
  refused("StorePort501", "< TYPE I | 200 ok\n< PORT | 501 no\n< STOR | 425 Use PORT first",
          Storing("x"), put, {noStore});
  refused("StoreStor553", Put("553 Not allowed"), Storing("x"), put, {noStore});
  refused("StoreStorDoneAtOnce", Put("226 done") + kSent + "> 226 late", Storing("x"), put,
          {"Not stored up.bin: the server did not start the transfer"});
  return rows;
}

FAULT_GROUP(Replies, Rows);

}  // namespace
