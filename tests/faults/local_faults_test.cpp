// Fault catalogue, local faults: files that cannot be made, read or
// written; settings files that are junk, huge or of endless lines; a log
// that cannot be written during a batch run.
#include <QProcess>
#include <filesystem>
#include <random>

#include "FaultCatalogue.h"
#include "batch/BatchUpload.h"

namespace {

std::vector<FaultRow> Rows() {
  return {
      // A full disk: ABOR goes out, the rest is drained, the session goes on.
      {.name = "WriteFailsDuringARetrieval",
       .script = Get("150 Opening (200 bytes)") +
                 "data connect\ndata pattern 200\nurgent\n< ABOR | 426 aborted\ndata close\n> 226 abort done",
       .run = [](EngineHarness& h, ScriptedPeer&) { h.engine.Retrieve("a", "/dev/full", "TYPE I"); },
       .commands = {"TYPE I", "PORT", "RETR a", "ABOR"},
       .lines = {"Write to file: /dev/full failed, transfer incomplete", "426 aborted", "226 abort done"}},
      // A local file that cannot be made or opened: nothing is sent.
      {.name = "UncreatableLocalFileSendsNothing",
       .run = [](EngineHarness& h, ScriptedPeer& p) {
         h.engine.Retrieve("a", "no/such/folder/a", "TYPE I");
         ASSERT_EQ(::chdir("/proc"), 0);  // a temporary listing file cannot be made here
         Listing("1")(h, p);
         ASSERT_EQ(::chdir(h.dir.Dir().c_str()), 0);
         h.engine.StoreFile("TYPE I", "missing", "missing");
         std::vector<std::string> captions;
         for (const auto& box : h.ui.Boxes()) captions.push_back(box.caption);
         EXPECT_EQ(captions, (std::vector<std::string>{"_lopen error", "_lopen error", "open error"}));
       },
       .boxes = {"Could not open file", "Could not open file", "Could not open local file"},
       .check = [](EngineHarness& h, ScriptedPeer& p) {
         LogHas("Could not open file")(h, p);
         LogHas("Could not open local file,open error")(h, p);
       }},
  };
}

FAULT_GROUP(LocalFaults, Rows);

// The built program in a folder of its own with a given TARNEX.INI comes up
// (still running after the start) and does not crash.
TEST(LocalFaults, ProgramStartsWithASettingsFileOfJunkHugeOrEndlessLines) {
  std::mt19937 random(7);
  std::string junk(200000, '\0');
  for (char& c : junk) c = static_cast<char>(random() & 0xff);
  std::string big = "[options]\r\nEditor=vi\r\n[Fixed]\r\nOK=1\r\n";
  while (big.size() < 100u * 1024 * 1024) big += "; " + std::string(1000, 'x') + "\r\n";
  const std::string lines = "[" + std::string(100000, 'a') + "]\r\n[options]\r\nEditor=" +
                            std::string(100000, 'e') + "\r\n" + std::string(100000, '=') +
                            "\r\n[LastUsed]\r\nName=" + std::string(100000, 'n') + "\r\n";
  for (const std::string* ini : std::vector<const std::string*>{&junk, &big, &lines}) {
    TempProgramDir dir;
    const std::string program = dir.Dir() + "tarnex";
    std::filesystem::copy_file(TARNEX_PROGRAM, program);
    dir.WriteIni(*ini);
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("HOME", QString::fromStdString(dir.Dir()));
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(QString::fromStdString(dir.Dir()));
    process.start(QString::fromStdString(program), {});
    ASSERT_TRUE(process.waitForStarted(5000));
    EXPECT_FALSE(process.waitForFinished(3000)) << "the program ended, exit code " << process.exitCode()
                                                << "\n" << process.readAllStandardError().toStdString();
    process.kill();
    process.waitForFinished(5000);
  }
}

// TARNEX.LOG is a folder: the batch run's first log write fails and ends
// the run at once with "Unable to write to ..."; nothing was sent.
TEST(LocalFaults, LogThatCannotBeWrittenDuringABatchRun) {
  ScriptedPeer peer;
  peer.Send("220 ready\r\n");
  peer.Start();
  EngineHarness h;
  ASSERT_TRUE(std::filesystem::create_directory(h.dir.LogPath()));
  h.dir.WriteFile("up.bin", "hello");
  BatchRun run;
  run.host = "127.0.0.1";
  run.port = std::to_string(peer.Port());
  run.user = "u";
  run.password = "p";
  run.typeCommand = "TYPE I";
  run.names = {h.dir.Dir() + "up.bin"};
  try {
    BatchUpload(h.engine, run);
    ADD_FAILURE() << "no error";
  } catch (const std::exception& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + h.dir.LogPath());
  }
  EXPECT_FALSE(h.engine.CommandBusy);
  EXPECT_FALSE(h.ui.Busy());
  peer.Wait(500);
  EXPECT_TRUE(peer.Commands().empty());
}

}  // namespace
