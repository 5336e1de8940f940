// Fault catalogue, local faults: a disk that fills during a retrieval,
// settings files that are junk, huge or of endless lines, and a log that
// cannot be written during a batch run.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QProcess>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>

#include "FaultCatalogue.h"
#include "batch/BatchUpload.h"

namespace {

// The retrieval runs in a child whose files may not grow beyond 1000 bytes
// (the disk is "full" there); the program ignores SIGXFSZ, so the write
// fails instead of killing it. The child reports through a file.
TEST(LocalFaults, DiskFillsDuringARetrieval) {
  const std::string data = Pattern(1020);  // four receives of 255 bytes
  ScriptedPeer peer;
  peer.Send("220 ready\r\n");
  RetrSteps(peer, "big", "150 Opening (1020 bytes)\r\n").DataConnect().DataSend(data)
      .ExpectUrgent().Reply("ABOR", "426 Transfer aborted\r\n").DataClose()
      .Send("226 ABOR successful\r\n").Reply("NOOP", "200 still here\r\n");
  peer.Start();
  TempProgramDir dir;

  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit saved = limit;
    limit.rlim_cur = 1000;
    ::setrlimit(RLIMIT_FSIZE, &limit);
    std::string report;
    {
      RecordingUI ui;
      FtpEngine engine(ui, dir.Dir());
      engine.LogEnabled = false;
      engine.Sockets1.Timeout = 2;
      engine.RetrieveTimeout = 2;
      if (OpenControlConnection(engine, "127.0.0.1", std::to_string(peer.Port()))) {
        engine.Connected = true;
        ReadGreeting(engine);
        engine.Retrieve("big", dir.Dir() + "big.out", "TYPE I");
        report += "noop=" + std::to_string(engine.SendCommand("NOOP")) + "\n";
      }
      for (const auto& line : ui.Lines()) report += line + "\n";
      report += "boxes=" + std::to_string(ui.Boxes().size()) + "\n";
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::ofstream(dir.Dir() + "report.txt") << report;
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "the retrieval died with signal " << WTERMSIG(status);
  EXPECT_TRUE(peer.Wait(3000));

  const std::string report = dir.ReadFile("report.txt");
  const std::string file = dir.ReadFile("big.out");
  EXPECT_EQ(file.size(), 1000u);
  EXPECT_TRUE(file == data.substr(0, 1000)) << "the bytes that fit are the first ones";
  EXPECT_NE(report.find("Write to file: " + dir.Dir() + "big.out failed, transfer incomplete"),
            std::string::npos) << report;
  EXPECT_NE(report.find("noop=2"), std::string::npos) << report;
  EXPECT_NE(report.find("boxes=0"), std::string::npos) << report;
  ExpectCommands(peer.Commands(), {"TYPE I", "PORT", "RETR big", "ABOR", "NOOP"});
  EXPECT_EQ(peer.UrgentCount(), 1);
}

// The built program in a folder of its own with a given TARNEX.INI: it must
// come up (still running after the start) and not crash.
void ExpectProgramStarts(const std::string& iniBytes, const std::string& what) {
  TempProgramDir dir;
  const std::string program = dir.Dir() + "tarnex";
  std::filesystem::copy_file(TARNEX_PROGRAM, program);
  if (!iniBytes.empty()) dir.WriteIni(iniBytes);
  QProcess process;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("HOME", QString::fromStdString(dir.Dir()));
  process.setProcessEnvironment(env);
  process.setWorkingDirectory(QString::fromStdString(dir.Dir()));
  process.start(QString::fromStdString(program), {});
  ASSERT_TRUE(process.waitForStarted(5000)) << what;
  // Still running after a while: it started and waits for the user.
  EXPECT_FALSE(process.waitForFinished(3000))
      << what << ": the program ended, exit code " << process.exitCode() << "\n"
      << process.readAllStandardError().toStdString();
  if (process.state() != QProcess::NotRunning) {
    process.terminate();
    if (!process.waitForFinished(5000)) process.kill();
    process.waitForFinished(2000);
  }
}

TEST(LocalFaults, SettingsFileOfBinaryJunk) {
  std::mt19937 random(7);
  std::string junk(200000, '\0');
  for (char& c : junk) c = static_cast<char>(random() & 0xff);
  ExpectProgramStarts(junk, "binary junk");
}

TEST(LocalFaults, SettingsFileOf100MB) {
  std::string big = "[options]\r\nEditor=vi\r\n[Fixed]\r\nOK=1\r\n";
  std::string filler = "; " + std::string(1000, 'x') + "\r\n";
  while (big.size() < 100u * 1024 * 1024) big += filler;
  ExpectProgramStarts(big, "100 MB");
}

TEST(LocalFaults, SettingsFileWithLinesOf100000Characters) {
  std::string text = "[" + std::string(100000, 'a') + "]\r\n";
  text += "[options]\r\nEditor=" + std::string(100000, 'e') + "\r\n";
  text += std::string(100000, '=') + "\r\n[LastUsed]\r\nName=" + std::string(100000, 'n') + "\r\n";
  ExpectProgramStarts(text, "100,000-character lines");
}

// TARNEX.LOG is a folder: the first log write of the batch run fails. The
// run ends at once with the error text "Unable to write to ..." (which the
// program's handler guard shows in its error box); it neither hangs nor
// crashes, and leaves no command half sent.
TEST(LocalFaults, LogThatCannotBeWrittenDuringABatchRun) {
  ScriptedPeer peer;
  peer.Send("220 ready\r\n");
  peer.Start();
  EngineHarness h;
  ASSERT_TRUE(std::filesystem::create_directory(h.dir.LogPath()));
  h.engine.LogEnabled = true;
  h.dir.WriteFile("up.bin", "hello");
  BatchRun run;
  run.host = "127.0.0.1";
  run.port = std::to_string(peer.Port());
  run.user = "u";
  run.password = "p";
  run.typeCommand = "TYPE I";
  run.names = {h.dir.Dir() + "up.bin"};
  std::string error;
  const auto start = std::chrono::steady_clock::now();
  try {
    BatchUpload(h.engine, run);
  } catch (const std::exception& e) {
    error = e.what();
  }
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 10.0);
  EXPECT_EQ(error, "Unable to write to " + h.dir.LogPath());
  EXPECT_FALSE(h.engine.CommandBusy);
  EXPECT_FALSE(h.ui.Busy());
  peer.Wait(500);
  // The run's first log line comes before the login: nothing was sent.
  ExpectCommands(peer.Commands(), {});
}

}  // namespace
