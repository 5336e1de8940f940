// Fault catalogue, cancel: how a transfer answers Cancel Transfer, whatever
// the server does with the ABOR.
#include "FaultCatalogue.h"

namespace {

RowAction CancellingAt(std::vector<int> blocks, RowAction action) {
  return [=](EngineHarness& h, ScriptedPeer& p) {
    CancelAtBlocks(h, blocks);
    action(h, p);
  };
}

std::vector<FaultRow> Rows() {
  const std::string data = Pattern(4000);
  const std::string first = Get("150 Opening (4000 bytes)") + "data connect\ndata pattern 1000\nurgent\n";
  const std::vector<std::string> abor = {"TYPE I", "PORT", "RETR a", "ABOR"};
  const std::string aborted = Put("150 Ok to send data") +
                              "data connect\nurgent\n< ABOR | 426 Transfer aborted\\r\\n226 ABOR successful\ndata recv\ndata close";
  const std::vector<std::string> abortedLines = {"426 Transfer aborted", "226 ABOR successful", "Transfer aborted due to you're request"};
  return {
      // The usual answer: 426 for the transfer, then 226 for the ABOR; what
      // the server still sends is drained.
      {.name = "RetrieveAbortedWith426And226",
       .script = first + "< ABOR | 426 Transfer aborted\ndata send drained\ndata close\n> 226 ABOR successful",
       .run = CancellingAt({1}, Retrieving()), .commands = abor,
       .lines = {"426 Transfer aborted", "226 ABOR successful", "Transfer incomplete: 1007 of 4000 bytes received"},
       .file = std::make_pair("a.out", data.substr(0, 1000) + "drained"),
       .check = [](EngineHarness&, ScriptedPeer& p) { EXPECT_EQ(p.UrgentCount(), 1); }},
      // Only one reply to ABOR: the transfer does not wait for a second one.
      {.name = "AborAnsweredWithoutA426",
       .script = first + "< ABOR | 226 Abort successful\ndata close", .run = CancellingAt({1}, Retrieving()),
       .commands = abor, .lines = {"226 Abort successful"},
       .file = std::make_pair("a.out", data.substr(0, 1000))},
      // A late 426 after the ABOR's 226 is shown before the next command.
      {.name = "Late426AfterAbor",
       .script = first + "< ABOR | 226 Abort successful\ndata close\npause 100\n> 426 Late: transfer aborted",
       .run = CancellingAt({1}, Retrieving()), .after = AwaitLate(), .commands = abor,
       .lines = {"226 Abort successful", "426 Late: transfer aborted"},
       .file = std::make_pair("a.out", data.substr(0, 1000))},
      // A store sends no more blocks after the cancel, and does not repeat.
      {.name = "StoreAbortedWith426And226",
       .script = aborted,
       .run = CancellingAt({1}, Storing(data)), .commands = {"TYPE I", "PORT", "STOR up.bin", "ABOR"},
       .lines = abortedLines,
       .absent = {"Total bytes written"},
       .log = {"Transfer aborted due to you're request"},
       .check = [data](EngineHarness&, ScriptedPeer& p) {
         EXPECT_EQ(p.DataConnections(), std::vector<std::string>{data.substr(0, 512)});
       }},
      // Cancel during the pause after the last block ends the store like
      // one during the data phase: ABOR, its replies, no final total.
      {.name = "CancelDuringThePauseAfterAStore",
       .script = aborted,
       .run = [data](EngineHarness& h, ScriptedPeer& p) {
         h.ui.progressHook = [&h](int percent) {
           if (percent == 100) QTimer::singleShot(100, [&h] { h.engine.CancelTransfer(); });
         };
         Storing(data)(h, p);
       },
       .commands = {"TYPE I", "PORT", "STOR up.bin", "ABOR"},
       .lines = abortedLines,
       .absent = {"Total bytes written"},
       .check = [data](EngineHarness& h, ScriptedPeer& p) {
         EXPECT_EQ(p.DataConnections(), std::vector<std::string>{data});
         EXPECT_FALSE(h.engine.AbortFlag);
       }},
  };
}

FAULT_GROUP(Cancel, Rows);

}  // namespace
