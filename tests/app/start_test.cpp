// The built program itself, copied into a temporary folder so that folder is
// its program folder, run on the offscreen platform for the paths that need
// no answer from a person.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <filesystem>
#include <string>

#include "settings/TIniFile.h"
#include "support/FtpServer.h"
#include "support/TempProgramDir.h"

namespace {

class Program {
public:
  explicit Program(const TempProgramDir& dir) : path_(dir.FilePath("tarnex")) {
    std::filesystem::copy_file(TARNEX_PROGRAM, path_);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    process_.setProcessEnvironment(env);
    process_.setWorkingDirectory(QString::fromStdString(dir.Dir()));
  }
  ~Program() {
    if (process_.state() != QProcess::NotRunning) {
      process_.kill();
      process_.waitForFinished(5000);
    }
  }
  void Start(const QStringList& args = {}) {
    process_.start(QString::fromStdString(path_), args);
    ASSERT_TRUE(process_.waitForStarted(10000));
  }
  // Waits (at most 10 s) until `done` holds while the program runs.
  bool WaitUntil(const std::function<bool()>& done) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 10000) {
      if (done()) return true;
      QThread::msleep(20);
    }
    return done();
  }
  bool Running() { return process_.state() == QProcess::Running; }
  QProcess& Process() { return process_; }

private:
  std::string path_;
  QProcess process_;
};

TEST(Start, FirstStartWritesTheOptionDefaultsBesideTheProgram) {
  TempProgramDir dir;
  Program program(dir);
  program.Start();
  const std::string ini = dir.IniPath();
  ASSERT_TRUE(program.WaitUntil([&] {
    return TIniFile(ini).ReadText("options", "Editor", "") != "";
  })) << program.Process().readAllStandardError().toStdString();
  // Interactive: the window stays open and the program waits for the user.
  QThread::msleep(200);
  EXPECT_TRUE(program.Running());
  TIniFile file(ini);
  EXPECT_EQ(file.ReadText("options", "DirSep", ""), "0");
  EXPECT_EQ(file.ReadText("options", "ViewSep", ""), "1");
  EXPECT_EQ(file.ReadText("options", "Editor", ""), "xdg-open");
}

TEST(Start, StoredOptionsAreLeftAsTheyAre) {
  TempProgramDir dir;
  const std::string text = "[options]\r\nEditor=vi\r\n";
  dir.WriteIni(text);
  Program program(dir);
  program.Start();
  QThread::msleep(1500);
  EXPECT_TRUE(program.Running());
  EXPECT_EQ(dir.ReadIni(), text);
}

// Names on the command line with a stored configuration upload them
// unattended and end the program with exit code 0.
TEST(Start, NamesOnTheCommandLineAreUploadedAndTheProgramEnds) {
  FtpServer server;
  TempProgramDir dir;
  dir.WriteIni("[LastUsed]\r\nNAME=s\r\n[Fixed]\r\nOK=1\r\n[s]\r\nHostName=127.0.0.1\r\nPort=" +
               std::to_string(server.Port()) + "\r\nUserName=" + server.User() +
               "\r\nPassword=" + server.Password() + "\r\nTransferType=2\r\nUseLogFile=1\r\n");
  dir.WriteFile("dropped.bin", std::string("\x01\x02\r\n\x00", 5));
  Program program(dir);
  program.Start({QString::fromStdString(dir.FilePath("dropped.bin"))});
  ASSERT_TRUE(program.Process().waitForFinished(30000))
      << program.Process().readAllStandardError().toStdString();
  EXPECT_EQ(program.Process().exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program.Process().exitCode(), 0);
  EXPECT_EQ(server.ReadFile("dropped.bin"), std::string("\x01\x02\r\n\x00", 5));
  EXPECT_NE(dir.ReadLog().find("Finished sending files"), std::string::npos);
}

}  // namespace
