// Fault catalogue, data connection: a server that never connects, connects
// and says nothing, delivers short or after its final reply, resets, or is
// not the server at all; one accept per transfer. Passive mode: EPSV, PASV,
// where the client connects, replies it cannot use, a port never answering.
#include "FaultCatalogue.h"

namespace {

const char* kRefused = "Data connection from 127.0.0.2 refused: the server is 127.0.0.1";

// Each retrieval ends at a reply it cannot use, with one line and nothing
// more sent: a 229 or 227 without a usable port, or EPSV refused for now (4xx:
// EPSV is still tried next time). Refused for good (5xx), PASV follows for the
// session, and the data connection goes to the control connection's peer
// whatever a 227 names.
FaultRow PassiveReplies() {
  FaultRow row{.name = "PassiveRepliesUnusableThenUsable", .file = std::make_pair(std::string("a.out"), std::string("hi"))};
  std::string script;
  for (std::string exchange : {"EPSV | 229 Mode (|||0|)", "EPSV | 229 (|||65536|)", "EPSV | 425 Try later",
                               "EPSV | 229 ok", "EPSV | 229 (|||x|)", "EPSV | 229 (   80 )", "EPSV | 229 (|||80)",
                               "EPSV | 500 no\n< PASV | 227 Mode (127,0,0,1,0,0)", "PASV | 227 ok",
                               "PASV | 227 (127,0,0,1,300,1)", "PASV | 227 (127,0,0,1,4)", "PASV | 227 (a,b)"}) {
    script += "< TYPE I | 200 ok\n< " + exchange + "\n";
    row.commands.push_back("TYPE I");
    for (size_t at = 0; at != std::string::npos; at = exchange.find("< ", at + 1))
      row.commands.push_back(exchange.substr(at ? at + 2 : 0, 4));
  }
  row.script = script + "< TYPE I | 200 ok\ndata listen\n< PASV | 227 Ready for 1 connection (10,255,8,7,{p1},{p2})\n"
                        "data accept\n< RETR a | 150 ok\ndata send hi\ndata close\n> 226 done";
  row.commands.insert(row.commands.end(), {"TYPE I", "PASV", "RETR a"});
  row.run = [](EngineHarness& h, ScriptedPeer& p) {
    h.engine.Passive = true;
    for (int i = 0; i < 13; ++i) Retrieving()(h, p);
  };
  row.check = [](EngineHarness& h, ScriptedPeer&) {
    EXPECT_EQ(std::ranges::count_if(h.ui.ShownLines(), [](auto& l) { return l.find("no usable data port") != l.npos; }), 11);
  };
  return row;
}

std::vector<FaultRow> Rows() {
  const std::vector<std::string> get = {"TYPE I", "PORT", "RETR a"};
  const std::string hello = Get("150 Opening (5 bytes)"), ten = Get("150 Opening (10 bytes)");
  auto file = [](std::string bytes) { return std::make_pair(std::string("a.out"), bytes); };
  return {
      {.name = "ServerNeverConnects", .script = hello + "data refuse", .run = Retrieving(), .commands = get,
       .boxes = {k10004, kNoSocket}, .lines = {"No data connection came from the server in time: where a router "
                                                "or firewall stands between, passive mode (in Setup) may help"},
       .file = file(""), .log = {kNoSocket}},
      {.name = "UnattendedServerNeverConnects", .script = hello + "data refuse",
       .run = [](EngineHarness& h, ScriptedPeer& p) { h.engine.Unattended = true, Retrieving()(h, p); }, .commands = get, .lines = {kNoSocket}},
      // Connected, then silence: the receive times out, ABOR goes out, and
      // its replies (read late) are shown before the next command.
      {.name = "Reply150ThenNothing",
       .script = hello + "data connect\n< ABOR | 426 Transfer aborted\\r\\n226 ABOR successful\ndata close",
       .run = Retrieving(), .commands = {"TYPE I", "PORT", "RETR a", "ABOR"}, .boxes = {k10004},
       .lines = {"426 Transfer aborted", "226 ABOR successful"}, .file = file("")},
      {.name = "StoreServerNeverConnects",
       .script = Put("150 Ok to send data") + "data refuse\n< ABOR | 225 No transfer to abort",
       .run = Storing("hello"), .commands = {"TYPE I", "PORT", "STOR up.bin", "ABOR"}, .boxes = {k10004},
       .lines = {"Transfer aborted due to you're request"}},
      // A short binary file is reported even when the server claims success;
      // in ASCII type the size may differ by the line ends: nothing is claimed.
      {.name = "FewerBytesThanAnnouncedBinary",
       .script = Get("150 Opening BINARY mode (1000 bytes)") + "data connect\ndata pattern 999\ndata close\n> 226 ok",
       .run = Retrieving(), .commands = get, .lines = {"Transfer incomplete: 999 of 1000 bytes received"},
       .file = file(Pattern(999)), .log = {"Transfer incomplete: 999 of 1000 bytes received"}},
      {.name = "FewerBytesThanAnnouncedAscii",
       .script = Steps("TYPE A", "RETR a", "150 Opening (10 bytes)") + "data connect\ndata send 0123\\n\ndata close\n> 226 ok",
       .run = Retrieving("a", "TYPE A"), .commands = {"TYPE A", "PORT", "RETR a"}, .absent = {"Transfer incomplete"},
       .file = file("0123\n")},
      // The 226 waits on the control connection through the whole data phase.
      {.name = "Reply150And226TogetherBeforeData",
       .script = Get("150 Opening (10 bytes)\\r\\n226 ok") + "data connect\ndata send 0123456789\ndata close",
       .run = Retrieving(), .commands = get, .absent = {"Transfer incomplete"}, .file = file("0123456789")},
      {.name = "ServerResetsTheDataConnection",
       .script = ten + "data connect\ndata send 01234\npause 200\ndata reset\n> 426 Connection closed",
       .run = Retrieving(), .commands = get, .boxes = {"Error: 10054\r\nConnection reset by peer"},
       .lines = {"426 Connection closed", "Transfer incomplete: 5 of 10 bytes received"}, .file = file("01234")},
      {.name = "ServerClosesControlInsideTheData",
       .script = ten + "data connect\ndata send 01234\npause 100\nclose\npause 100\ndata close\naccept\n> 220 again",
       .run = [](EngineHarness& h, ScriptedPeer& p) {
         Retrieving()(h, p);
         EXPECT_TRUE(h.engine.ControlGone());
         h.engine.Sockets1.Disconnect();
         ASSERT_TRUE(h.Connect(p.Port()));
       },
       .commands = get, .lines = {"Transfer incomplete: 5 of 10 bytes received", "220 again"}, .file = file("01234")},
      // Someone else reaches the port first: turned away, and the wait goes
      // on for the server's own connection (unless the check is off).
      {.name = "ForeignDataPeerRefusedServerServed",
       .script = hello + "data from 127.0.0.2\ndata send EVIL!\npause 100\ndata connect\ndata send hello\ndata close\n> 226 ok",
       .run = Retrieving(), .commands = get, .lines = {kRefused}, .file = file("hello")},
      {.name = "ForeignPeerGetsNoStoredBytes",
       .script = Put("150 Ok") + "data from 127.0.0.2\ndata recv\npause 100\ndata connect\ndata recv\ndata close\n> 226 ok",
       .run = Storing(Pattern(1500)), .commands = {"TYPE I", "PORT", "STOR up.bin"},
       .lines = {kRefused, "Total bytes written to remote host: 1500"},
       .check = [](EngineHarness&, ScriptedPeer& p) {
         EXPECT_EQ(p.DataConnections(), (std::vector<std::string>{"", Pattern(1500)}));
       }},
      {.name = "VerifyDataPeerOffAcceptsAnotherAddress",
       .script = hello + "data from 127.0.0.2\ndata send hello\ndata close\n> 226 ok",
       .run = [](EngineHarness& h, ScriptedPeer& p) {
         h.engine.VerifyDataPeer = false;
         Retrieving()(h, p);
       },
       .commands = get, .absent = {"refused"}, .file = file("hello")},
      // After the accept nobody else can connect: the listener is closed.
      {.name = "ListenerClosedAfterTheAccept",
       .script = hello + "data connect\ndata send hello\npause 100\ndata connect\n> 226 ok",
       .run = Retrieving(), .commands = get, .lines = {"226 ok"}, .file = file("hello"), .thenNoop = false,
       .check = [](EngineHarness&, ScriptedPeer& p) {
         ASSERT_EQ(p.Failures().size(), 1u) << p.Trace();
         EXPECT_NE(p.Failures()[0].find("Connection refused"), std::string::npos) << p.Failures()[0];
       }},
      PassiveReplies(),
      // A port that never answers: the store and the retrieval end at their
      // time-outs with nothing more sent, Cancel ends the connect at once.
      {.name = "PassivePortNeverAnswers",
       .script = "data listen full\n< TYPE I | 200 ok\n< EPSV | 229 (|||{port}|)\n< TYPE I | 200 ok\n"
                 "< EPSV | 229 (|||{port}|)\n< TYPE I | 200 ok\n< EPSV | 229 (|||{port}|)",
       .run = [](EngineHarness& h, ScriptedPeer& p) {
         h.engine.Passive = true;
         Storing("hello")(h, p), Retrieving()(h, p), CancelAt(300, Retrieving())(h, p);
       },
       .commands = {"TYPE I", "EPSV", "TYPE I", "EPSV", "TYPE I", "EPSV"},
       .lines = {"Could not store file", "Data connection canceled"}, .log = {"not accepted within 1 seconds"}},
  };
}

FAULT_GROUP(DataConnection, Rows);

}  // namespace
