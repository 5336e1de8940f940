// Batch runs that can be trusted: each row a server script, the local files
// and names, and the exact outcome (commands, log lines, result, no box).
#include <gtest/gtest.h>

#include <QProcess>
#include <filesystem>

#include "BatchHarness.h"
#include "support/FtpServer.h"

namespace {

const char* kLogin = "> 220 ready\n< USER | 331 password\n< PASS | 230 in\n";
const char* kStoreA = "< PORT | 200 ok\n< STOR a | 150 go\ndata connect\ndata recv\ndata close\n";
const std::string kLong(300, 'n');  // longer than a file name may be

struct Row {
  const char* name;
  std::string script;                 // after the login; empty: nothing listens
  std::vector<std::string> names;     // files are made with 5 bytes each
  std::string type = "TYPE I";
  bool flat = false;                  // Include directories on, Sub-Directories off
  std::string ini;
  BatchResult result;
  std::vector<std::string> commands;  // after USER and PASS
  std::vector<std::string> log;       // from the first line after login
};

const std::vector<Row> kRows = {
    {"verified, FEAT once", std::string("< TYPE I | 200 ok\n") + kStoreA + "> 226 done\n"
         "< FEAT | 211-Features:\\r\\n MDTM\\r\\n SIZE\\r\\n211 End\n< SIZE a | 213 5\n"
         "< TYPE I | 200 ok\n< PORT | 200 ok\n< STOR b | 150 go\ndata connect\ndata recv\n"
         "data close\n> 226 done\n< SIZE b | 213 5\n",
     {"a", "b"}, "TYPE I", false, "", BatchResult::Finished,
     {"TYPE I", "PORT", "STOR a", "FEAT", "SIZE a", "TYPE I", "PORT", "STOR b", "SIZE b"},
     {"Putfile a", "Total bytes written to remote host :5", "Putfile b",
      "Total bytes written to remote host :5", "Stored 2 of 2 files"}},
    {"truncated store", std::string("< TYPE I | 200 ok\n") + kStoreA +
         "> 226 done\n< FEAT | 211-Features:\\r\\n SIZE\\r\\n211 End\n< SIZE a | 213 3\n",
     {"a"}, "TYPE I", false, "", BatchResult::NotAllStored,
     {"TYPE I", "PORT", "STOR a", "FEAT", "SIZE a"},
     {"Putfile a", "Total bytes written to remote host :5",
      "Not stored a: incomplete, the server has 3 of 5 bytes", "Stored 0 of 1 files"}},
    {"size check off", std::string("< TYPE I | 200 ok\n") + kStoreA + "> 226 done\n", {"a"},
     "TYPE I", false, "[options]\r\nVerifyUploads=0\r\n", BatchResult::Finished,
     {"TYPE I", "PORT", "STOR a"},
     {"Putfile a", "Total bytes written to remote host :5", "Stored 1 of 1 files"}},
    {"final reply refused; no SIZE offered", std::string("< TYPE I | 200 ok\n") + kStoreA +
         "> 451 disk full\n< TYPE I | 200 ok\n< PORT | 200 ok\n< STOR b | 150 go\n"
         "data connect\ndata recv\ndata close\n> 226 done\n< FEAT | 500 what\n",
     {"a", "b"}, "TYPE I", false, "", BatchResult::NotAllStored,
     {"TYPE I", "PORT", "STOR a", "TYPE I", "PORT", "STOR b", "FEAT"},
     {"Putfile a", "Total bytes written to remote host :5", "Not stored a: refused", "Putfile b",
      "Total bytes written to remote host :5", "Stored 1 of 2 files"}},
    {"STOR refused", "< TYPE A | 200 ok\n< PORT | 200 ok\n< STOR a | 553 no\n", {"a"}, "TYPE A",
     false, "", BatchResult::NotAllStored, {"TYPE A", "PORT", "STOR a"},
     {"Putfile a", "Could not store file a", "Stored 0 of 1 files"}},
    {"refused CWD passes the folder over", "< MKD D | 550 no\n< CWD D | 550 no\n< MKD E | 257 "
         "made\n< CWD E | 250 in\n< TYPE A | 200 ok\n< PORT | 200 ok\n< STOR f | 150 go\n"
         "data connect\ndata recv\ndata close\n> 226 done\n",
     {"D", "E"}, "TYPE A", true, "", BatchResult::NotAllStored,
     {"MKD D", "CWD D", "MKD E", "CWD E", "TYPE A", "PORT", "STOR f"},
     {"MakeDirectory D", "ChangeDirectory D", "Passed over directory D", "MakeDirectory E",
      "ChangeDirectory E", "Putfile f", "Total bytes written to remote host :5",
      "Stored 1 of 2 files"}},
    {"name with a line feed, path too long", "", {"x\ny", kLong}, "TYPE I", false, "",
     BatchResult::NotAllStored, {},
     {"Putfile x\\ny", "Not stored x\\ny: its name holds a line break",
      "Not stored " + kLong + ": path too long", "Stored 0 of 2 files"}},
    {"reset after the first file", std::string("< TYPE A | 200 ok\n") + kStoreA +
         "> 226 done\nreset\n",
     {"a", "b"}, "TYPE A", false, "", BatchResult::ConnectionLost, {"TYPE A", "PORT", "STOR a"},
     {"Putfile a", "Total bytes written to remote host :5", "Putfile b", "Connection Failed"}},
    {"silent server", "< TYPE A\npause 3000\n", {"a", "b"}, "TYPE A", false, "",
     BatchResult::ConnectionLost, {"TYPE A"},
     {"Putfile a", "Connection Failed: Error 10060 Blocking call timed out"}},
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

class Trust : public ::testing::TestWithParam<Row> {};

TEST_P(Trust, Run) {
  const Row& row = GetParam();
  ScriptedPeer peer;
  peer.Play(kLogin + row.script);
  peer.Start();
  BatchHarness h(peer.Port());
  h.engine.Sockets1.Timeout = 1;
  h.run.typeCommand = row.type;
  h.run.includeDirs = row.flat;
  h.dir.WriteIni(row.ini);
  h.dir.WriteFile("D/f", "hello");
  h.dir.WriteFile("E/f", "hello");
  for (const std::string& name : row.names)
    if (name != "D" && name != "E" && name != kLong) h.dir.WriteFile(name, "hello");
  EXPECT_EQ(h.Run(row.names), row.result);
  EXPECT_TRUE(h.ui.Boxes().empty()) << h.ui.Boxes()[0].text;
  std::vector<std::string> log = h.LogLines();
  // A reset may be seen on the send or on the read: its reason varies.
  if (row.log.back() == "Connection Failed" && log.back().rfind("Connection Failed", 0) == 0)
    log.back() = "Connection Failed";
  const auto login = std::find(log.begin(), log.end(), "Connected to 127.0.0.1 as u");
  ASSERT_NE(login, log.end());
  EXPECT_EQ(std::vector<std::string>(login + 1, log.end()), row.log);
  std::vector<std::string> sent = Received(peer);
  ASSERT_GE(sent.size(), 2u);
  EXPECT_EQ(std::vector<std::string>(sent.begin() + 2, sent.end()), row.commands);
}

INSTANTIATE_TEST_SUITE_P(Rows, Trust, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return "r" + std::to_string(info.index); });

// The built program: relative names from the start folder, and its exit code.
TEST(TrustProgram, ExitCodesAndRelativeNames) {
  struct ProgramRow {
    const char* name;
    bool serverUp;
    QStringList args;
    int exitCode;
  } rows[] = {{"stored", true, {"a.txt"}, 0},
              {"one not stored", true, {"a.txt", QString::fromStdString(kLong)}, 3},
              {"cannot connect", false, {"a.txt"}, 2}};
  for (const ProgramRow& row : rows) {
    SCOPED_TRACE(row.name);
    FtpServer server;
    TempProgramDir dir;
    std::filesystem::copy_file(TARNEX_PROGRAM, dir.FilePath("tarnex"));
    dir.WriteFile("start/a.txt", "from the start folder");
    dir.WriteFile("profile/a.txt", "from the profile folder");
    dir.WriteIni("[LastUsed]\r\nNAME=P\r\n[P]\r\nHostName=127.0.0.1\r\nPort=" +
                 std::to_string(row.serverUp ? server.Port() : 1) + "\r\nUserName=" +
                 server.User() + "\r\nPassword=" + server.Password() + "\r\nLocaldir=" +
                 dir.Dir() + "profile\r\nTransferType=2\r\nUseLogFile=1\r\n[Fixed]\r\nOK=1\r\n");
    QProcess program;
    program.setWorkingDirectory(QString::fromStdString(dir.Dir() + "start"));
    program.start(QString::fromStdString(dir.FilePath("tarnex")), row.args);
    ASSERT_TRUE(program.waitForFinished(60000)) << "the run did not end";
    EXPECT_EQ(program.exitCode(), row.exitCode);
    std::vector<std::string> log = LogLinesOf(dir);
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log.back(), "Finished sending files");
    if (row.serverUp) {
      EXPECT_EQ(server.ReadFile("a.txt"), "from the start folder");
      EXPECT_EQ(log[log.size() - 2], row.exitCode ? "Stored 1 of 2 files" : "Stored 1 of 1 files");
    }
  }
}

}  // namespace
