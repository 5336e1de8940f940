#pragma once
// An engine with a recording user interface in a temporary program folder,
// connected to a test server on 127.0.0.1.
#include <string>

#include "ftp/FtpEngine.h"
#include "ftp/Session.h"
#include "support/RecordingUI.h"
#include "support/TempProgramDir.h"

struct EngineHarness {
  TempProgramDir dir;
  RecordingUI ui;
  FtpEngine engine{ui, dir.Dir()};

  EngineHarness() {
    // Short waits, so a test of a silent server ends quickly.
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
};
