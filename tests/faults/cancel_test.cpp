// Fault catalogue, cancel: how a transfer answers Cancel Transfer, whatever
// the server does with the ABOR.
#include "FaultCatalogue.h"

namespace {

// Cancels on the progress calls numbered in `at` (1 = the first block).
void CancelAtBlocks(EngineHarness& h, std::vector<int> at) {
  auto count = std::make_shared<int>(0);
  h.ui.SetProgressHook([&h, count, at](int) {
    ++*count;
    if (std::find(at.begin(), at.end(), *count) != at.end()) h.engine.CancelTransfer();
  });
}

std::vector<FaultRow> Rows() {
  std::vector<FaultRow> rows;
  const std::string data = Pattern(4000);

  // The usual answer: 426 for the transfer, then 226 for the ABOR.
  rows.push_back({.name = "RetrieveCancelAbortedWith426And226",
                  .script = [data](ScriptedPeer& p) {
                    RetrSteps(p, "a", "150 Opening (4000 bytes)\r\n").DataConnect()
                        .DataSend(data.substr(0, 1000)).ExpectUrgent()
                        .Reply("ABOR", "426 Transfer aborted\r\n").DataClose()
                        .Send("226 ABOR successful\r\n");
                  },
                  .run = [](EngineHarness& h, ScriptedPeer&) {
                    CancelAtBlocks(h, {1});
                    h.engine.Retrieve("a", "a.out", "TYPE I");
                  },
                  .commands = {"TYPE I", "PORT", "RETR a", "ABOR"},
                  .lines = {"426 Transfer aborted", "226 ABOR successful",
                            "Transfer incomplete: 1000 of 4000 bytes received"},
                  .file = std::make_pair("a.out", data.substr(0, 1000))});

  // Only one reply to ABOR: the transfer does not wait for a second one.
  rows.push_back({.name = "AborAnsweredWithoutA426",
                  .script = [data](ScriptedPeer& p) {
                    RetrSteps(p, "a", "150 Opening (4000 bytes)\r\n").DataConnect()
                        .DataSend(data.substr(0, 1000)).ExpectUrgent()
                        .Reply("ABOR", "226 Abort successful\r\n").DataClose();
                  },
                  .run = [](EngineHarness& h, ScriptedPeer&) {
                    CancelAtBlocks(h, {1});
                    h.engine.Retrieve("a", "a.out", "TYPE I");
                  },
                  .commands = {"TYPE I", "PORT", "RETR a", "ABOR"},
                  .lines = {"226 Abort successful"},
                  .file = std::make_pair("a.out", data.substr(0, 1000)),
                  .bound = 0.9});

  // A late 426 after the ABOR's 226 is shown before the next command.
  rows.push_back({.name = "Late426AfterAbor",
                  .script = [data](ScriptedPeer& p) {
                    RetrSteps(p, "a", "150 Opening (4000 bytes)\r\n").DataConnect()
                        .DataSend(data.substr(0, 1000)).ExpectUrgent()
                        .Reply("ABOR", "226 Abort successful\r\n").DataClose().Pause(100)
                        .Send("426 Late: transfer aborted\r\n");
                  },
                  .run = [](EngineHarness& h, ScriptedPeer&) {
                    CancelAtBlocks(h, {1});
                    h.engine.Retrieve("a", "a.out", "TYPE I");
                  },
                  .after = [](EngineHarness&, ScriptedPeer&) { QThread::msleep(300); },
                  .commands = {"TYPE I", "PORT", "RETR a", "ABOR"},
                  .lines = {"226 Abort successful", "426 Late: transfer aborted"},
                  .file = std::make_pair("a.out", data.substr(0, 1000))});

  rows.push_back({.name = "TwoCancelsInARow",
                  .script = [data](ScriptedPeer& p) {
                    RetrSteps(p, "a", "150 Opening (4000 bytes)\r\n").DataConnect()
                        .DataSend(data.substr(0, 1000)).ExpectUrgent()
                        .Reply("ABOR", "426 Transfer aborted\r\n226 ABOR successful\r\n")
                        .DataSend(data.substr(1000, 1000))
                        .Reply("ABOR", "225 No transfer to abort\r\n").DataClose();
                  },
                  .run = [](EngineHarness& h, ScriptedPeer&) {
                    CancelAtBlocks(h, {1, 2});
                    h.engine.Retrieve("a", "a.out", "TYPE I");
                  },
                  .commands = {"TYPE I", "PORT", "RETR a", "ABOR", "ABOR"},
                  .lines = {"426 Transfer aborted", "226 ABOR successful", "225 No transfer to abort"},
                  .file = std::make_pair("a.out", data.substr(0, 2000)),
                  .check = [](EngineHarness&, ScriptedPeer& p) { EXPECT_EQ(p.UrgentCount(), 2); }});

  // The request is seen when the accept returns: here the server connects
  // after the cancel, and the transfer ends without reading data.
  rows.push_back({.name = "CancelWhileWaitingForTheDataConnection",
                  .script = [](ScriptedPeer& p) {
                    RetrSteps(p, "a", "150 Opening (5 bytes)\r\n").Pause(400).DataConnect()
                        .DataSend("hello").Pause(100).DataClose()
                        .Send("426 Connection closed; transfer aborted\r\n");
                  },
                  .run = [](EngineHarness& h, ScriptedPeer&) {
                    h.engine.RetrieveTimeout = 3;
                    QTimer::singleShot(150, [&h] { h.engine.CancelTransfer(); });
                    h.engine.Retrieve("a", "a.out", "TYPE I");
                  },
                  .after = [](EngineHarness&, ScriptedPeer&) { QThread::msleep(300); },
                  .commands = {"TYPE I", "PORT", "RETR a"},
                  .boxes = {"Could not extablish data socket, operation canceled"},
                  .lines = {"426 Connection closed; transfer aborted"},
                  .file = std::make_pair("a.out", ""),
                  .bound = 2});

  rows.push_back({.name = "StoreCancelAbortedWith426And226",
                  .script = [](ScriptedPeer& p) {
                    StorSteps(p, "up.bin", "150 Ok to send data\r\n").DataConnect().ExpectUrgent()
                        .Reply("ABOR", "426 Transfer aborted\r\n226 ABOR successful\r\n")
                        .DataReceiveAll().DataClose();
                  },
                  .run = [data](EngineHarness& h, ScriptedPeer&) {
                    h.dir.WriteFile("up.bin", data);
                    CancelAtBlocks(h, {1});
                    h.engine.StoreFile("TYPE I", "up.bin", "up.bin");
                  },
                  .after = [](EngineHarness&, ScriptedPeer&) { QThread::msleep(200); },
                  .commands = {"TYPE I", "PORT", "STOR up.bin", "ABOR"},
                  .lines = {"426 Transfer aborted", "226 ABOR successful",
                            "Transfer aborted due to you're request"},
                  .absent = {"Total bytes written"},
                  .check = [data](EngineHarness& h, ScriptedPeer& p) {
                    EXPECT_EQ(p.DataReceived(), data.substr(0, 512));
                    EXPECT_NE(h.dir.ReadLog().find("Transfer aborted due to you're request"),
                              std::string::npos);
                  }});

  // Cancel during the pause after the last block: the final reply is then
  // not read by the store; it is shown before the next command instead, and
  // no repeat starts.
  rows.push_back({.name = "CancelDuringThePauseAfterAStore",
                  .script = [](ScriptedPeer& p) {
                    StorSteps(p, "up.bin", "150 Ok to send data\r\n").DataConnect().DataReceiveAll()
                        .DataClose().Send("226 Transfer complete\r\n");
                  },
                  .run = [data](EngineHarness& h, ScriptedPeer&) {
                    h.dir.WriteFile("up.bin", data);
                    h.ui.SetProgressHook([&h](int percent) {
                      if (percent == 100) QTimer::singleShot(100, [&h] { h.engine.CancelTransfer(); });
                    });
                    h.engine.StoreFile("TYPE I", "up.bin", "up.bin");
                  },
                  .commands = {"TYPE I", "PORT", "STOR up.bin"},
                  .lines = {"Total bytes written to remote host: 4000", "226 Transfer complete"},
                  .check = [data](EngineHarness& h, ScriptedPeer& p) {
                    EXPECT_EQ(p.DataReceived(), data);
                    EXPECT_EQ(p.DataConnectionCount(), 1);  // no repeat
                    EXPECT_FALSE(h.engine.AbortFlag);
                  }});

  rows.push_back({.name = "CancelWhileNothingRunsThenARetrieval",
                  .script = [](ScriptedPeer& p) {
                    RetrSteps(p, "a", "150 Opening (5 bytes)\r\n").DataConnect().DataSend("hello")
                        .DataClose().Send("226 Transfer complete\r\n");
                  },
                  .run = [](EngineHarness& h, ScriptedPeer&) {
                    h.engine.CancelTransfer();
                    h.engine.Retrieve("a", "a.out", "TYPE I");
                  },
                  .commands = {"TYPE I", "PORT", "RETR a"},
                  .lines = {"226 Transfer complete"},
                  .file = std::make_pair("a.out", "hello"),
                  .check = [](EngineHarness& h, ScriptedPeer&) {
                    EXPECT_NE(h.dir.ReadLog().find("Something Aborted"), std::string::npos);
                  }});
  return rows;
}

FAULT_GROUP(Cancel, Rows);

}  // namespace
