// Fault catalogue, soundness: how a transfer answers Cancel Transfer,
// whatever the server does with the ABOR (the data connection is closed
// before the ABOR goes out, so a server that reads nothing on the control
// connection while its data connection stands still answers; the ABOR goes
// in line); a lost control connection, Cancel Transfer while a step waits, a
// second transfer inside a running one, a refused Get, data text in small
// pieces or without line ends, and a store whose data connection fails or
// never goes quiet.
#include "FaultCatalogue.h"

namespace {

RowAction CancellingAt(std::vector<int> blocks, RowAction action) {
  return [=](EngineHarness& h, ScriptedPeer& p) {
    CancelAtBlocks(h, blocks);
    action(h, p);
  };
}

std::vector<FaultRow> Rows() {
  const char* kAborted = "Transfer aborted due to you're request";
  const std::string data = Pattern(4000);
  // The server writes the data until its data connection is gone, as a
  // server blocked in a send does, and reads the control connection only then.
  const std::string stalled = Get("150 Opening (4000 bytes)") + "data connect\ndata pattern 1000\ndata recv\n";
  const std::vector<std::string> abor = {"TYPE I", "PORT", "RETR a", "ABOR"};
  const std::string aborted = Put("150 Ok to send data") +
                              "data connect\ndata recv\n< ABOR | 426 Transfer aborted\\r\\n226 ABOR successful";
  const std::vector<std::string> abortedLines = {"426 Transfer aborted", "226 ABOR successful", kAborted};
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
      // A reset control connection ends the session: one box, one line, and
      // the next command is not sent into it.
      {.name = "ResetControlIsALostConnection", .script = "< PWD\nreset",
       .run = [](EngineHarness& h, ScriptedPeer&) {
         EXPECT_EQ(h.engine.SendCommand("PWD"), 5);
         EXPECT_EQ(h.engine.SendCommand("CWD x"), 5);
       },
       .commands = {"PWD"}, .lines = {"Connection to 127.0.0.1 lost", "CWD x", "Not Connected"},
       .thenNoop = false, .boxesMayVary = true,
       .check = [](EngineHarness& h, ScriptedPeer&) {
         EXPECT_FALSE(h.engine.Connected);
         EXPECT_EQ(h.ui.boxes.size(), 1u);
       }},
      // A cancel chosen while idle does not make the store read its replies
      // one late: the final 426 is seen and the store repeated.
      {.name = "StaleCancelDoesNotShiftStoreReplies",
       .script = "< TYPE I\npause 300\n> 200 ok\n< PORT | 200 ok\n< STOR up.bin | 150 ok\n" + kSent +
                 "> 426 Connection closed; transfer aborted\n" + Put("150 ok") + kSent + "> 226 done",
       .run = [](EngineHarness& h, ScriptedPeer& p) {
         h.engine.CancelTransfer();
         Storing(Pattern(1000))(h, p);
       },
       .commands = {"TYPE I", "PORT", "STOR up.bin", "TYPE I", "PORT", "STOR up.bin"},
       .lines = {"426 Connection closed; transfer aborted", "226 done"},
       .check = [](EngineHarness&, ScriptedPeer& p) {
         EXPECT_EQ(p.DataConnections(), (std::vector<std::string>{Pattern(1000), Pattern(1000)}));
       }},
      // Cancel Transfer ends whatever waits: a listing's first reply (which has
      // no time-out), the accept of the data connection, the store's close.
      {.name = "CancelEndsListingWaitingForItsFirstReply", .script = "< TYPE A | 200 ok\n< PORT | 200 ok\n< LIST",
       .run = CancelAt(300, Listing()), .commands = {"TYPE A", "PORT", "LIST"}, .lines = {"Could not list directory"}},
      {.name = "CancelEndsTheAcceptWait", .script = Get("150 Opening (5 bytes)") + "data refuse",
       .run = CancelAt(300, Retrieving()), .commands = {"TYPE I", "PORT", "RETR a"}, .boxes = {kNoSocket}},
      {.name = "CancelEndsAPassiveConnectNobodyAnswers",
       .script = "< TYPE I | 200 ok\ndata listen full\n< EPSV | 229 Entering Extended Passive Mode (|||{port}|)",
       .run = [](EngineHarness& h, ScriptedPeer& p) {
         h.engine.Passive = true;
         CancelAt(300, Retrieving())(h, p);
       },
       .commands = {"TYPE I", "EPSV"}},
      {.name = "CancelEndsTheStoreClose",
       .script = Put("150 ok") + "data connect\ndata stall 1200\n< ABOR | 226 Abort successful\ndata close",
       .run = CancelAt(700, Storing(Pattern(1000))),
       .commands = {"TYPE I", "PORT", "STOR up.bin", "ABOR"}, .lines = {"226 Abort successful", kAborted}},
      // A stranger that connects first does not start the wait for the
      // server's data connection again: it still ends at the time-out (1 s).
      {.name = "RefusedStrangerKeepsTheAcceptDeadline",
       .script = Get("150 Opening (5 bytes)") +
                 "pause 700\ndata from 127.0.0.2\ndata close\npause 600\ndata connect\ndata send hello\ndata close\n> 226 done",
       .run = Retrieving(), .commands = {"TYPE I", "PORT", "RETR a"},
       .boxes = {k10004, kNoSocket},
       .lines = {"Data connection from 127.0.0.2 refused: the server is 127.0.0.1"}, .thenNoop = false},
      // The store's close ends at its time-out even when the server never stops
      // sending; the store then ends as a cancelled one.
      {.name = "StoreCloseEndsWhileTheServerKeepsSending", .script = Put("150 ok") + "data connect\ndata flood 1800\n< ABOR | 226 Abort successful",
       .run = Storing(Pattern(1000)),
       .commands = {"TYPE I", "PORT", "STOR up.bin", "ABOR"}, .boxes = {k10004},
       .lines = {kAborted}},
      // A data connection reset half way: one box, no more blocks, the normal
      // end, and the 426 repeat sends the file whole.
      {.name = "FailedSendEndsTheDataPhase",
       .script = Put("150 ok") + "data connect\ndata stall 200\ndata reset\n> 426 Connection reset; transfer aborted\n" +
                 Put("150 ok") + kSent + "> 226 done",
       .run = Storing(Pattern(8000000)),
       .commands = {"TYPE I", "PORT", "STOR up.bin", "TYPE I", "PORT", "STOR up.bin"},
       .lines = {"426 Connection reset; transfer aborted", "Total bytes written to remote host: 8000000", "226 done"},
       .boxesMayVary = true,
       .check = [](EngineHarness& h, ScriptedPeer& p) {
         EXPECT_EQ(h.ui.boxes.size(), 1u);
         ASSERT_EQ(p.DataConnections().size(), 2u);
         EXPECT_EQ(p.DataConnections()[1], Pattern(8000000));
       }},
      // The same reset with a 226 for it: the bytes not sent are missing
      // whatever the server says, so the file is not stored.
      {.name = "FailedSendIsNoStoreDespiteA226",
       .script = Put("150 ok") + "data connect\ndata stall 200\ndata reset\n> 226 done",
       .run = Storing(Pattern(8000000)), .commands = {"TYPE I", "PORT", "STOR up.bin"},
       .lines = {"Not stored up.bin: incomplete, the data connection failed"}, .boxesMayVary = true},
      // A Get chosen while a retrieval waits for its data is refused; the
      // running one is not disturbed.
      {.name = "SecondTransferInsideARunningOneIsRefused",
       .script = Get("150 Opening (5 bytes)") + "pause 500\ndata connect\ndata send hello\ndata close\n> 226 done",
       .run = [](EngineHarness& h, ScriptedPeer& p) {
         h.dir.WriteFile("b.out", "mine");
         QTimer::singleShot(200, &h.engine.Sockets1, [&h] { h.engine.Retrieve("b", "b.out", "TYPE I"); });
         Retrieving()(h, p);
       },
       .commands = {"TYPE I", "PORT", "RETR a"},
       .lines = {"Transfer already in progress, request ignored", "226 done"}, .file = std::make_pair("a.out", "hello"),
       .check = [](EngineHarness& h, ScriptedPeer&) { EXPECT_EQ(h.dir.ReadFile("b.out"), "mine"); }},
      // A refused Get leaves a file of that name as it was.
      {.name = "RefusedGetKeepsTheLocalFile", .script = Get("550 No such file"),
       .run = [](EngineHarness& h, ScriptedPeer& p) {
         h.dir.WriteFile("a.out", "precious");
         Retrieving()(h, p);
       },
       .commands = {"TYPE I", "PORT", "RETR a"}, .lines = {"Could not retrieve file"},
       .file = std::make_pair("a.out", "precious")},
      // Listing text that comes one byte at a time is shown whole.
      {.name = "TrickledListingIsShownWhole",
       .script = Steps("TYPE A", "LIST", "150 Here it comes") + "data connect\ndata send a\npause 20\ndata send b\n"
                 "pause 20\ndata send \\r\npause 20\ndata send \\n\npause 20\ndata send c\\r\npause 20\ndata send \\n\n"
                 "data close\n> 226 done",
       .run = Listing(), .commands = {"TYPE A", "PORT", "LIST"}, .lines = {"ab", "c", "226 done"}},
      // Viewed text without line ends is cut into lines of the reply lines' cap.
      {.name = "ViewTextWithoutLineEndsIsCut",
       .script = Steps("TYPE A", "RETR v", "150 Opening") + "data connect\ndata send " +
                 std::string(Transcript::kMaxLine + 10, 'x') + "\\r\\nend\\r\\n\ndata close\n> 226 done",
       .run = [](EngineHarness& h, ScriptedPeer&) {
         h.engine.ViewSep = "0";
         h.engine.Retrieve("v", "", "TYPE A");
       },
       .commands = {"TYPE A", "PORT", "RETR v"}, .lines = {std::string(Transcript::kMaxLine, 'x'), "xxxxxxxxxx", "end"}},
  };
}

}  // namespace

FAULT_GROUP(Soundness, Rows);
