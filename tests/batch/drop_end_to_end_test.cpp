// The built program started as a drop on its launcher starts it: the names
// as arguments, its settings file beside it, against a real FTP server.
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>

#include "BatchHarness.h"
#include "support/FtpServer.h"

namespace fs = std::filesystem;

namespace {

// Every regular file under root, by its path relative to root.
std::map<std::string, std::string> FilesUnder(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    files[fs::relative(entry.path(), root).string()] = bytes.str();
  }
  return files;
}

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

TEST(DropEndToEnd, NestedTreesArriveByteIdenticalUnderLowerCaseNames) {
  FtpServer server;
  fs::create_directories(server.Root() / "incoming");

  TempProgramDir dir;
  fs::copy_file(TARNEX_PROGRAM, dir.FilePath("tarnex"));
  dir.WriteIni("[LastUsed]\r\nNAME=Drop\r\n[Drop]\r\nHostName=127.0.0.1\r\nPort=" +
               std::to_string(server.Port()) + "\r\nUserName=" + server.User() +
               "\r\nPassword=" + server.Password() +
               "\r\nDirectory=Incoming\r\nIncludeDirs=1\r\nIncludeSubDirs=1\r\nUseLowerCase=1\r\n"
               "TransferType=2\r\nUseLogFile=1\r\n[Fixed]\r\nOK=1\r\n");

  // Two trees and a loose file; contents with every byte value, sizes from
  // empty to a few blocks.
  std::mt19937 random(7);
  auto content = [&random] {
    std::string bytes(random() % 3000, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
    return bytes;
  };
  std::map<std::string, std::string> expected;  // remote path -> bytes
  auto add = [&](const std::string& local) {
    std::string bytes = content();
    dir.WriteFile("drop/" + local, bytes);
    expected[Lower(local)] = bytes;
  };
  for (int part = 0; part < 4; ++part) {
    std::string base = "Docs/Part" + std::to_string(part) + "/";
    for (int i = 0; i < 15; ++i) add(base + "File" + std::to_string(i) + ".Txt");
    for (int i = 0; i < 15; ++i) add(base + "Sub/Page" + std::to_string(i) + ".HTM");
    for (int i = 0; i < 5; ++i) add(base + "Sub/Deep/Note" + std::to_string(i));
  }
  for (int i = 0; i < 15; ++i) add("Music/Track" + std::to_string(i) + ".OGG");
  add("Loose.DAT");
  ASSERT_GE(expected.size(), 150u);

  QProcess program;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  program.setProcessEnvironment(env);
  program.setWorkingDirectory(QString::fromStdString(dir.Dir()));
  const std::string drop = dir.Dir() + "drop/";
  program.start(QString::fromStdString(dir.FilePath("tarnex")),
                {QString::fromStdString(drop + "Docs"), QString::fromStdString(drop + "Music"),
                 QString::fromStdString(drop + "Loose.DAT")});
  ASSERT_TRUE(program.waitForStarted(10000));
  ASSERT_TRUE(program.waitForFinished(500000)) << "the run did not end";
  EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();

  std::map<std::string, std::string> arrived = FilesUnder(server.Root() / "incoming");
  EXPECT_EQ(arrived.size(), expected.size());
  for (const auto& [name, bytes] : expected) {
    auto it = arrived.find(name);
    if (it == arrived.end()) {
      ADD_FAILURE() << name << " did not arrive";
      continue;
    }
    EXPECT_TRUE(it->second == bytes) << name << " differs";
  }

  std::vector<std::string> log = LogLinesOf(dir);
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "Finished sending files");
}

}  // namespace
