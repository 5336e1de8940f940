// Fault catalogue, cancel: how a transfer answers Cancel Transfer, whatever
// the server does with the ABOR. The data connection is closed before the
// ABOR goes out, so a server that reads nothing on the control connection
// while its data connection stands still answers; the ABOR goes in line.
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
  // The server writes the data until its data connection is gone, as a
  // server blocked in a send does, and reads the control connection only then.
  const std::string stalled = Get("150 Opening (4000 bytes)") + "data connect\ndata pattern 1000\ndata recv\n";
  const std::vector<std::string> abor = {"TYPE I", "PORT", "RETR a", "ABOR"};
  const std::string aborted = Put("150 Ok to send data") +
                              "data connect\ndata recv\n< ABOR | 426 Transfer aborted\\r\\n226 ABOR successful";
  const std::vector<std::string> abortedLines = {"426 Transfer aborted", "226 ABOR successful", "Transfer aborted due to you're request"};
  const std::string kept = data.substr(0, 255);
  return {
      // The usual answer: 426 for the transfer, then 226 for the ABOR.
      {.name = "RetrieveAbortedWith426And226",
       .script = stalled + "< ABOR | 426 Transfer aborted\\r\\n226 ABOR successful",
       .run = CancellingAt({1}, Retrieving()), .commands = abor,
       .lines = {"426 Transfer aborted", "226 ABOR successful", "Transfer incomplete: 255 of 4000 bytes received"},
       .file = std::make_pair("a.out", kept),
       .check = [](EngineHarness&, ScriptedPeer& p) { EXPECT_EQ(p.UrgentCount(), 0); }},
      // Only one reply to ABOR: the transfer does not wait for a second one,
      // and a 426 long after the ABOR's 226 is shown before the next command.
      {.name = "Late426AfterAbor",
       .script = stalled + "< ABOR | 226 Abort successful\npause 1500\n> 426 Late: transfer aborted",
       .run = CancellingAt({1}, Retrieving()), .after = AwaitLate(), .commands = abor,
       .lines = {"226 Abort successful", "426 Late: transfer aborted"},
       .file = std::make_pair("a.out", kept)},
      // No reply at all: later replies could not be matched to commands, so
      // the session ends with one line, and without a box.
      {.name = "AborNeverAnswered",
       .script = stalled + "< ABOR\npause 3500",
       .run = CancellingAt({1}, Retrieving()), .commands = abor,
       .lines = {"No reply to ABOR within 3 seconds: connection to 127.0.0.1 closed"},
       .absent = {"Connection to 127.0.0.1 lost"}, .thenNoop = false,
       .check = [](EngineHarness& h, ScriptedPeer&) { EXPECT_TRUE(!h.engine.Connected && h.engine.Sockets1.ConnectionSocket() == -1); }},
      // A connection reset on the ABOR: the lost-connection line, no box.
      {.name = "ResetOnAbor", .script = stalled + "< ABOR\nreset", .run = CancellingAt({1}, Retrieving()),
       .commands = abor, .lines = {"Connection to 127.0.0.1 lost: Error 10054 Connection reset by peer"},
       .thenNoop = false},
      // Commands chosen during the transfer and during the abort are
      // refused with a line and never sent.
      {.name = "CommandsDuringTheAbortAreRefused",
       .script = Get("150 Opening (4000 bytes)") + "data connect\ndata pattern 255\ndata recv\n"
                 "< ABOR | 426 Aborted\npause 400\n> 226 ABOR done",
       .run = [](EngineHarness& h, ScriptedPeer& p) {
         h.ui.progressHook = [&h](int) {  // at the one block that comes: a PWD now, and in the abort
           QTimer::singleShot(0, [&h] { h.engine.SendCommand("PWD"); });
           QTimer::singleShot(150, [&h] { h.engine.CancelTransfer(); });
           QTimer::singleShot(300, [&h] { h.engine.SendCommand("PWD"); });
         };
         Retrieving()(h, p);
       },
       .commands = abor,
       .lines = {"Transfer already in progress, request ignored", "Command already in progress, request ignored",
                 "426 Aborted", "226 ABOR done"},
       .absent = {"PWD"}},
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
      // one during the data phase: ABOR, its replies, no final total. A PWD
      // in the pause is refused, not sent into the store.
      {.name = "CancelDuringThePauseAfterAStore",
       .script = aborted,
       .run = [data](EngineHarness& h, ScriptedPeer& p) {
         h.ui.progressHook = [&h](int percent) {
           if (percent != 100) return;
           QTimer::singleShot(50, [&h] { h.engine.SendCommand("PWD"); });
           QTimer::singleShot(100, [&h] { h.engine.CancelTransfer(); });
         };
         Storing(data)(h, p);
       },
       .commands = {"TYPE I", "PORT", "STOR up.bin", "ABOR"},
       .lines = {"Transfer already in progress, request ignored", "Transfer aborted due to you're request"},
       .absent = {"Total bytes written", "PWD"},
       .check = [data](EngineHarness& h, ScriptedPeer& p) {
         EXPECT_EQ(p.DataConnections(), std::vector<std::string>{data});
         EXPECT_FALSE(h.engine.AbortFlag);
       }},
  };
}

FAULT_GROUP(Cancel, Rows);

}  // namespace
