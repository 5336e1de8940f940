// Retrieval of files and listings.
#include "faults/FaultCatalogue.h"

namespace {

std::vector<FaultRow> Rows() {
  return {
      {.name = "BinaryFileInTwoPiecesWithProgress",
       .script = Get("150 Opening BINARY mode data connection for a (12345 bytes)") +
                 "data connect\ndata pattern 5000\npause 20\ndata pattern 7345\ndata close\n> 226 Transfer complete",
       .run = Retrieving(), .commands = {"TYPE I", "PORT", "RETR a"}, .absent = {"Transfer incomplete"},
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
  };
}

FAULT_GROUP(Retrieve, Rows);

}  // namespace
