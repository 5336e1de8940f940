// Fault catalogue, data connection: a server that never connects, connects
// and says nothing, delivers short, or goes on after its final reply.
#include "FaultCatalogue.h"

namespace {

const char* kNoSocket = "Could not extablish data socket, operation canceled";

std::vector<FaultRow> Rows() {
  std::vector<FaultRow> rows;
  auto retrieve = [](EngineHarness& h, ScriptedPeer&) { h.engine.Retrieve("a", "a.out", "TYPE I"); };

  rows.push_back({.name = "ServerNeverConnects",
                  .script = [](ScriptedPeer& p) {
                    RetrSteps(p, "a", "150 Opening (5 bytes)\r\n").DataRefuse();
                  },
                  .run = retrieve,
                  .commands = {"TYPE I", "PORT", "RETR a"},
                  .boxes = {"Error: 10004\r\nInterrupted system call", kNoSocket},
                  .file = std::make_pair("a.out", ""),
                  .bound = 3,
                  .check = [](EngineHarness& h, ScriptedPeer&) {
                    EXPECT_NE(h.dir.ReadLog().find(kNoSocket), std::string::npos);
                  }});

  // Connected, then silence: the receive times out, ABOR goes out, and the
  // replies to it (read late because the receive failed) are shown before
  // the next command instead of being taken for its reply.
  rows.push_back({.name = "Reply150ThenNothing",
                  .script = [](ScriptedPeer& p) {
                    RetrSteps(p, "a", "150 Opening (5 bytes)\r\n").DataConnect()
                        .ExpectUrgent()
                        .Reply("ABOR", "426 Transfer aborted\r\n226 ABOR successful\r\n")
                        .DataClose();
                  },
                  .run = retrieve,
                  .commands = {"TYPE I", "PORT", "RETR a", "ABOR"},
                  .boxes = {"Error: 10004\r\nInterrupted system call"},
                  .lines = {"426 Transfer aborted", "226 ABOR successful"},
                  .file = std::make_pair("a.out", ""),
                  .bound = 3});

  rows.push_back({.name = "FewerBytesThanAnnouncedBinary",
                  .script = [](ScriptedPeer& p) {
                    RetrSteps(p, "a", "150 Opening BINARY mode (10 bytes)\r\n").DataConnect()
                        .DataSend("01234").DataClose().Send("226 Transfer complete\r\n");
                  },
                  .run = retrieve,
                  .commands = {"TYPE I", "PORT", "RETR a"},
                  .lines = {"226 Transfer complete", "Transfer incomplete: 5 of 10 bytes received"},
                  .file = std::make_pair("a.out", "01234"),
                  .check = [](EngineHarness& h, ScriptedPeer&) {
                    EXPECT_NE(h.dir.ReadLog().find("Transfer incomplete: 5 of 10 bytes received"),
                              std::string::npos);
                  }});

  // In ASCII type the size may differ by the line ends: nothing is claimed.
  rows.push_back({.name = "FewerBytesThanAnnouncedAscii",
                  .script = [](ScriptedPeer& p) {
                    p.Reply("TYPE A", "200 ok\r\n").Reply("PORT", "200 ok\r\n")
                        .Reply("RETR a", "150 Opening ASCII mode (10 bytes)\r\n").DataConnect()
                        .DataSend("0123\n").DataClose().Send("226 Transfer complete\r\n");
                  },
                  .run = [](EngineHarness& h, ScriptedPeer&) { h.engine.Retrieve("a", "a.out", "TYPE A"); },
                  .commands = {"TYPE A", "PORT", "RETR a"},
                  .absent = {"Transfer incomplete"},
                  .file = std::make_pair("a.out", "0123\n")});

  rows.push_back({.name = "DataStillArrivingAfterThe226",
                  .script = [](ScriptedPeer& p) {
                    RetrSteps(p, "a", "150 Opening (10 bytes)\r\n").DataConnect()
                        .DataSend("01234").Send("226 Transfer complete\r\n").Pause(150)
                        .DataSend("56789").DataClose();
                  },
                  .run = retrieve,
                  .commands = {"TYPE I", "PORT", "RETR a"},
                  .lines = {"226 Transfer complete"},
                  .absent = {"Transfer incomplete"},
                  .file = std::make_pair("a.out", "0123456789")});

  rows.push_back({.name = "ManySmallPiecesNoByteLost",
                  .script = [](ScriptedPeer& p) {
                    std::vector<std::string> pieces;
                    std::string all = Pattern(3000);
                    for (size_t i = 0; i < all.size(); i += 97) pieces.push_back(all.substr(i, 97));
                    RetrSteps(p, "a", "150 Opening (3000 bytes)\r\n").DataConnect()
                        .DataSendPieces(pieces, 2).DataClose().Send("226 Transfer complete\r\n");
                  },
                  .run = retrieve,
                  .commands = {"TYPE I", "PORT", "RETR a"},
                  .absent = {"Transfer incomplete"},
                  .file = std::make_pair("a.out", Pattern(3000))});

  rows.push_back({.name = "StoreServerNeverConnects",
                  .script = [](ScriptedPeer& p) {
                    StorSteps(p, "up.bin", "150 Ok to send data\r\n").DataRefuse()
                        .ExpectUrgent().Reply("ABOR", "225 No transfer to abort\r\n");
                  },
                  .run = [](EngineHarness& h, ScriptedPeer&) {
                    h.dir.WriteFile("up.bin", "hello");
                    h.engine.StoreFile("TYPE I", "up.bin", "up.bin");
                  },
                  .commands = {"TYPE I", "PORT", "STOR up.bin", "ABOR"},
                  .boxes = {"Error: 10004\r\nInterrupted system call"},
                  .lines = {"Transfer aborted due to you're request"},
                  .bound = 3});
  return rows;
}

FAULT_GROUP(DataConnection, Rows);

}  // namespace
