// Fault catalogue, error replies: 421 at every step of login, listing,
// retrieval and store; each transfer step refused with 4xx and 5xx.
#include "FaultCatalogue.h"

namespace {

const std::string k421 = "421 Service not available, closing control connection\r\n";

struct Operation {
  std::string name;
  std::vector<std::string> commands;  // type, PORT, transfer command
  std::vector<std::string> replies;   // their good replies
  std::function<void(ScriptedPeer&)> data;  // the data phase
  std::string final;
  std::function<void(EngineHarness&)> run;
};

std::vector<Operation> Operations() {
  return {
      {"List", {"TYPE A", "PORT", "LIST"}, {"200 ok\r\n", "200 ok\r\n", "150 Here comes the listing\r\n"},
       [](ScriptedPeer& p) { p.DataConnect().DataSend("a.txt\r\nb.txt\r\n").DataClose(); },
       "226 Directory send OK\r\n",
       [](EngineHarness& h) {
         h.engine.DirSep = "0";
         h.engine.ListRemote("LIST");
       }},
      {"Retrieve", {"TYPE I", "PORT", "RETR a"}, {"200 ok\r\n", "200 ok\r\n", "150 Opening (5 bytes)\r\n"},
       [](ScriptedPeer& p) { p.DataConnect().DataSend("hello").DataClose(); },
       "226 Transfer complete\r\n",
       [](EngineHarness& h) { h.engine.Retrieve("a", "a.out", "TYPE I"); }},
      {"Store", {"TYPE I", "PORT", "STOR up.bin"}, {"200 ok\r\n", "200 ok\r\n", "150 Ok to send data\r\n"},
       [](ScriptedPeer& p) { p.DataConnect().DataReceiveAll().DataClose(); },
       "226 Transfer complete\r\n",
       [](EngineHarness& h) {
         h.dir.WriteFile("up.bin", "hello world");
         h.engine.StoreFile("TYPE I", "up.bin", "up.bin");
       }},
  };
}

const char* kStepNames[] = {"Type", "Port", "Command", "FinalReply"};

std::vector<FaultRow> Rows() {
  std::vector<FaultRow> rows;

  // 421 during login: the server closes after it; nothing more is sent.
  rows.push_back({.name = "Login421Greeting",
                  .greeting = "421 Too many users\r\n",
                  .script = [](ScriptedPeer& p) { p.Close(); },
                  .run = [](EngineHarness& h, ScriptedPeer&) {
                    EXPECT_EQ(h.engine.LastReply, "421 Too many users\r\n");
                  },
                  .lines = {"421 Too many users"},
                  .thenNoop = false});
  const std::vector<std::string> login = {"USER u", "PASS p", "ACCT a"};
  const std::vector<std::string> loginReplies = {"331 password\r\n", "332 account\r\n"};
  for (size_t k = 0; k < login.size(); ++k) {
    rows.push_back({.name = "Login421At" + login[k].substr(0, 4),
                    .script = [=](ScriptedPeer& p) {
                      for (size_t i = 0; i < k; ++i) p.Reply(login[i], loginReplies[i]);
                      p.Expect(login[k]).CloseAfter(k421);
                    },
                    .run = [](EngineHarness& h, ScriptedPeer&) { Login(h.engine, "u", "p", "a"); },
                    .commands = std::vector<std::string>(login.begin(), login.begin() + k + 1),
                    .lines = {k421.substr(0, k421.size() - 2)},
                    .thenNoop = false,
                    .boxesMayVary = true});
  }

  // 421 at every step of a transfer, the server closing after it.
  for (const Operation& op : Operations()) {
    for (size_t k = 0; k < 4; ++k) {
      FaultRow row{.name = op.name + "421At" + kStepNames[k]};
      row.script = [op, k](ScriptedPeer& p) {
        for (size_t i = 0; i < 3 && i < k; ++i) p.Reply(op.commands[i], op.replies[i]);
        if (k < 3) {
          p.Expect(op.commands[k]).CloseAfter(k421);
        } else {
          op.data(p);
          p.CloseAfter(k421);
        }
      };
      row.run = [op](EngineHarness& h, ScriptedPeer&) { op.run(h); };
      row.commands.assign(op.commands.begin(), op.commands.begin() + std::min<size_t>(k + 1, 3));
      row.lines = {k421.substr(0, k421.size() - 2)};
      row.thenNoop = false;
      row.boxesMayVary = true;
      if (op.name == "Retrieve" && k == 3) row.file = std::make_pair("a.out", "hello");
      if (op.name == "Store" && k == 3)
        row.check = [](EngineHarness&, ScriptedPeer& p) { EXPECT_EQ(p.DataReceived(), "hello world"); };
      rows.push_back(row);
    }
  }

  // Refusals with the connection kept. A retrieval or listing ends at a 5
  // for its type or PORT command and at a 4 or 5 for RETR or LIST.
  auto retrieve = [](EngineHarness& h, ScriptedPeer&) { h.engine.Retrieve("a", "a.out", "TYPE I"); };
  auto list = [](EngineHarness& h, ScriptedPeer&) {
    h.engine.DirSep = "0";
    h.engine.ListRemote("LIST");
  };
  rows.push_back({.name = "RetrieveType504",
                  .script = [](ScriptedPeer& p) { p.Reply("TYPE I", "504 Type not implemented\r\n"); },
                  .run = retrieve, .commands = {"TYPE I"},
                  .file = std::make_pair("a.out", "")});
  rows.push_back({.name = "RetrieveType451GoesOn",
                  .script = [](ScriptedPeer& p) {
                    RetrSteps(p, "a", "550 No such file\r\n");
                  },
                  .run = [](EngineHarness& h, ScriptedPeer& p) {
                    (void)p;
                    h.engine.Retrieve("a", "a.out", "TYPE I");
                  },
                  .commands = {"TYPE I", "PORT", "RETR a"},
                  .lines = {"Could not retrieve file"}});
  rows.back().script = [](ScriptedPeer& p) {
    p.Reply("TYPE I", "451 Local error\r\n").Reply("PORT", "200 ok\r\n").Reply("RETR a", "550 No such file\r\n");
  };
  rows.push_back({.name = "RetrievePort501",
                  .script = [](ScriptedPeer& p) {
                    p.Reply("TYPE I", "200 ok\r\n").Reply("PORT", "501 Illegal PORT command\r\n");
                  },
                  .run = retrieve, .commands = {"TYPE I", "PORT"}});
  rows.push_back({.name = "RetrievePort425GoesOn",
                  .script = [](ScriptedPeer& p) {
                    p.Reply("TYPE I", "200 ok\r\n").Reply("PORT", "425 Cannot open\r\n")
                        .Reply("RETR a", "425 Use PORT first\r\n");
                  },
                  .run = retrieve, .commands = {"TYPE I", "PORT", "RETR a"},
                  .lines = {"Could not retrieve file"}});
  for (const char* reply : {"450 File busy\r\n", "550 No such file\r\n"}) {
    rows.push_back({.name = std::string("RetrieveRetr") + std::string(reply, 3),
                    .script = [reply](ScriptedPeer& p) { RetrSteps(p, "a", reply); },
                    .run = retrieve, .commands = {"TYPE I", "PORT", "RETR a"},
                    .lines = {"Could not retrieve file"},
                    .file = std::make_pair("a.out", "")});
    rows.push_back({.name = std::string("ListList") + std::string(reply, 3),
                    .script = [reply](ScriptedPeer& p) {
                      p.Reply("TYPE A", "200 ok\r\n").Reply("PORT", "200 ok\r\n").Reply("LIST", reply);
                    },
                    .run = list, .commands = {"TYPE A", "PORT", "LIST"},
                    .lines = {"Could not list directory"}});
  }
  rows.push_back({.name = "ListType504",
                  .script = [](ScriptedPeer& p) { p.Reply("TYPE A", "504 no\r\n"); },
                  .run = list, .commands = {"TYPE A"}});
  rows.push_back({.name = "ListPort500",
                  .script = [](ScriptedPeer& p) {
                    p.Reply("TYPE A", "200 ok\r\n").Reply("PORT", "500 no\r\n");
                  },
                  .run = list, .commands = {"TYPE A", "PORT"}});

  // A store goes on whatever its type and PORT commands get; the final reply
  // tells. A refused STOR brings no data connection, so the store ends at
  // once instead of waiting for one until the time-out.
  auto store = [](EngineHarness& h, ScriptedPeer&) {
    h.dir.WriteFile("up.bin", "hello world");
    h.engine.StoreFile("TYPE I", "up.bin", "up.bin");
  };
  rows.push_back({.name = "StoreType504GoesOn",
                  .script = [](ScriptedPeer& p) {
                    p.Reply("TYPE I", "504 no\r\n").Reply("PORT", "200 ok\r\n")
                        .Reply("STOR up.bin", "150 ok\r\n").DataConnect().DataReceiveAll().DataClose()
                        .Send("226 done\r\n");
                  },
                  .run = store, .commands = {"TYPE I", "PORT", "STOR up.bin"},
                  .lines = {"Total bytes written to remote host: 11", "226 done"},
                  .check = [](EngineHarness&, ScriptedPeer& p) { EXPECT_EQ(p.DataReceived(), "hello world"); }});
  for (auto [name, port, stor] : std::vector<std::tuple<std::string, std::string, std::string>>{
           {"StorePort501", "501 no\r\n", "425 Use PORT first\r\n"},
           {"StoreStor553", "200 ok\r\n", "553 Not allowed\r\n"},
           {"StoreStor452", "200 ok\r\n", "452 No space\r\n"}}) {
    rows.push_back({.name = name,
                    .script = [port, stor](ScriptedPeer& p) {
                      p.Reply("TYPE I", "200 ok\r\n").Reply("PORT", port).Reply("STOR up.bin", stor);
                    },
                    .run = store, .commands = {"TYPE I", "PORT", "STOR up.bin"},
                    .lines = {"Could not store file"},
                    .absent = {"Total bytes written", "Transfer aborted"}});
  }

  rows.push_back({.name = "Retr550ThenAListingThatWorks",
                  .script = [](ScriptedPeer& p) {
                    RetrSteps(p, "gone", "550 No such file\r\n")
                        .Reply("TYPE A", "200 ok\r\n").Reply("PORT", "200 ok\r\n")
                        .Reply("LIST", "150 listing\r\n").DataConnect().DataSend("x\r\ny\r\n")
                        .DataClose().Send("226 done\r\n");
                  },
                  .run = [](EngineHarness& h, ScriptedPeer&) {
                    h.engine.Retrieve("gone", "gone.out", "TYPE I");
                    h.engine.DirSep = "0";
                    h.engine.ListRemote("LIST");
                  },
                  .commands = {"TYPE I", "PORT", "RETR gone", "TYPE A", "PORT", "LIST"},
                  .lines = {"Could not retrieve file", "x", "y", "226 done"}});
  return rows;
}

FAULT_GROUP(ErrorReplies, Rows);

}  // namespace
