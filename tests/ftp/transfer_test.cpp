// Retrieving and storing files and listings, with the repeat after 426, and
// local files that cannot be made, read or written.
#include "faults/FaultCatalogue.h"

namespace {

std::vector<FaultRow> Rows() {
  std::string fourTimes;
  for (int i = 0; i <= FtpEngine::MaxStoreRetries; ++i) fourTimes += Put("150 go") + kSent + "> 426 broken\n";
  return {
      {.name = "BinaryFileInTwoPiecesWithProgress",
       .script = Get("150 Opening BINARY mode data connection for a (12345 bytes)") +
                 "data connect\ndata pattern 5000\npause 20\ndata pattern 7345\ndata close\n> 226 Transfer complete",
       .run = [](EngineHarness& h, ScriptedPeer& p) {  // over a longer file: none of its bytes stay
         h.dir.WriteFile("a.out", std::string(20000, 'o'));
         Retrieving()(h, p);
       },
       .commands = {"TYPE I", "PORT", "RETR a"}, .absent = {"Transfer incomplete"},
       .file = std::make_pair("a.out", Pattern(5000) + Pattern(7345)),
       .check = [](EngineHarness& h, ScriptedPeer&) {
         EXPECT_EQ(h.ui.progress.back().percent, 100);
         EXPECT_FALSE(h.ui.progressVisible);
       }},
      {.name = "ListingToTheTranscriptKeepsTextAfterNul",
       .script = Steps("TYPE A", "LIST", "150 Here comes the listing") +
                 "data connect\ndata send a.txt\\r\\nb\\x00.txt\\r\\nc.t\ndata send xt\\r\\n\ndata close\n> 226 done",
       .run = Listing(), .commands = {"TYPE A", "PORT", "LIST"},
       .check = [](EngineHarness& h, ScriptedPeer&) {
         EXPECT_NE(h.ui.TranscriptText().find("150 Here comes the listing\na.txt\nb.txt\nc.txt\n226 done\n"), std::string::npos);
         EXPECT_TRUE(h.ui.editorStarts.empty());
       }},
      {.name = "ThousandBytesInTwoBlocksLowerCased",
       .script = Steps("TYPE I", "STOR up.txt", "150 Ok to send data.") + kSent + "> 226 Transfer complete.",
       .run = [](EngineHarness& h, ScriptedPeer&) {
         h.dir.WriteFile("Up.txt", std::string(1000, 'q'));
         h.engine.UseLowerCase = true;
         h.engine.StoreFile("TYPE I", "Up.txt", "Up.txt");
       },
       .commands = {"TYPE I", "PORT", "STOR up.txt"},
       .lines = {"Transferring local file: Up.txt to remote file: up.txt",
                 "Total bytes written to remote host: 1000"},
       .log = {"Total bytes written to remote host :1000\r\n"},
       .check = [](EngineHarness& h, ScriptedPeer& p) {
         EXPECT_EQ(p.DataReceived(), std::string(1000, 'q'));
         ASSERT_EQ(h.ui.progress.size(), 2u);
         EXPECT_EQ(h.ui.progress[0].caption, "51% Complete");
         EXPECT_EQ(h.ui.progress[1].percent, 100);
         EXPECT_EQ(h.ui.repaints, 2);
         EXPECT_EQ(h.ui.statusTexts, (std::vector<std::string>{"Sending file: up.txt"}));
         EXPECT_FALSE(h.ui.progressVisible);
       }},
      {.name = "RepeatsAfter426AreBounded",
       .script = fourTimes, .run = Storing("x"),
       .commands = {"TYPE I", "PORT", "STOR up.bin", "TYPE I", "PORT", "STOR up.bin", "TYPE I", "PORT",
                    "STOR up.bin", "TYPE I", "PORT", "STOR up.bin"},
       .lines = {"Sending up.bin given up after 3 repeats"},
       .log = {"Sending up.bin given up after 3 repeats"}},
      // A full disk: ABOR goes out, the rest is drained, the session goes on.
      {.name = "WriteFailsDuringARetrieval",
       .script = Get("150 Opening (200 bytes)") +
                 "data connect\ndata pattern 200\n< ABOR | 426 aborted\ndata close\n> 226 abort done",
       .run = [](EngineHarness& h, ScriptedPeer&) { h.engine.Retrieve("a", "/dev/full", "TYPE I"); },
       .commands = {"TYPE I", "PORT", "RETR a", "ABOR"},
       .lines = {"Write to file: /dev/full failed, transfer incomplete", "426 aborted", "226 abort done"}},
      // A local file that cannot be made or opened: nothing is sent.
      {.name = "UncreatableLocalFileSendsNothing",
       .run = [](EngineHarness& h, ScriptedPeer& p) {
         h.engine.Retrieve("a", "no/such/folder/a", "TYPE I");
         ASSERT_EQ(::chdir("/proc"), 0);  // a temporary listing file cannot be made here
         Listing("1")(h, p);
         ASSERT_EQ(::chdir(h.dir.Dir().c_str()), 0);
         h.engine.StoreFile("TYPE I", "missing", "missing");
         std::vector<std::string> captions;
         for (const auto& box : h.ui.boxes) captions.push_back(box.caption);
         EXPECT_EQ(captions, (std::vector<std::string>{"_lopen error", "_lopen error", "open error"}));
       },
       .boxes = {"Could not open file", "Could not open file", "Could not open local file"},
       .log = {"Could not open file", "Could not open local file,open error"}},
  };
}

FAULT_GROUP(Transfer, Rows);

}  // namespace
