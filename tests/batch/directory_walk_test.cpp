// The walk of a directory tree: order, lower-case names, hidden and special
// entries, links, sub-directories the server will not enter, and a
// connection lost half way.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "BatchHarness.h"
#include "batch/PathHelpers.h"

namespace {

const std::vector<std::string> kLogin = {"USER u", "PASS p"};

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

ScriptedPeer& TreeStart(ScriptedPeer& peer, const std::string& top) {
  return peer.Reply("PWD", "257 \"/\"\r\n")
      .Reply("MKD " + top, "257 made\r\n")
      .Reply("CWD " + top, "250 ok\r\n");
}

std::vector<std::string> TreeStartCommands(const std::string& top) {
  return {"PWD", "MKD " + top, "CWD " + top};
}

struct TreeHarness : BatchHarness {
  explicit TreeHarness(int port) : BatchHarness(port) {
    run.includeDirs = true;
    run.includeSubDirs = true;
  }
};

TEST(DirectoryWalk, LowerCaseRemoteNamesWhileLocalPathsKeepTheirCase) {
  ScriptedPeer peer;
  LoginScript(peer);
  TreeStart(peer, "proj");
  peer.Reply("MKD docs", "257 made\r\n").Reply("CWD docs", "250 ok\r\n");
  StoreScript(peer, "read.me");
  peer.Reply("CDUP", "250 ok\r\n").Reply("CDUP", "250 ok\r\n");
  peer.Start();
  TreeHarness h(peer.Port());
  h.dir.WriteFile("Proj/Docs/Read.Me", "the text");
  h.run.useLowerCase = true;
  EXPECT_EQ(h.Run({"Proj"}), BatchResult::Finished);
  EXPECT_TRUE(peer.Wait());
  EXPECT_EQ(Received(peer), Seq({kLogin, TreeStartCommands("proj"), {"MKD docs", "CWD docs"},
                                 StoreCommands("read.me"), {"CDUP", "CDUP"}}));
  // On a file system where case matters the file is found all the same.
  EXPECT_EQ(peer.DataReceived(), "the text");
  EXPECT_TRUE(h.ui.Boxes().empty());
  std::vector<std::string> log = h.LogLines();
  const std::vector<std::string> walk = {"PWD",           "MakeDirectory proj",
                                         "ChangeDirectory proj", "Makedirectory docs",
                                         "Changedirectory docs", "Putfile Read.Me"};
  ASSERT_GE(log.size(), 7u);
  EXPECT_EQ(std::vector<std::string>(log.begin() + 1, log.begin() + 7), walk);
  EXPECT_EQ(log.back(), "CDUP");
  const std::vector<std::string> status = {"MakingDirectory: docs", "ChangingDirectory: docs",
                                           "Sending file: read.me"};
  EXPECT_EQ(h.ui.StatusTexts(), status);
  EXPECT_TRUE(peer.Failures().empty()) << peer.Trace();
}

TEST(DirectoryWalk, NestedChainEndsWithOneCdupPerLevelAndAnEmptyDirectoryIsMadeEmpty) {
  ScriptedPeer peer;
  LoginScript(peer);
  TreeStart(peer, "A");
  peer.Reply("MKD B", "257 made\r\n").Reply("CWD B", "250 ok\r\n");
  peer.Reply("MKD C", "257 made\r\n").Reply("CWD C", "250 ok\r\n");
  peer.Reply("CDUP", "250 ok\r\n").Reply("CDUP", "250 ok\r\n").Reply("CDUP", "250 ok\r\n");
  TreeStart(peer, "Empty").Reply("CDUP", "250 ok\r\n");
  peer.Start();
  TreeHarness h(peer.Port());
  ASSERT_EQ(::mkdir("A", 0755), 0);
  ASSERT_EQ(::mkdir("A/B", 0755), 0);
  ASSERT_EQ(::mkdir("A/B/C", 0755), 0);
  ASSERT_EQ(::mkdir("Empty", 0755), 0);
  EXPECT_EQ(h.Run({"A", "Empty"}), BatchResult::Finished);
  EXPECT_TRUE(peer.Wait());
  EXPECT_EQ(Received(peer),
            Seq({kLogin, TreeStartCommands("A"), {"MKD B", "CWD B", "MKD C", "CWD C"},
                 {"CDUP", "CDUP", "CDUP"}, TreeStartCommands("Empty"), {"CDUP"}}));
  EXPECT_TRUE(peer.Failures().empty()) << peer.Trace();
}

TEST(DirectoryWalk, HiddenFilesGoHiddenSubDirectoriesAndSpecialEntriesDoNot) {
  ScriptedPeer peer;
  LoginScript(peer);
  TreeStart(peer, "H");
  StoreScript(peer, ".secret");
  peer.Reply("CDUP", "250 ok\r\n");
  peer.Start();
  TreeHarness h(peer.Port());
  h.dir.WriteFile("H/.secret", "hidden but sent");
  h.dir.WriteFile("H/.git/config", "never sent");
  ASSERT_EQ(::mkfifo("H/pipe", 0644), 0);  // opening it would block the run
  ASSERT_EQ(::symlink(".", "H/loop"), 0);  // a link back to the directory itself
  ASSERT_EQ(::symlink("/nowhere", "H/dangling"), 0);
  ASSERT_EQ(::mkfifo("toplevel-pipe", 0644), 0);
  EXPECT_EQ(h.Run({"toplevel-pipe", "H"}), BatchResult::Finished);
  EXPECT_TRUE(peer.Wait());
  EXPECT_EQ(Received(peer),
            Seq({kLogin, TreeStartCommands("H"), StoreCommands(".secret"), {"CDUP"}}));
  EXPECT_EQ(peer.DataReceived(), "hidden but sent");
  EXPECT_TRUE(h.ui.Boxes().empty());  // nothing was tried and refused
  EXPECT_FALSE(Contains(h.LogLines(), "Putfile pipe"));
  EXPECT_TRUE(peer.Failures().empty()) << peer.Trace();
}

TEST(DirectoryWalk, SubDirectoryTheServerWillNotEnterIsPassedOver) {
  ScriptedPeer peer;
  LoginScript(peer);
  TreeStart(peer, "T");
  StoreScript(peer, "top.txt");
  peer.Reply("MKD Locked", "550 Permission denied.\r\n")
      .Reply("CWD Locked", "550 No such directory.\r\n")
      .Reply("CDUP", "250 ok\r\n");
  // A tree whose own top cannot be entered is passed over whole.
  peer.Reply("PWD", "257 \"/\"\r\n")
      .Reply("MKD U", "550 Permission denied.\r\n")
      .Reply("CWD U", "550 No such directory.\r\n");
  StoreScript(peer, "last.txt");
  peer.Start();
  TreeHarness h(peer.Port());
  h.dir.WriteFile("T/top.txt", "1");
  h.dir.WriteFile("T/Locked/inner.txt", "must not land in T");
  h.dir.WriteFile("U/u.txt", "must not land in /");
  h.dir.WriteFile("last.txt", "3");
  EXPECT_EQ(h.Run({"T", "U", "last.txt"}), BatchResult::Finished);
  EXPECT_TRUE(peer.Wait());
  EXPECT_EQ(Received(peer),
            Seq({kLogin, TreeStartCommands("T"), StoreCommands("top.txt"),
                 {"MKD Locked", "CWD Locked", "CDUP"}, {"PWD", "MKD U", "CWD U"},
                 StoreCommands("last.txt")}));
  EXPECT_EQ(peer.DataConnections(), (std::vector<std::string>{"1", "3"}));
  EXPECT_TRUE(h.ui.HasLineContaining("Locked"));
  std::vector<std::string> log = h.LogLines();
  EXPECT_TRUE(Contains(log, "Passed over directory Locked"));
  EXPECT_TRUE(Contains(log, "Passed over directory U"));
  EXPECT_FALSE(Contains(log, "Putfile inner.txt"));
  EXPECT_TRUE(peer.Failures().empty()) << peer.Trace();
}

TEST(DirectoryWalk, DotNamesGoByTheDirectoryTheyStandFor) {
  ScriptedPeer peer;
  LoginScript(peer);
  TreeStart(peer, "work");
  StoreScript(peer, "w.txt");
  peer.Reply("CDUP", "250 ok\r\n");
  peer.Start();
  TreeHarness h(peer.Port());
  h.dir.WriteFile("work/w.txt", "w");
  ASSERT_EQ(::chdir("work"), 0);  // the harness's folder is restored at its end
  EXPECT_EQ(h.Run({".", "/"}), BatchResult::Finished);
  EXPECT_TRUE(peer.Wait());
  // "." is sent as "work"; the root directory is not walked at all.
  EXPECT_EQ(Received(peer), Seq({kLogin, TreeStartCommands("work"), StoreCommands("w.txt"),
                                 {"CDUP"}}));
  EXPECT_TRUE(Contains(h.LogLines(), "Passed over directory /"));
  EXPECT_TRUE(peer.Failures().empty()) << peer.Trace();
}

TEST(DirectoryWalk, LostConnectionStopsTheWalkAtOnce) {
  ScriptedPeer peer;
  LoginScript(peer);
  TreeStart(peer, "Many");
  StoreScript(peer, "");  // whichever file comes first
  peer.Close();
  peer.Start();
  TreeHarness h(peer.Port());
  for (int i = 0; i < 4; ++i) h.dir.WriteFile("Many/f" + std::to_string(i), "data");
  h.dir.WriteFile("Many/Sub/g", "data");
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(h.Run({"Many", "Many"}), BatchResult::ConnectionLost);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30)) << "it hung";
  EXPECT_TRUE(peer.Wait());
  std::vector<std::string> log = h.LogLines();
  // The first file went through; the one under way when the server went
  // away is the last one tried; nothing after it.
  long putfiles = std::count_if(log.begin(), log.end(), [](const std::string& line) {
    return line.rfind("Putfile ", 0) == 0;
  });
  EXPECT_EQ(putfiles, 2);
  EXPECT_FALSE(Contains(log, "Makedirectory Sub"));
  EXPECT_FALSE(Contains(log, "CDUP"));
  EXPECT_EQ(log.back(), "Connection Failed");
}

TEST(PathHelpers, NamesAndKindsOfLocalEntries) {
  TempProgramDir dir;
  dir.WriteFile("d/file", "x");
  ASSERT_EQ(::mkfifo("fifo", 0644), 0);
  ASSERT_EQ(::symlink("d", "dirlink"), 0);
  ASSERT_EQ(::symlink("d/file", "filelink"), 0);
  EXPECT_TRUE(IsDirectory("d"));
  EXPECT_TRUE(IsDirectory("d/"));
  EXPECT_FALSE(IsDirectory("d/file"));
  EXPECT_FALSE(IsDirectory("missing"));
  EXPECT_TRUE(LocalFileExists("d/file"));
  EXPECT_FALSE(LocalFileExists("fifo"));
  EXPECT_FALSE(LocalFileExists("d"));
  EXPECT_EQ(NamePart("/a/b/Name.Ext"), "Name.Ext");
  EXPECT_EQ(NamePart("dir/"), "dir");
  EXPECT_EQ(NamePart("plain"), "plain");
  EXPECT_EQ(AddBackslash("a"), "a/");
  EXPECT_EQ(AddBackslash("a/"), "a/");
  EXPECT_EQ(DirectoryName("d/.."), dir.Path().filename().string());
  EXPECT_EQ(DirectoryName("/"), "");
  std::string longName(300, 'Q');
  longName += "\xC4-Z";
  EXPECT_EQ(LowerName(longName), std::string(300, 'q') + "\xC4-z");

  for (const DirEntry& e : ListDirectory(dir.Dir())) {
    SCOPED_TRACE(e.name);
    if (e.name == "d") {
      EXPECT_TRUE(e.directory);
    }
    if (e.name == "fifo") {
      EXPECT_FALSE(e.regular || e.directory);
    }
    if (e.name == "dirlink") {
      EXPECT_FALSE(e.directory);  // never walked into
    }
    if (e.name == "filelink") {
      EXPECT_TRUE(e.regular);
    }
  }
}

}  // namespace
