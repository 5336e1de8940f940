#pragma once
// An engine with a recording user interface in a temporary program folder,
// connected to a test server on 127.0.0.1; and the server exchanges the
// engine's tests share.
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QThread>

#include <chrono>
#include <string>
#include <vector>

#include "ftp/FtpEngine.h"
#include "ftp/Session.h"
#include "support/RecordingUI.h"
#include "support/ScriptedPeer.h"
#include "support/TempProgramDir.h"
#include "support/TestBytes.h"

struct EngineHarness {
  TempProgramDir dir;
  RecordingUI ui;
  FtpEngine engine{ui, dir.Dir()};

  EngineHarness() {
    // Short waits, so a silent server ends a test quickly.
    engine.RetrieveTimeout = 3;
    engine.StoreTimeout = 3;
    engine.Sockets1.Timeout = 5;
  }

  // Opens the control connection and reads the greeting.
  bool Connect(int port) {
    if (!OpenControlConnection(engine, "127.0.0.1", std::to_string(port))) return false;
    engine.Connected = true;
    ReadGreeting(engine);
    return true;
  }

  // Waits (at most 3 s) until a reply no command awaits has arrived.
  bool AwaitLateReply() {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (engine.Sockets1.BytesWaiting() <= 0) {
      if (std::chrono::steady_clock::now() > end) return false;
      QCoreApplication::processEvents();
      QThread::msleep(10);
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
inline std::string Get(const std::string& reply, const std::string& name = "a") {
  return Steps("TYPE I", "RETR " + name, reply);
}
inline std::string Put(const std::string& reply) { return Steps("TYPE I", "STOR up.bin", reply); }

// The commands received, line by line; "PORT" stands for any PORT line.
inline void ExpectCommands(const std::vector<std::string>& actual,
                           const std::vector<std::string>& expected) {
  bool same = actual.size() == expected.size();
  for (size_t i = 0; same && i < actual.size(); ++i)
    same = expected[i] == "PORT" ? actual[i].compare(0, 5, "PORT ") == 0 : actual[i] == expected[i];
  std::string shown;
  for (const auto& c : actual) shown += "  " + c + "\n";
  EXPECT_TRUE(same) << "commands received:\n" << shown;
}
