#pragma once
// The fault catalogue: each row scripts a misbehaving server (or a local
// fault), runs one engine operation against it, and checks the outcome, the
// bytes on disk, the exact commands the client sent and, where it makes
// sense, that the session still answers the next command.
//
// A row's commands are compared line by line; "PORT" alone stands for any
// PORT line (its port number changes from run to run).
#include <gtest/gtest.h>
#include <QThread>
#include <QTimer>

#include <algorithm>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "../ftp/EngineHarness.h"
#include "support/ScriptedPeer.h"
#include "support/TestBytes.h"

struct FaultRow {
  std::string name = {};
  std::string greeting = "220 ready\r\n";
  // The server's part after its greeting.
  std::function<void(ScriptedPeer&)> script = {};
  // The client's part, after connecting and reading the greeting.
  std::function<void(EngineHarness&, ScriptedPeer&)> run = {};
  // Runs after the timed part and before the NOOP (to let a late reply come).
  std::function<void(EngineHarness&, ScriptedPeer&)> after = {};
  std::vector<std::string> commands = {};       // every command line the server received
  std::vector<std::string> boxes = {};          // texts of the boxes shown, in order
  std::vector<std::string> lines = {};          // transcript lines that must be there (CR ignored)
  std::vector<std::string> absent = {};         // texts no transcript line may contain
  std::optional<std::pair<std::string, std::string>> file = {};  // local file and its bytes
  double bound = 5;                        // seconds the row may take at most
  // The session answers a NOOP afterwards: the script gets a NOOP reply at
  // its end, and "NOOP" is expected as the last command.
  bool thenNoop = true;
  // The server closed the connection: whether a later send meets a reset
  // first is a race, so only the kind of box is checked (socket errors).
  bool boxesMayVary = false;
  std::function<void(EngineHarness&, ScriptedPeer&)> check = {};  // anything else
};

inline std::string PrintRowName(const testing::TestParamInfo<FaultRow>& info) {
  return info.param.name;
}


// TYPE I, PORT and RETR answered, RETR with the given preliminary reply.
inline ScriptedPeer& RetrSteps(ScriptedPeer& peer, const std::string& name,
                               const std::string& reply) {
  return peer.Reply("TYPE I", "200 Type set to I\r\n")
      .Reply("PORT", "200 PORT ok\r\n")
      .Reply("RETR " + name, reply);
}

inline ScriptedPeer& StorSteps(ScriptedPeer& peer, const std::string& name,
                               const std::string& reply) {
  return peer.Reply("TYPE I", "200 Type set to I\r\n")
      .Reply("PORT", "200 PORT ok\r\n")
      .Reply("STOR " + name, reply);
}

inline void ExpectCommands(const std::vector<std::string>& actual,
                           const std::vector<std::string>& expected) {
  bool same = actual.size() == expected.size();
  for (size_t i = 0; same && i < actual.size(); ++i)
    same = expected[i] == "PORT" ? actual[i].compare(0, 5, "PORT ") == 0 : actual[i] == expected[i];
  std::string shown;
  for (const auto& c : actual) shown += "  " + c + "\n";
  EXPECT_TRUE(same) << "commands received:\n" << shown;
}

inline void RunFaultRow(const FaultRow& row) {
  ScriptedPeer peer;
  peer.Send(row.greeting);
  if (row.script) row.script(peer);
  if (row.thenNoop) peer.Reply("NOOP", "200 still here\r\n");
  peer.Start();

  EngineHarness h;
  h.engine.Sockets1.Timeout = 2;
  h.engine.RetrieveTimeout = 1;
  h.engine.StoreTimeout = 1;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(h.Connect(peer.Port()));
  row.run(h, peer);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, row.bound) << "the row did not end within its bound";
  if (row.after) row.after(h, peer);

  if (row.thenNoop) {
    EXPECT_EQ(h.engine.SendCommand("NOOP"), 2) << "the session does not answer afterwards";
    EXPECT_EQ(h.engine.LastReply, "200 still here\r\n");
  }
  peer.Wait(3000);

  std::vector<std::string> commands = row.commands;
  if (row.thenNoop) commands.push_back("NOOP");
  ExpectCommands(peer.Commands(), commands);

  std::vector<std::string> boxes = {};
  for (const auto& b : h.ui.Boxes()) boxes.push_back(b.text);
  if (row.boxesMayVary) {
    for (const auto& b : boxes) EXPECT_EQ(b.compare(0, 9, "Error: 10"), 0) << b;
  } else {
    EXPECT_EQ(boxes, row.boxes);
  }
  for (const auto& line : row.lines) EXPECT_TRUE(h.ui.HasLine(line)) << "missing line: " << line;
  for (const auto& text : row.absent)
    EXPECT_FALSE(h.ui.HasLineContaining(text)) << "unexpected line with: " << text;
  if (row.file) {
    const std::string disk = h.dir.ReadFile(row.file->first);
    const std::string& want = row.file->second;
    size_t at = 0;
    while (at < disk.size() && at < want.size() && disk[at] == want[at]) ++at;
    EXPECT_TRUE(disk == want) << "bytes on disk: " << disk.size() << " (expected " << want.size()
                              << "), first difference at " << at;
  }
  // Nothing is left open or busy.
  EXPECT_FALSE(h.engine.CommandBusy);
  EXPECT_FALSE(h.ui.Busy());
  EXPECT_EQ(h.engine.Sockets2.ListeningSocket(), -1);
  EXPECT_EQ(h.engine.Sockets2.ConnectionSocket(), -1);
  if (row.check) row.check(h, peer);
  if (row.thenNoop) {
    EXPECT_TRUE(peer.Failures().empty()) << peer.Trace();
  }
  if (testing::Test::HasFailure()) {
    std::string text;
    for (const auto& l : h.ui.Lines()) text += "  | " + l + "\n";
    ADD_FAILURE() << "transcript:\n" << text;
  }
}

#define FAULT_GROUP(Group, rowsFunction)                                        \
  class Group : public testing::TestWithParam<FaultRow> {};                     \
  TEST_P(Group, Row) { RunFaultRow(GetParam()); }                               \
  INSTANTIATE_TEST_SUITE_P(Catalogue, Group, testing::ValuesIn(rowsFunction()), \
                           PrintRowName)

inline void PrintTo(const FaultRow& row, std::ostream* os) { *os << row.name; }
