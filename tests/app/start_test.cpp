// The built program itself, copied into a temporary folder so that folder is
// its program folder: names dropped on it with a stored profile are uploaded
// to a real server (a relative name from the folder it was started in, not
// the profile's local folder) and the program ends with 0.
#include <gtest/gtest.h>

#include <QProcess>
#include <filesystem>
#include <regex>

#include "support/FtpServer.h"
#include "support/TempProgramDir.h"
#include "support/TestBytes.h"

TEST(Start, DroppedTreeAndFileArriveUnderLowerCaseNamesAndTheProgramEnds) {
  FtpServer server;
  std::filesystem::create_directories(server.Root() / "incoming");
  TempProgramDir dir;
  dir.WriteFile("TARNEX.INI", "[LastUsed]\nNAME=s\n[Fixed]\nOK=1\n[s]\nHostName=127.0.0.1\nPort=" +
               std::to_string(server.Port()) + "\nUserName=" + server.User() + "\nPassword=" +
               server.Password() + "\nDirectory=Incoming\nIncludeDirs=1\nIncludeSubDirs=1\n"
               "UseLowerCase=1\nTransferType=2\nUseLogFile=1\nLocaldir=" + dir.Dir() + "drop/Docs\n");
  const std::string bytes = Pattern(3000);
  dir.WriteFile("drop/Docs/Sub/Page.HTM", bytes);
  dir.WriteFile("drop/Loose.DAT", std::string("\x01\x02\r\n\x00", 5));
  std::filesystem::copy_file(TARNEX_PROGRAM, dir.FilePath("tarnex"));
  QProcess program;
  program.setWorkingDirectory(QString::fromStdString(dir.Dir()));
  program.start(QString::fromStdString(dir.FilePath("tarnex")),
                {QString::fromStdString(dir.Dir() + "drop/Docs"), "drop/Loose.DAT"});
  // The watchdog: a run that has not ended by then fails and is killed.
  if (!program.waitForFinished(60000)) program.kill();
  EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
  EXPECT_EQ(server.ReadFile("incoming/docs/sub/page.htm"), bytes);
  EXPECT_EQ(server.ReadFile("incoming/loose.dat"), std::string("\x01\x02\r\n\x00", 5));
  EXPECT_EQ(std::regex_replace(dir.ReadLog(), std::regex("[^ \n]+ [^ \n]+ ([^\r]*)\r\n"), "$1\n"),
            "Connected to 127.0.0.1 as tester\nPWD\nMakeDirectory docs\nChangeDirectory docs\n"
            "Makedirectory sub\nChangedirectory sub\nPutfile Page.HTM\n"
            "Total bytes written to remote host :3000\nCDUP\nCDUP\nPutfile Loose.DAT\n"
            "Total bytes written to remote host :5\nStored 2 of 2 files\nFinished sending files\n");
}
