// Storing files, with the repeat after 426.
#include "faults/FaultCatalogue.h"

namespace {

std::vector<FaultRow> Rows() {
  std::string fourTimes;
  for (int i = 0; i <= FtpEngine::MaxStoreRetries; ++i) fourTimes += Put("150 go") + kSent + "> 426 broken\n";
  return {
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
  };
}

FAULT_GROUP(StoreFile, Rows);

}  // namespace
