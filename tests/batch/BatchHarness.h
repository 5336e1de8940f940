#pragma once
// A batch run in process: an engine with a recording user interface in a
// temporary program folder (also the current directory, where the local
// files are made), and the scripted peer's side of the exchanges a batch
// run makes.
#include <initializer_list>
#include <string>
#include <vector>

#include "batch/BatchUpload.h"
#include "ftp/EngineHarness.h"
#include "support/ScriptedPeer.h"

// The log's lines without their time stamps ("date time text").
inline std::vector<std::string> LogLinesOf(const TempProgramDir& dir) {
  std::vector<std::string> lines;
  std::string log = dir.ReadLog();
  size_t start = 0;
  while (start < log.size()) {
    size_t end = log.find("\r\n", start);
    if (end == std::string::npos) end = log.size();
    std::string line = log.substr(start, end - start);
    size_t blank = line.find(' ', line.find(' ') + 1);
    lines.push_back(blank == std::string::npos ? line : line.substr(blank + 1));
    start = end + 2;
  }
  return lines;
}

struct BatchHarness : EngineHarness {
  BatchRun run;

  explicit BatchHarness(int port) {
    run.host = "127.0.0.1";
    run.port = std::to_string(port);
    run.user = "u";
    run.password = "p";
    run.typeCommand = "TYPE I";
  }

  BatchResult Run(const std::vector<std::string>& names) {
    run.names = names;
    return BatchUpload(engine, run);
  }

  std::vector<std::string> LogLines() const { return LogLinesOf(dir); }
};

// Greeting and login as u/p.
inline ScriptedPeer& LoginScript(ScriptedPeer& peer) {
  return peer.Send("220 ready\r\n").Reply("USER u", "331 password\r\n").Reply("PASS p", "230 in\r\n");
}

// One store of a file under its remote name.
inline ScriptedPeer& StoreScript(ScriptedPeer& peer, const std::string& remoteName,
                                 const std::string& type = "TYPE I") {
  return peer.Reply(type, "200 ok\r\n")
      .Reply("PORT", "200 ok\r\n")
      .Reply("STOR " + remoteName, "150 Ok to send data.\r\n")
      .DataConnect()
      .DataReceiveAll()
      .DataClose()
      .Send("226 Transfer complete.\r\n");
}

// The commands a store sends, for comparing whole sequences.
inline std::vector<std::string> StoreCommands(const std::string& remoteName,
                                              const std::string& type = "TYPE I") {
  return {type, "PORT", "STOR " + remoteName};
}

// The commands the peer received, each PORT without its numbers.
inline std::vector<std::string> Received(const ScriptedPeer& peer) {
  std::vector<std::string> commands = peer.Commands();
  for (std::string& c : commands)
    if (c.compare(0, 5, "PORT ") == 0) c = "PORT";
  return commands;
}

// Joins command lists: Seq({"USER u"}, StoreCommands("a"), {"CDUP"}).
inline std::vector<std::string> Seq(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}
