// Fault catalogue, local faults: files that cannot be made, read or written.
#include "FaultCatalogue.h"

namespace {

std::vector<FaultRow> Rows() {
  return {
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

FAULT_GROUP(LocalFaults, Rows);

}  // namespace
