// The batch run's steps for each kind of command-line name, against the
// scripted peer: login, the profile's directory, the initialize command,
// files, directories passed over, and the files of a directory.
#include <gtest/gtest.h>

#include <algorithm>

#include "BatchHarness.h"

namespace {

const std::vector<std::string> kLogin = {"USER u", "PASS p"};

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(BatchUpload, OneFileStoredUnderItsNamePartLowerCasedByOption) {
  for (bool lower : {false, true}) {
    SCOPED_TRACE(lower ? "UseLowerCase on" : "UseLowerCase off");
    const std::string remote = lower ? "report.txt" : "Report.TXT";
    ScriptedPeer peer;
    StoreScript(LoginScript(peer), remote);
    peer.Start();
    BatchHarness h(peer.Port());
    h.dir.WriteFile("sub/Report.TXT", "twelve bytes");
    h.run.useLowerCase = lower;
    EXPECT_EQ(h.Run({h.dir.Dir() + "sub/Report.TXT"}), BatchResult::Finished);
    EXPECT_TRUE(peer.Wait());
    EXPECT_EQ(Received(peer), Seq({kLogin, StoreCommands(remote)}));
    EXPECT_EQ(peer.DataReceived(), "twelve bytes");
    std::vector<std::string> log = h.LogLines();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[0], "Connected to 127.0.0.1 as u");
    EXPECT_EQ(log[1], "Putfile Report.TXT");  // the name as spelled on disk
    EXPECT_TRUE(h.ui.Boxes().empty());
    EXPECT_TRUE(peer.Failures().empty()) << peer.Trace();
  }
}

TEST(BatchUpload, MissingNamesAndDirectoriesWithoutIncludeDirsArePassedOverSilently) {
  ScriptedPeer peer;
  LoginScript(peer);
  StoreScript(peer, "a.txt");
  StoreScript(peer, "b.txt");
  peer.Start();
  BatchHarness h(peer.Port());
  h.dir.WriteFile("a.txt", "A");
  h.dir.WriteFile("Folder/inner.txt", "I");
  h.dir.WriteFile("b.txt", "B");
  h.run.includeDirs = false;
  h.run.includeSubDirs = true;
  EXPECT_EQ(h.Run({"a.txt", "Folder", "gone.txt", "b.txt"}), BatchResult::Finished);
  EXPECT_TRUE(peer.Wait());
  EXPECT_EQ(Received(peer), Seq({kLogin, StoreCommands("a.txt"), StoreCommands("b.txt")}));
  EXPECT_EQ(peer.DataConnections(), (std::vector<std::string>{"A", "B"}));
  EXPECT_TRUE(h.ui.Boxes().empty());
  EXPECT_TRUE(peer.Failures().empty()) << peer.Trace();
}

TEST(BatchUpload, FilesOfDirectoriesOnlyAndTheSecondLandsInsideTheFirst) {
  ScriptedPeer peer;
  LoginScript(peer);
  peer.Reply("MKD A", "257 made\r\n").Reply("CWD A", "250 ok\r\n");
  StoreScript(peer, "a1");
  peer.Reply("MKD B", "257 made\r\n").Reply("CWD B", "250 ok\r\n");
  StoreScript(peer, "b1");
  peer.Start();
  BatchHarness h(peer.Port());
  h.dir.WriteFile("A/a1", "1");
  h.dir.WriteFile("A/.hidden", "not sent");       // hidden files are left out here
  h.dir.WriteFile("A/Sub/deep", "not sent");      // and so are sub-directories
  h.dir.WriteFile("B/b1", "2");
  h.run.includeDirs = true;
  h.run.includeSubDirs = false;
  EXPECT_EQ(h.Run({"A", "B"}), BatchResult::Finished);
  EXPECT_TRUE(peer.Wait());
  // Nothing returns from A, so B is made inside it.
  EXPECT_EQ(Received(peer), Seq({kLogin, {"MKD A", "CWD A"}, StoreCommands("a1"),
                                 {"MKD B", "CWD B"}, StoreCommands("b1")}));
  std::vector<std::string> log = h.LogLines();
  EXPECT_TRUE(Contains(log, "MakeDirectory A"));
  EXPECT_TRUE(Contains(log, "ChangeDirectory B"));
  EXPECT_TRUE(Contains(log, "Putfile a1"));
  EXPECT_TRUE(peer.Failures().empty()) << peer.Trace();
}

TEST(BatchUpload, TreesSideBySideEachEndingWhereItStarted) {
  ScriptedPeer peer;
  LoginScript(peer);
  for (std::string top : {"T1", "T2"}) {
    peer.Reply("PWD", "257 \"/\"\r\n").Reply("MKD " + top, "257 made\r\n");
    peer.Reply("CWD " + top, "250 ok\r\n");
    StoreScript(peer, "f" + top.substr(1));
    peer.Reply("CDUP", "250 ok\r\n");
  }
  peer.Start();
  BatchHarness h(peer.Port());
  h.dir.WriteFile("T1/f1", "one");
  h.dir.WriteFile("T2/f2", "two");
  h.run.includeDirs = true;
  h.run.includeSubDirs = true;
  EXPECT_EQ(h.Run({"T1", h.dir.Dir() + "T2/"}), BatchResult::Finished);
  EXPECT_TRUE(peer.Wait());
  // No CWD with an empty argument after a tree: its own CDUP brought the
  // remote side back.
  EXPECT_EQ(Received(peer),
            Seq({kLogin, {"PWD", "MKD T1", "CWD T1"}, StoreCommands("f1"), {"CDUP"},
                 {"PWD", "MKD T2", "CWD T2"}, StoreCommands("f2"), {"CDUP"}}));
  std::vector<std::string> log = h.LogLines();
  const std::vector<std::string> firstTree = {"PWD", "MakeDirectory T1", "ChangeDirectory T1",
                                              "Putfile f1"};
  ASSERT_GE(log.size(), 6u);
  EXPECT_EQ(std::vector<std::string>(log.begin() + 1, log.begin() + 5), firstTree);
  EXPECT_TRUE(peer.Failures().empty()) << peer.Trace();
}

TEST(BatchUpload, ProfileDirectoryLowerCasedWithExactlyOneCwdAndInitializeCommand) {
  struct Case {
    std::string init;
    std::vector<std::string> expected;
  };
  for (const Case& c : {Case{"", Seq({kLogin, {"CWD incoming"}})},
                        Case{"SITE UMASK 022", Seq({kLogin, {"CWD incoming", "SITE UMASK 022"}})}}) {
    SCOPED_TRACE("initialize command '" + c.init + "'");
    ScriptedPeer peer;
    LoginScript(peer).Reply("CWD incoming", "250 ok\r\n");
    if (!c.init.empty()) peer.Reply("SITE", "200 ok\r\n");
    peer.Start();
    BatchHarness h(peer.Port());
    h.run.directory = "InComing";
    h.run.useLowerCase = true;
    h.run.initializeCommand = c.init;
    EXPECT_EQ(h.Run({"no-such-file"}), BatchResult::Finished);
    EXPECT_TRUE(peer.Wait());
    // Nothing more arrives afterwards: no second CWD, no empty command.
    EXPECT_FALSE(peer.WaitForCommands(c.expected.size() + 1, 300));
    EXPECT_EQ(Received(peer), c.expected);
    EXPECT_TRUE(peer.Failures().empty()) << peer.Trace();
  }
}

TEST(BatchUpload, MissingProfileDirectoryAnsweredYesIsMadeAndEnteredNoSendsNothing) {
  for (BoxAnswer answer : {BoxAnswer::Yes, BoxAnswer::No}) {
    const bool yes = answer == BoxAnswer::Yes;
    SCOPED_TRACE(yes ? "Yes" : "No");
    ScriptedPeer peer;
    LoginScript(peer).Reply("CWD updates", "550 No such directory.\r\n");
    if (yes) peer.Reply("MKD updates", "257 made\r\n").Reply("CWD updates", "250 ok\r\n");
    StoreScript(peer, "f.txt");
    peer.Start();
    BatchHarness h(peer.Port());
    h.dir.WriteFile("F.txt", "x");
    h.run.directory = "Updates";
    h.run.useLowerCase = true;
    h.ui.Answer(answer);
    EXPECT_EQ(h.Run({"F.txt"}), BatchResult::Finished);
    EXPECT_TRUE(peer.Wait());
    ASSERT_EQ(h.ui.Boxes().size(), 1u);
    EXPECT_EQ(h.ui.Boxes()[0].text, "Directory: Updates Doesn't Exists, Create?");
    EXPECT_EQ(h.ui.Boxes()[0].buttons, BoxYes | BoxNo);
    std::vector<std::string> expected = Seq({kLogin, {"CWD updates"}});
    if (yes) expected = Seq({expected, {"MKD updates", "CWD updates"}});
    EXPECT_EQ(Received(peer), Seq({expected, StoreCommands("f.txt")}));
    std::vector<std::string> log = h.LogLines();
    EXPECT_TRUE(Contains(log, "error Changing Directory"));
    EXPECT_EQ(Contains(log, "Make Directory updates"), yes);
    EXPECT_TRUE(peer.Failures().empty()) << peer.Trace();
  }
}

TEST(BatchUpload, RefusedLoginEndsTheProgramWithCodeOneBeforeAnyUpload) {
  ScriptedPeer peer;
  peer.Send("220 ready\r\n").Reply("USER u", "331 password\r\n").Reply("PASS p", "530 Login incorrect.\r\n");
  peer.Start();
  BatchHarness h(peer.Port());
  h.dir.WriteFile("f.txt", "x");
  try {
    h.Run({"f.txt"});
    ADD_FAILURE() << "the run went on after a refused login";
  } catch (const ProgramEnded& ended) {
    EXPECT_EQ(ended.code, 1);
  }
  EXPECT_TRUE(peer.Wait());
  EXPECT_EQ(Received(peer), kLogin);
  ASSERT_EQ(h.ui.Boxes().size(), 1u);
  EXPECT_EQ(h.ui.Boxes()[0].text, "Error loggin in as u access denied or password incorrect");
  EXPECT_TRUE(Contains(h.LogLines(), "Error loggin in as u access denied or password incorrect"));
}

TEST(BatchUpload, ServerNotListeningIsAConnectFailureWithItsBoxes) {
  int port;
  {
    ScriptedPeer closed;  // a free port, closed again before the run
    port = closed.Port();
  }
  BatchHarness h(port);
  h.dir.WriteFile("f.txt", "x");
  EXPECT_EQ(h.Run({"f.txt"}), BatchResult::ConnectFailed);
  ASSERT_EQ(h.ui.Boxes().size(), 2u);
  EXPECT_EQ(h.ui.Boxes()[0].text.rfind("Error: 10061", 0), 0u) << h.ui.Boxes()[0].text;
  EXPECT_EQ(h.ui.Boxes()[1].text, "Connection to 127.0.0.1 failed");
  EXPECT_EQ(h.ui.Boxes()[1].buttons, static_cast<unsigned>(BoxOK));
  std::vector<std::string> log = h.LogLines();
  EXPECT_TRUE(Contains(log, "Connection to 127.0.0.1 failed"));
  EXPECT_FALSE(Contains(log, "Putfile f.txt"));
  EXPECT_FALSE(h.engine.Connected);
}

}  // namespace
