// Commands and replies on the control connection.
#include "faults/FaultCatalogue.h"

namespace {

const char* kNotSent = "Command not sent: its text holds a line break or a NUL character";

std::vector<FaultRow> Rows() {
  const std::string x(700, 'x'), y(17000, 'y');
  return {
      // Split, multi-line, odd, NUL-holding and long replies: the reply ends
      // at the first line that begins with a digit and is no continuation.
      {.name = "RepliesOfEveryShape",
       .script = R"(
         < NOOP | 200 fine
         < STAT | 230-first\r\n free text\r\n230 last
         < HELP
         >> 21
         pause 30
         >> 4 help te
         pause 30
         >> xt\r\n
         < SYST | 211-a\r\n211-b\r\n6xx odd\r\nabc letter\r\n 211 blank\r\n211 end
         < PWD | 257 "/a\x00b"
         < SITE | 214-)" + x + "\\r\\n214 " + y,
       .run = [y](EngineHarness& h, ScriptedPeer&) {
         for (auto [command, last] : std::vector<std::pair<std::string, std::string>>{
                  {"NOOP", "200 fine"}, {"STAT", "230 last"}, {"HELP", "214 help text"},
                  {"SYST", "211 end"}, {"PWD", std::string("257 \"/a\0b\"", 10)}, {"SITE", "214 " + y}}) {
           EXPECT_EQ(h.engine.SendCommand(command), last[0] - '0');
           EXPECT_EQ(h.engine.LastReply, last + "\r\n");
         }
       },
       .commands = {"NOOP", "STAT", "HELP", "SYST", "PWD", "SITE"},
       .check = [x, y](EngineHarness& h, ScriptedPeer&) {
         EXPECT_EQ(h.ui.TranscriptText(),
                   "220 ready\nNOOP\n200 fine\nSTAT\n230-first\n free text\n230 last\nHELP\n"
                   "214 help text\nSYST\n211-a\n211-b\n6xx odd\nabc letter\n 211 blank\n211 end\n"
                   "PWD\n257 \"/ab\"\nSITE\n214-" + x + "\n214 " + y + "\nNOOP\n200 still here\n");
       }},
      {.name = "PasswordMaskedOnlyForCapitalPass",
       .script = "< PASS | 230 ok\n< pass | 500 what",
       .run = [](EngineHarness& h, ScriptedPeer&) {
         h.engine.SendCommand("PASS %s", {"secret"});
         h.engine.SendCommand("pass %s", {"secret"});
       },
       .commands = {"PASS secret", "pass secret"}, .lines = {"PASS xxxxxx", "pass secret"},
       .absent = {"PASS secret"}},
      // The server goes away inside a multi-line reply: the read ends with 5,
      // quietly, and a new connection starts clean.
      {.name = "ServerClosesInsideAReply", .script = "< STAT\n>> 211-one\\r\\n211-thr\nclose\naccept\n> 220 again",
       .run = [](EngineHarness& h, ScriptedPeer& p) {
         EXPECT_EQ(h.engine.SendCommand("STAT"), 5);
         EXPECT_TRUE(h.engine.ControlGone());
         h.engine.Sockets1.Disconnect();
         ASSERT_TRUE(h.Connect(p.Port()));
         EXPECT_EQ(h.engine.LastReply, "220 again\r\n");
       },
       .commands = {"STAT"}, .lines = {"211-one", "220 again"}, .absent = {"211-thr220"}},
      // A reply left unread after a cancel chosen while idle is shown before
      // the next command, not taken for its reply.
      {.name = "UnreadReplyAfterACancelShownBeforeTheNextCommand",
       .script = "< HELP | 214 help\n< SYST | 215 UNIX",
       .run = [](EngineHarness& h, ScriptedPeer&) {
         h.engine.CancelTransfer();
         EXPECT_EQ(h.engine.SendCommand("HELP"), 5);  // sent, its reply not read
         EXPECT_FALSE(h.engine.AbortFlag);
         EXPECT_TRUE(h.AwaitLateReply());
         EXPECT_EQ(h.engine.SendCommand("SYST"), 2);
         EXPECT_EQ(h.engine.LastReply, "215 UNIX\r\n");
       },
       .commands = {"HELP", "SYST"},
       .log = {"Something Aborted"},
       .check = [](EngineHarness& h, ScriptedPeer&) {
         EXPECT_EQ(h.ui.TranscriptText(), "220 ready\nHELP\n214 help\nSYST\n215 UNIX\nNOOP\n200 still here\n");
       }},
      // A line break or NUL in an argument would put a second command on the wire.
      {.name = "LineBreaksAndNulNeverReachTheWire",
       .script = "< TYPE I | 200 ok\n< PORT | 200 ok\n< CWD | 250 ok",
       .run = [](EngineHarness& h, ScriptedPeer&) {
         h.engine.Retrieve("a\r\nDELE important", "a.out", "TYPE I");
         h.dir.WriteFile("up.bin", "x");
         h.engine.StoreFile("TYPE I", "up.bin", "up\nRMD /");
         EXPECT_EQ(h.engine.SendCommand("CWD %s", {std::string("a\0b", 3)}), 5);
         EXPECT_EQ(h.engine.SendCommand("%s", {"NOOP\rDELE y"}), 5);
         EXPECT_EQ(h.engine.SendCommand("CWD %s", {"ok"}), 2);
       },
       .commands = {"TYPE I", "PORT", "CWD ok"},
       .lines = {kNotSent, "Could not retrieve file", "Not stored up\\nRMD /: its name holds a line break"},
       .absent = {"DELE"}},
  };
}

FAULT_GROUP(ControlChannel, Rows);

// Without a connection: the soundness row of a reset control connection.
TEST(ControlChannel, RefusedWhileBusyAndFreedAfterAnException) {
  EngineHarness h;
  h.engine.CommandBusy = true;
  EXPECT_EQ(h.engine.SendCommand("NOOP"), -1);
  EXPECT_TRUE(h.ui.HasLine("Command already in progress, request ignored"));
  EXPECT_TRUE(h.engine.CommandBusy);
  h.engine.CommandBusy = false;
  h.ui.lineHook = [](const std::string& line) {
    if (line == "NOOP\r") throw std::runtime_error("boom");
  };
  EXPECT_THROW(h.engine.SendCommand("NOOP"), std::runtime_error);
  EXPECT_FALSE(h.engine.CommandBusy);
  EXPECT_FALSE(h.ui.busy);
}

TEST(Format, PercentSignsInArgumentsStayAsTheyAre) {
  EXPECT_EQ(Format("%s", {"100% %d %s"}), "100% %d %s");
  EXPECT_EQ(Format("a%%b PORT %d,%d %s", {4, 6, std::string("x\0y", 3)}),
            std::string("a%b PORT 4,6 x\0y", 16));
}

}  // namespace
