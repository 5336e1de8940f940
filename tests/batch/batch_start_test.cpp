// The batch start through the real main window: names on the command line
// and the settings file beside the program decide whether and how a batch
// run starts, and how it ends.
#include <gtest/gtest.h>

#include <algorithm>

#include "BatchHarness.h"
#include "ui/FTPForm.h"
#include "ui/MeterDLG.h"

namespace {

std::string Ini(int port, const std::string& extra, const std::string& fixedOK = "1") {
  return "[LastUsed]\r\nNAME=Test\r\n"
         "[Test]\r\nHostName=127.0.0.1\r\nPort=" + std::to_string(port) +
         "\r\nUserName=u\r\nPassword=p\r\nUseLogFile=1\r\n" + extra +
         "[Fixed]\r\nOK=" + fixedOK + "\r\n";
}

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST(BatchStart, NamesRunTheUploadHiddenWithTheProfilesTypeAndLowerCase) {
  ScriptedPeer peer;
  StoreScript(LoginScript(peer), "notes.txt", "TYPE I");
  peer.Start();
  TempProgramDir dir;
  dir.WriteIni(Ini(peer.Port(), "TransferType=2\r\nUseLowerCase=1\r\n"));
  dir.WriteFile("Notes.TXT", "batch data");
  TMeterDLG meter;
  RecordingUI boxes;
  TFTPForm form(dir.Dir(), {"Notes.TXT"}, &meter, &boxes);
  EXPECT_TRUE(peer.Wait());
  EXPECT_TRUE(form.BatchStarted);
  EXPECT_EQ(form.BatchOutcome, BatchResult::Finished);
  EXPECT_FALSE(form.isVisible());
  EXPECT_TRUE(form.windowState() & Qt::WindowMinimized);
  EXPECT_EQ(form.TypeCommand, "TYPE I");
  EXPECT_EQ(Received(peer), Seq({{"USER u", "PASS p"}, StoreCommands("notes.txt")}));
  EXPECT_EQ(peer.DataReceived(), "batch data");
  std::vector<std::string> log = LogLinesOf(dir);
  ASSERT_FALSE(log.empty());
  EXPECT_TRUE(Contains(log, "Putfile Notes.TXT"));
  EXPECT_EQ(log.back(), "Finished sending files");
  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_TRUE(peer.Failures().empty()) << peer.Trace();
}

TEST(BatchStart, WithoutTransferTypeTheEmptyTypeCommandIsPassedOn) {
  ScriptedPeer peer;
  StoreScript(LoginScript(peer), "f.bin", "");
  peer.Start();
  TempProgramDir dir;
  dir.WriteIni(Ini(peer.Port(), ""));
  dir.WriteFile("f.bin", "x");
  TMeterDLG meter;
  RecordingUI boxes;
  TFTPForm form(dir.Dir(), {"f.bin"}, &meter, &boxes);
  EXPECT_TRUE(peer.Wait());
  EXPECT_EQ(form.TypeCommand, "");
  EXPECT_EQ(Received(peer), Seq({{"USER u", "PASS p"}, StoreCommands("f.bin", "")}));
  EXPECT_TRUE(peer.Failures().empty()) << peer.Trace();
}

TEST(BatchStart, NoStoredConfigurationWarnsAndStartsInteractively) {
  TempProgramDir dir;
  dir.WriteIni(Ini(1, "TransferType=2\r\n", "0"));
  dir.WriteFile("f.txt", "x");
  TMeterDLG meter;
  RecordingUI boxes;
  TFTPForm form(dir.Dir(), {"f.txt"}, &meter, &boxes);
  EXPECT_FALSE(form.BatchStarted);
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, "There is no server in configuration, Please choose setup");
  EXPECT_EQ(boxes.Boxes()[0].buttons, static_cast<unsigned>(BoxOK));
  EXPECT_FALSE(form.Engine().Connected);
  EXPECT_TRUE(form.ConnectMNU->isEnabled());  // the interactive window, ready to connect
  EXPECT_EQ(dir.ReadLog(), "");              // nothing was tried, nothing uploaded
}

TEST(BatchStart, RefusedLoginEndsWithCodeOneAndNoFinishedLine) {
  ScriptedPeer peer;
  peer.Send("220 ready\r\n").Reply("USER u", "331 password\r\n").Reply("PASS p", "530 Login incorrect.\r\n");
  peer.Start();
  TempProgramDir dir;
  dir.WriteIni(Ini(peer.Port(), "TransferType=2\r\n"));
  dir.WriteFile("f.txt", "x");
  TMeterDLG meter;
  RecordingUI boxes;
  try {
    TFTPForm form(dir.Dir(), {"f.txt"}, &meter, &boxes);
    ADD_FAILURE() << "the program did not end";
  } catch (const ProgramEnded& ended) {
    EXPECT_EQ(ended.code, 1);
  }
  EXPECT_EQ(boxes.EndedWith(), 1);
  std::vector<std::string> log = LogLinesOf(dir);
  EXPECT_TRUE(Contains(log, "Error loggin in as u access denied or password incorrect"));
  EXPECT_FALSE(Contains(log, "Finished sending files"));
  EXPECT_FALSE(Contains(log, "Putfile f.txt"));
}

TEST(BatchStart, ServerNotListeningShowsItsBoxesAndEndsAsConnectFailed) {
  int port;
  {
    ScriptedPeer closed;
    port = closed.Port();
  }
  TempProgramDir dir;
  dir.WriteIni(Ini(port, "TransferType=2\r\n"));
  dir.WriteFile("f.txt", "x");
  TMeterDLG meter;
  RecordingUI boxes;
  TFTPForm form(dir.Dir(), {"f.txt"}, &meter, &boxes);
  EXPECT_EQ(form.BatchOutcome, BatchResult::ConnectFailed);  // exit code 2
  ASSERT_EQ(boxes.Boxes().size(), 2u);
  EXPECT_EQ(boxes.Boxes()[0].text.rfind("Error: 10061", 0), 0u) << boxes.Boxes()[0].text;
  EXPECT_EQ(boxes.Boxes()[1].text, "Connection to 127.0.0.1 failed");
  std::vector<std::string> log = LogLinesOf(dir);
  EXPECT_TRUE(Contains(log, "Connection to 127.0.0.1 failed"));
  EXPECT_FALSE(Contains(log, "Putfile f.txt"));
}

}  // namespace

namespace {

// A log that cannot be written ends the run half way: its error is shown,
// and the run does not count as a success (the program then exits with 2).
TEST(BatchStart, AnErrorThatStopsTheRunIsNotReportedAsSuccess) {
  ScriptedPeer peer;
  peer.Send("220 ready\r\n");
  peer.Start();
  TempProgramDir dir;
  dir.WriteIni(Ini(peer.Port(), "TransferType=2\r\n"));
  dir.WriteFile("f.bin", "x");
  ASSERT_TRUE(std::filesystem::create_directory(dir.LogPath()));
  TMeterDLG meter;
  RecordingUI boxes;
  TFTPForm form(dir.Dir(), {"f.bin"}, &meter, &boxes);
  EXPECT_TRUE(form.BatchStarted);
  EXPECT_EQ(form.BatchOutcome, BatchResult::Stopped);
  ASSERT_FALSE(boxes.Boxes().empty());
  EXPECT_EQ(boxes.Boxes().back().text, "Unable to write to " + dir.LogPath());
  EXPECT_EQ(peer.DataConnectionCount(), 0);
}

}  // namespace
