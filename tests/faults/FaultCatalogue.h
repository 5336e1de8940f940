#pragma once
// Rows of engine behaviour against a scripted server: each row scripts the
// server (or a local fault), runs one engine operation against it and
// checks the outcome: the exact commands the client sent, the boxes, the
// transcript lines, the bytes on disk and, where it makes sense, that the
// session still answers the next command.
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ftp/FtpEngine.h"
#include "ftp/Session.h"
#include "support/RecordingUI.h"
#include "support/ScriptedPeer.h"
#include "support/TempProgramDir.h"
#include "support/TestBytes.h"

// An engine with a recording user interface in a temporary program folder,
// connected to a test server on 127.0.0.1.
struct EngineHarness {
  TempProgramDir dir;
  RecordingUI ui;
  FtpEngine engine{ui, dir.Dir()};

  EngineHarness() {
    // Short waits, so a silent server ends a test quickly.
    engine.RetrieveTimeout = engine.StoreTimeout = 3;
    engine.Sockets1.Timeout = 5;
  }

  // Opens the control connection and reads the greeting; or, given a user,
  // takes the TLS steps and logs in as the window and the batch run do (true
  // when the session is ready; false when a TLS step stopped it).
  bool Connect(int port, const std::string& user = "", const std::string& password = "", const std::string& host = "127.0.0.1") {
    if (!OpenControlConnection(engine, host, std::to_string(port))) return false;
    engine.Connected = true;
    if (!user.empty()) return StartSession(engine, user, password, "") == SessionStart::Ready;
    return ReadGreeting(engine), true;
  }

  // Waits (at most 3 s) until a reply no command awaits has arrived.
  bool AwaitLateReply() {
    for (QDeadlineTimer end(3000); engine.Sockets1.BytesWaiting() <= 0; QThread::msleep(10)) {
      if (end.hasExpired()) return false;
      QCoreApplication::processEvents();
    }
    return true;
  }
};

// Type, PORT and the transfer command answered, as script text; the
// transfer command gets `reply`.
inline std::string Steps(const std::string& type, const std::string& command,
                         const std::string& reply) {
  return "< " + type + " | 200 Type set\n< PORT | 200 PORT ok\n< " + command + " | " + reply + "\n";
}
inline std::string Get(const std::string& reply) { return Steps("TYPE I", "RETR a", reply); }
inline std::string Put(const std::string& reply) { return Steps("TYPE I", "STOR up.bin", reply); }
const std::string kSent = "data connect\ndata recv\ndata close\n";  // the upload taken whole
const std::string k10004 = "Error: 10004\r\nInterrupted system call";  // a wait that timed out or was cut off
const std::string kNoSocket = "Could not extablish data socket, operation canceled";

using RowAction = std::function<void(EngineHarness&, ScriptedPeer&)>;

struct FaultRow {
  std::string name = {};
  std::string greeting = "220 ready";
  std::string script = {};  // ScriptedPeer::Play text after the greeting
  RowAction run = {};    // after connecting and reading the greeting
  RowAction after = {};  // after the run, before the NOOP
  std::vector<std::string> commands = {};  // every command received (see ScriptedPeer::Wire)
  std::vector<std::string> boxes = {};     // texts of the boxes shown, in order
  std::vector<std::string> lines = {};     // transcript lines that must be there (CR ignored)
  std::vector<std::string> absent = {};    // texts no transcript line may contain
  std::optional<std::pair<std::string, std::string>> file = {};  // local file and its bytes
  // Watchdog: a run still going after this many seconds fails the row and
  // is cancelled (the waiting call and the transfer), so the row ends.
  double bound = 5;
  // The session answers a NOOP afterwards ("NOOP" is expected last).
  bool thenNoop = true;
  // The server closed the connection: whether a later send meets a reset
  // first is a race, so only the kind of box is checked (socket errors).
  bool boxesMayVary = false;
  std::vector<std::string> log = {};  // texts the log must hold
  RowAction check = {};  // anything else
};

inline RowAction Retrieving(std::string name = "a", std::string type = "TYPE I") {
  return [=](EngineHarness& h, ScriptedPeer&) { h.engine.Retrieve(name, "a.out", type); };
}
inline RowAction Storing(std::string bytes) {
  return [=](EngineHarness& h, ScriptedPeer&) {
    h.dir.WriteFile("up.bin", bytes);
    h.engine.StoreFile("TYPE I", "up.bin", "up.bin");
  };
}
inline RowAction Listing(std::string dirSep = "0") {
  return [=](EngineHarness& h, ScriptedPeer&) {
    h.engine.DirSep = dirSep;
    h.engine.ListRemote("LIST");
  };
}
// Cancels at the progress calls numbered in `at` (1: the first block).
inline void CancelAtBlocks(EngineHarness& h, std::vector<int> at) {
  h.ui.progressHook = [&h, at, count = 0](int) mutable {
    if (std::find(at.begin(), at.end(), ++count) != at.end()) h.engine.CancelTransfer();
  };
}
// Cancels on the engine's event loop after `ms`, inside whatever call waits;
// the time-outs are long, so only the cancel can end the wait.
inline RowAction CancelAt(int ms, RowAction action) {
  return [=](EngineHarness& h, ScriptedPeer& p) {
    h.engine.RetrieveTimeout = h.engine.StoreTimeout = 30;
    QTimer::singleShot(ms, &h.engine.Sockets1, [&h] { h.engine.CancelTransfer(); });
    action(h, p);
  };
}
inline RowAction AwaitLate() {
  return [](EngineHarness& h, ScriptedPeer&) { EXPECT_TRUE(h.AwaitLateReply()); };
}

inline void RunFaultRow(const FaultRow& row) {
  ScriptedPeer peer;
  peer.Play("> " + row.greeting + "\n" + row.script + (row.thenNoop ? "\n< NOOP | 200 still here" : ""));
  peer.Start();

  EngineHarness h;
  h.engine.Sockets1.Timeout = 2;
  h.engine.RetrieveTimeout = h.engine.StoreTimeout = 1;
  bool hung = false;
  QTimer watchdog;
  QObject::connect(&watchdog, &QTimer::timeout, [&] {
    hung = true;
    h.engine.CancelTransfer();
    if (TSockets::WSAIsBlocking()) TSockets::WSACancelBlockingCall();
  });
  watchdog.start(static_cast<int>(row.bound * 1000));
  ASSERT_TRUE(h.Connect(peer.Port()));
  if (row.run) row.run(h, peer);
  watchdog.stop();
  EXPECT_FALSE(hung) << "the run hung; the watchdog cancelled it after " << row.bound << " s";
  if (row.after) row.after(h, peer);

  if (row.thenNoop) {
    EXPECT_EQ(h.engine.SendCommand("NOOP"), 2) << "the session does not answer afterwards";
    EXPECT_EQ(h.engine.LastReply, "200 still here\r\n");
  }
  peer.Wait(3000);
  std::vector<std::string> commands = row.commands;
  if (row.thenNoop) commands.push_back("NOOP");
  EXPECT_EQ(peer.Wire(), commands);

  std::vector<std::string> boxes;
  for (const auto& b : h.ui.boxes) boxes.push_back(b.text);
  if (!row.boxesMayVary) EXPECT_EQ(boxes, row.boxes);
  else for (const auto& box : boxes) EXPECT_EQ(box.compare(0, 9, "Error: 10"), 0) << box;
  for (const auto& line : row.lines) EXPECT_TRUE(h.ui.HasLine(line)) << "missing line: " << line;
  for (const auto& text : row.absent)
    EXPECT_FALSE(h.ui.HasLineContaining(text)) << "unexpected line with: " << text;
  EXPECT_TRUE(!row.file || h.dir.ReadFile(row.file->first) == row.file->second)
      << "bytes on disk: " << h.dir.ReadFile(row.file->first).size() << ", expected " << row.file->second.size();
  // Nothing is left open or busy.
  EXPECT_FALSE(h.engine.CommandBusy);
  EXPECT_FALSE(h.ui.busy);
  EXPECT_EQ(h.engine.Sockets2.ListeningSocket(), -1);
  EXPECT_EQ(h.engine.Sockets2.ConnectionSocket(), -1);
  for (const auto& text : row.log) EXPECT_NE(h.dir.ReadLog().find(text), std::string::npos) << "the log lacks: " << text;
  if (row.check) row.check(h, peer);
  if (row.thenNoop) { EXPECT_TRUE(peer.Failures().empty()) << peer.Trace(); }
  if (testing::Test::HasFailure()) ADD_FAILURE() << "transcript:\n" << h.ui.TranscriptText();
}

inline std::string PrintRowName(const testing::TestParamInfo<FaultRow>& info) { return info.param.name; }

#define FAULT_GROUP(Group, rowsFunction)                                        \
  class Group : public testing::TestWithParam<FaultRow> {};                     \
  TEST_P(Group, Row) { RunFaultRow(GetParam()); }                               \
  INSTANTIATE_TEST_SUITE_P(Catalogue, Group, testing::ValuesIn(rowsFunction()), \
                           PrintRowName)
