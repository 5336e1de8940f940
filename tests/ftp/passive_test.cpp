// Passive data connections: EPSV, the fall-back to PASV, where the client
// connects, malformed replies, a server that never answers the connect,
// Cancel, the active-mode hint; and pyftpdlib refusing active mode.
#include <gtest/gtest.h>

#include <QTimer>
#include <cstdlib>
#include <functional>

#include "EngineHarness.h"
#include "support/FtpServer.h"
#include "support/ScriptedPeer.h"
#include "support/TestBytes.h"

namespace {

const char* kNoPort = "The server's reply names no usable data port, transfer canceled";
const char* kEpsv = "< EPSV | 229 Entering Extended Passive Mode (|||{port}|)\n";

enum class Action { Get, Put, ListTwice };

struct Row {
  std::string name;
  std::string script;  // after the greeting; the NOOP that follows is added
  Action action = Action::Get;
  std::vector<std::string> commands;  // each received line starts with its entry
  std::vector<std::string> lines;     // texts the transcript must contain
  std::string data = "";              // Get: the local file; Put: what the server received
  bool passive = true;
  int dataTimeout = 2;
  size_t boxes = 0;
  std::function<void(FtpEngine&)> meanwhile = nullptr;
};

std::vector<Row> Rows() {
  std::vector<Row> rows = {
      {"EpsvGet", "< TYPE I | 200 ok\ndata listen\n" + std::string(kEpsv) +
                      "data accept\n< RETR a | 150 Opening (5 bytes)\ndata send hello\n"
                      "data close\n> 226 done",
       Action::Get, {"TYPE I", "EPSV", "RETR a"},
       {"Opening data connection to 127.0.0.1 port "}, "hello"},
      // Refused once, EPSV is not tried again in the session.
      {"EpsvRefusedThenPasvForTheSession",
       "< TYPE A | 200 ok\ndata listen\n< EPSV | 500 EPSV not understood\n"
       "< PASV | 227 Entering Passive Mode (127,0,0,1,{p1},{p2})\ndata accept\n"
       "< LIST | 150 here\ndata send one.txt\\r\\n\ndata close\n> 226 done\n"
       "< TYPE A | 200 ok\ndata listen\n< PASV | 227 Entering Passive Mode (127,0,0,1,{p1},{p2})\n"
       "data accept\n< LIST | 150 here\ndata send two.txt\\r\\n\ndata close\n> 226 done",
       Action::ListTwice, {"TYPE A", "EPSV", "PASV", "LIST", "TYPE A", "PASV", "LIST"},
       {"one.txt", "two.txt"}},
      // The address a 227 names is never connected to: the data arrives at
      // the control connection's peer.
      {"PasvNamingAnotherHostPut",
       "< TYPE I | 200 ok\ndata listen\n< EPSV | 502 not implemented\n"
       "< PASV | 227 Entering Passive Mode (10,9,8,7,{p1},{p2})\ndata accept\n"
       "< STOR up.bin | 150 go ahead\ndata recv\ndata close\n> 226 stored",
       Action::Put, {"TYPE I", "EPSV", "PASV", "STOR up.bin"},
       {"Opening data connection to 127.0.0.1 port ", "Total bytes written to remote host: 3000"},
       Pattern(3000)},
      {"NeverAcceptedGet", "< TYPE I | 200 ok\ndata listen full\n" + std::string(kEpsv),
       Action::Get, {"TYPE I", "EPSV"}, {"was not accepted within 1 seconds, transfer canceled"},
       "", true, 1},
      {"NeverAcceptedPut",
       "< TYPE I | 200 ok\ndata listen full\n" + std::string(kEpsv) +
           "< STOR up.bin | 425 Can't open data connection",
       Action::Put, {"TYPE I", "EPSV", "STOR up.bin"},
       {"was not accepted within 1 seconds, transfer canceled", "Could not store file"}, "", true,
       1},
      {"CancelDuringTheConnect", "< TYPE I | 200 ok\ndata listen full\n" + std::string(kEpsv),
       Action::Get, {"TYPE I", "EPSV"}, {"Data connection canceled"}, "", true, 30, 0,
       [](FtpEngine& e) { QTimer::singleShot(300, [&e] { e.CancelTransfer(); }); }},
      // Active mode whose data connection never comes suggests passive mode.
      {"ActiveTimeoutHint", "< TYPE I | 200 ok\n< PORT | 200 ok\n< RETR a | 150 Opening (5 bytes)",
       Action::Get, {"TYPE I", "PORT", "RETR a"}, {"passive mode (in Setup) may help"}, "", false,
       1, 2},
  };
  for (std::string epsv : {"(|||0|)", "(|||65536|)", "", "(|||x|)", "(|||80)"})
    rows.push_back({"MalformedEpsv" + std::to_string(rows.size()),
                    "< TYPE I | 200 ok\n< EPSV | 229 Entering Extended Passive Mode " + epsv,
                    Action::Get, {"TYPE I", "EPSV"}, {kNoPort}});
  for (std::string pasv : {"(127,0,0,1,0,0)", "", "(127,0,0,1,300,1)", "(127,0,0,1,4)", "(a,b)"})
    rows.push_back({"MalformedPasv" + std::to_string(rows.size()),
                    "< TYPE I | 200 ok\n< EPSV | 500 no\n< PASV | 227 Entering Passive Mode " + pasv,
                    Action::Get, {"TYPE I", "EPSV", "PASV"}, {kNoPort}});
  return rows;
}

void PrintTo(const Row& row, std::ostream* os) { *os << row.name; }

class Passive : public testing::TestWithParam<Row> {};

TEST_P(Passive, Row) {
  const Row& row = GetParam();
  ScriptedPeer peer;
  peer.Play("> 220 ready\n" + row.script + "\n< NOOP | 200 still here");
  peer.Start();
  EngineHarness h;
  h.engine.Passive = row.passive;
  h.engine.RetrieveTimeout = h.engine.StoreTimeout = row.dataTimeout;
  ASSERT_TRUE(h.Connect(peer.Port()));
  h.dir.WriteFile("up.bin", Pattern(3000));

  bool hung = false;  // the watchdog ends a wait that would never end
  QTimer watchdog;
  watchdog.setSingleShot(true);
  QObject::connect(&watchdog, &QTimer::timeout, [&] {
    hung = true;
    TSockets::WSACancelBlockingCall();
  });
  watchdog.start(15000);
  if (row.meanwhile) row.meanwhile(h.engine);
  switch (row.action) {
    case Action::Get: h.engine.Retrieve("a", "a.out", "TYPE I"); break;
    case Action::Put: h.engine.StoreFile("TYPE I", "up.bin", "up.bin"); break;
    case Action::ListTwice: h.engine.ListRemote("LIST"), h.engine.ListRemote("LIST"); break;
  }
  EXPECT_EQ(h.engine.SendCommand("NOOP"), 2) << "the session does not answer afterwards";
  watchdog.stop();
  EXPECT_FALSE(hung);
  peer.Wait(3000);

  std::vector<std::string> commands = peer.Commands();
  std::vector<std::string> expected = row.commands;
  expected.push_back("NOOP");
  ASSERT_EQ(commands.size(), expected.size()) << peer.Trace();
  for (size_t i = 0; i < expected.size(); ++i)
    EXPECT_EQ(commands[i].compare(0, expected[i].size(), expected[i]), 0) << commands[i];
  for (const auto& line : row.lines) EXPECT_TRUE(h.ui.HasLineContaining(line)) << line;
  EXPECT_EQ(row.action == Action::Put ? peer.DataReceived() : h.dir.ReadFile("a.out"), row.data);
  EXPECT_EQ(h.ui.Boxes().size(), row.boxes);
  EXPECT_EQ(h.engine.Sockets2.ConnectionSocket(), -1);
  EXPECT_EQ(h.engine.Sockets2.ListeningSocket(), -1);
  EXPECT_TRUE(peer.Failures().empty()) << peer.Trace();
}

INSTANTIATE_TEST_SUITE_P(Rows, Passive, testing::ValuesIn(Rows()),
                         [](const auto& info) { return info.param.name; });

// pyftpdlib on 127.0.0.1 refusing active mode, and on ::1 (named in
// brackets) in both modes: put, listing and get keep every byte.
TEST(PassiveRealServer, PutListGet) {
  for (std::string host : {"127.0.0.1", "::1"}) {
    SCOPED_TRACE(host);
    const bool v6 = host == "::1";
    ::setenv("TARNEX_FTPD_HOST", host.c_str(), 1);
    ::setenv("TARNEX_FTPD_NO_ACTIVE", v6 ? "" : "1", 1);
    FtpServer server;
    EngineHarness h;
    ASSERT_TRUE(OpenControlConnection(h.engine, v6 ? "[::1]" : host, std::to_string(server.Port())));
    h.engine.Connected = true;
    ShowConnectionAddresses(h.engine);
    ReadGreeting(h.engine);
    Login(h.engine, server.User(), server.Password(), "");
    const std::string data = Pattern(200000);
    h.dir.WriteFile("up.bin", data);
    for (bool passive : {true, false}) {
      h.engine.Passive = passive;
      h.dir.WriteFile("back.bin", "");
      const bool refused = !passive && !v6;  // a get is refused at once, as checked below
      if (!refused) h.engine.StoreFile("TYPE I", "up.bin", "up.bin");
      if (!refused) h.engine.ListRemote("LIST");
      h.engine.Retrieve("up.bin", "back.bin", "TYPE I");
      if (refused) break;
      EXPECT_EQ(server.ReadFile("up.bin"), data) << passive;
      EXPECT_EQ(h.dir.ReadFile("back.bin"), data) << passive;
      EXPECT_TRUE(h.ui.HasLineContaining(" 200000 ")) << passive;  // the listing
    }
    EXPECT_TRUE(h.ui.HasLineContaining("Opening data connection to " + host + " port "));
    for (std::string line : v6 ? std::vector<std::string>{"IP: ::1 connected", "EPRT |2|::1|"}
                               : std::vector<std::string>{"500 Active mode refused"})
      EXPECT_TRUE(h.ui.HasLineContaining(line)) << line;
    EXPECT_TRUE(h.ui.Boxes().empty());
  }
  ::unsetenv("TARNEX_FTPD_HOST");
  ::unsetenv("TARNEX_FTPD_NO_ACTIVE");
}

}  // namespace
