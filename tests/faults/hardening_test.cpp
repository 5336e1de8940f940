// Fault catalogue, hardening: the data connection only from the server,
// one accept per transfer, no command smuggled through a line break, and a
// short binary file reported even when the server claims success.
#include "FaultCatalogue.h"

namespace {

const char* kRefused = "Data connection from 127.0.0.2 refused: the server is 127.0.0.1";
const char* kNotSent = "Command not sent: its text holds a line break or a NUL character";

std::vector<FaultRow> Rows() {
  std::vector<FaultRow> rows;
  auto retrieve = [](EngineHarness& h, ScriptedPeer&) { h.engine.Retrieve("a", "a.out", "TYPE I"); };

  // Someone else reaches the port first: turned away, and the wait goes on
  // for the server's own connection, which gets the file.
  rows.push_back({.name = "ForeignDataPeerRefusedServerServed",
                  .script = [](ScriptedPeer& p) {
                    RetrSteps(p, "a", "150 Opening (5 bytes)\r\n").DataConnectFrom("127.0.0.2")
                        .DataSend("EVIL!").Pause(100).DataConnect().DataSend("hello").DataClose()
                        .Send("226 Transfer complete\r\n");
                  },
                  .run = retrieve,
                  .commands = {"TYPE I", "PORT", "RETR a"},
                  .lines = {kRefused, "226 Transfer complete"},
                  .absent = {"Transfer incomplete"},
                  .file = std::make_pair("a.out", "hello"),
                  .check = [](EngineHarness&, ScriptedPeer& p) { EXPECT_EQ(p.DataConnectionCount(), 2); }});

  rows.push_back({.name = "ForeignDataPeerOnlyEndsAtTheTimeout",
                  .script = [](ScriptedPeer& p) {
                    RetrSteps(p, "a", "150 Opening (5 bytes)\r\n").DataConnectFrom("127.0.0.2")
                        .DataSend("EVIL!");
                  },
                  .run = retrieve,
                  .commands = {"TYPE I", "PORT", "RETR a"},
                  .boxes = {"Error: 10004\r\nInterrupted system call",
                            "Could not extablish data socket, operation canceled"},
                  .lines = {kRefused},
                  .file = std::make_pair("a.out", ""),
                  .bound = 3});

  // A store must not hand the file to a stranger either.
  rows.push_back({.name = "ForeignPeerGetsNoStoredBytes",
                  .script = [](ScriptedPeer& p) {
                    StorSteps(p, "up.bin", "150 Ok\r\n").DataConnectFrom("127.0.0.2")
                        .DataReceiveAll().Pause(100).DataConnect().DataReceiveAll().DataClose()
                        .Send("226 Transfer complete\r\n");
                  },
                  .run = [](EngineHarness& h, ScriptedPeer&) {
                    h.dir.WriteFile("up.bin", Pattern(1500));
                    h.engine.StoreFile("TYPE I", "up.bin", "up.bin");
                  },
                  .commands = {"TYPE I", "PORT", "STOR up.bin"},
                  .lines = {kRefused, "Total bytes written to remote host: 1500"},
                  .check = [](EngineHarness&, ScriptedPeer& p) {
                    auto data = p.DataConnections();
                    ASSERT_EQ(data.size(), 2u);
                    EXPECT_EQ(data[0], "");
                    EXPECT_EQ(data[1], Pattern(1500));
                  }});

  rows.push_back({.name = "VerifyDataPeerOffAcceptsAnotherAddress",
                  .script = [](ScriptedPeer& p) {
                    RetrSteps(p, "a", "150 Opening (5 bytes)\r\n").DataConnectFrom("127.0.0.2")
                        .DataSend("hello").DataClose().Send("226 Transfer complete\r\n");
                  },
                  .run = [](EngineHarness& h, ScriptedPeer&) {
                    h.engine.VerifyDataPeer = false;
                    h.engine.Retrieve("a", "a.out", "TYPE I");
                  },
                  .commands = {"TYPE I", "PORT", "RETR a"},
                  .absent = {"refused"},
                  .file = std::make_pair("a.out", "hello")});

  // After the accept nobody else can connect: the listener is closed.
  rows.push_back({.name = "ListenerClosedAfterTheAccept",
                  .script = [](ScriptedPeer& p) {
                    RetrSteps(p, "a", "150 Opening (5 bytes)\r\n").DataConnect().DataSend("hello")
                        .Pause(100).DataConnect(500).Send("226 Transfer complete\r\n");
                  },
                  .run = retrieve,
                  .commands = {"TYPE I", "PORT", "RETR a"},
                  .file = std::make_pair("a.out", "hello"),
                  .thenNoop = false,
                  .check = [](EngineHarness& h, ScriptedPeer& p) {
                    p.Wait(2000);
                    auto failures = p.Failures();
                    ASSERT_EQ(failures.size(), 1u) << p.Trace();
                    EXPECT_NE(failures[0].find("Connection refused"), std::string::npos) << failures[0];
                    EXPECT_TRUE(h.ui.HasLine("226 Transfer complete"));
                  }});

  // Line breaks and NUL in a name would put a second command on the wire.
  rows.push_back({.name = "LineBreakInARetrievedName",
                  .script = [](ScriptedPeer& p) {
                    p.Reply("TYPE I", "200 ok\r\n").Reply("PORT", "200 ok\r\n");
                  },
                  .run = [](EngineHarness& h, ScriptedPeer&) {
                    h.engine.Retrieve("a\r\nDELE important", "a.out", "TYPE I");
                  },
                  .commands = {"TYPE I", "PORT"},
                  .lines = {kNotSent, "Could not retrieve file"},
                  .absent = {"DELE"}});
  rows.push_back({.name = "LineFeedInAStoredName",
                  .script = [](ScriptedPeer& p) {
                    p.Reply("TYPE I", "200 ok\r\n").Reply("PORT", "200 ok\r\n");
                  },
                  .run = [](EngineHarness& h, ScriptedPeer&) {
                    h.dir.WriteFile("up.bin", "x");
                    h.engine.StoreFile("TYPE I", "up.bin", "up\nRMD /");
                  },
                  .commands = {"TYPE I", "PORT"},
                  .lines = {kNotSent, "Could not store file"}});
  rows.push_back({.name = "NulInAQuotedCommand",
                  .run = [](EngineHarness& h, ScriptedPeer&) {
                    EXPECT_EQ(h.engine.SendCommand("%s", {std::string("SITE x\0DELE y", 13)}), 5);
                    EXPECT_EQ(h.engine.SendCommand("%s", {"NOOP\rDELE y"}), 5);
                  },
                  .lines = {kNotSent}});

  rows.push_back({.name = "ShortBinaryFileReportedDespite226",
                  .script = [](ScriptedPeer& p) {
                    RetrSteps(p, "a", "150 Opening BINARY mode (1000 bytes)\r\n").DataConnect()
                        .DataSend(Pattern(999)).DataClose().Send("226 Transfer complete\r\n");
                  },
                  .run = retrieve,
                  .commands = {"TYPE I", "PORT", "RETR a"},
                  .lines = {"226 Transfer complete", "Transfer incomplete: 999 of 1000 bytes received"},
                  .file = std::make_pair("a.out", Pattern(999)),
                  .check = [](EngineHarness& h, ScriptedPeer&) {
                    EXPECT_NE(h.dir.ReadLog().find("Transfer incomplete: 999 of 1000 bytes received"),
                              std::string::npos);
                  }});
  return rows;
}

FAULT_GROUP(Hardening, Rows);

}  // namespace
