// The built program itself, copied into a temporary folder so that folder is
// its program folder: names dropped on it with a stored profile are uploaded
// to a real server (a relative name from the folder it was started in, not
// the profile's local folder) and the program ends with its exit code.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QDeadlineTimer>
#include <QProcess>
#include <filesystem>
#include <map>

#include "support/FtpServer.h"
#include "support/TempProgramDir.h"
#include "support/TestBytes.h"

namespace {
// Writes the profile s, copies the program into the folder and runs it from
// the folder with the names (through sh -c `prelude; exec tarnex NAMES`):
// its exit code, or -1 when the watchdog had to kill a run that waited.
int RunDropped(TempProgramDir& dir, const std::string& profile, const QStringList& names,
               const std::string& prelude = "true", const QString& bus = "") {
  dir.WriteFile("TARNEX.INI", "[LastUsed]\nNAME=s\n[Fixed]\nOK=1\n[s]\nUseLogFile=1\nTransferType=2\n" + profile);
  std::filesystem::copy_file(TARNEX_PROGRAM, dir.FilePath("tarnex"));
  QProcess program;
  program.setWorkingDirectory(QString::fromStdString(dir.Dir()));
  // A session bus only when the test gives one: the desktop notice then goes there.
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.remove("XDG_RUNTIME_DIR");
  environment.insert("DBUS_SESSION_BUS_ADDRESS", bus);
  program.setProcessEnvironment(environment);
  program.start("/bin/sh", QStringList{"-c", QString::fromStdString(prelude) + " && exec \"$0\" \"$@\"",
                                       QString::fromStdString(dir.FilePath("tarnex"))} + names);
  // The watchdog: a run that has not ended by then (a box nobody answers) is killed.
  if (!program.waitForFinished(60000)) program.kill();
  EXPECT_EQ(program.exitStatus(), QProcess::NormalExit) << program.readAllStandardError().toStdString();
  return program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
}

std::string Server(const FtpServer& server) {
  return "HostName=127.0.0.1\nPort=" + std::to_string(server.Port()) + "\nUserName=" + server.User() +
         "\nPassword=" + server.Password() + "\n";
}
}  // namespace

// Fast mode moves the same tree with the same log.
TEST(Start, DroppedTreeAndFileArriveUnderLowerCaseNamesAndTheProgramEnds) {
  for (const std::string fast : {"", "[options]\nFastTransfers=1\n"}) {
    FtpServer server;
    std::filesystem::create_directories(server.Root() / "incoming");
    TempProgramDir dir;
    const std::string bytes = Pattern(3000);
    dir.WriteFile("drop/Docs/Sub/Page.HTM", bytes);
    dir.WriteFile("drop/Loose.DAT", std::string("\x01\x02\r\n\x00", 5));
    EXPECT_EQ(RunDropped(dir, Server(server) + "Directory=Incoming\nIncludeDirs=1\nIncludeSubDirs=1\n"
                              "UseLowerCase=1\nLocaldir=" + dir.Dir() + "drop/Docs\n" + fast,
                         {QString::fromStdString(dir.Dir() + "drop/Docs"), "drop/Loose.DAT"}), 0);
    EXPECT_EQ(server.ReadFile("incoming/docs/sub/page.htm"), bytes);
    EXPECT_EQ(server.ReadFile("incoming/loose.dat"), std::string("\x01\x02\r\n\x00", 5));
    EXPECT_EQ(dir.LogLines(),
              "Connected to 127.0.0.1 as tester\nPWD\nMakeDirectory docs\nChangeDirectory docs\n"
              "Makedirectory sub\nChangedirectory sub\nPutfile Page.HTM\n"
              "Total bytes written to remote host :3000\nCDUP\nCDUP\nPutfile Loose.DAT\n"
              "Total bytes written to remote host :5\nStored 2 of 2 files\nFinished sending files\n") << fast;
    // The one sign of fast mode a server sees: the type command once, not once a file.
    const std::string log = server.LogText();
    size_t types = 0;
    for (size_t at = log.find("<- TYPE I"); at != std::string::npos; at = log.find("<- TYPE I", at + 1)) ++types;
    EXPECT_EQ(types, fast.empty() ? 2u : 1u);
  }
}

// Nobody watches a dropped run: what would have been a box is one log line,
// and the exit code tells the outcome.
TEST(Start, UnattendedRunsEndWithALineInsteadOfABox) {
  const std::string longHost(300, 'h');
  for (const auto& [profile, line] : {std::pair{"HostName=" + longHost + "\nPort=21\n", longHost + " failed: Cannot convert host address"},
                                      {"HostName=127.0.0.1\nPort=abc\n", "127.0.0.1 failed: 'abc' is not a valid integer value"}}) {
    TempProgramDir dir;
    dir.WriteFile("f", "x");
    EXPECT_EQ(RunDropped(dir, profile, {"f"}), 2);
    EXPECT_EQ(dir.LogLines(), "Connection to " + line + "\nFinished sending files\n");
  }
  // Started in a folder that is gone: a relative name is not looked for in
  // the profile's local folder, where a file of that name waits.
  FtpServer server;
  TempProgramDir dir;
  dir.WriteFile("local/a.txt", "wrong file");
  EXPECT_EQ(RunDropped(dir, Server(server) + "Localdir=" + dir.Dir() + "local\n", {"a.txt"},
                       "mkdir gone && cd gone && rmdir ../gone"), 3);
  EXPECT_NE(dir.LogLines().find("Not stored a.txt: relative to a start folder that cannot be named\n"
                               "Stored 0 of 1 files\n"), std::string::npos) << dir.LogLines();
  EXPECT_FALSE(std::filesystem::exists(server.Root() / "a.txt"));
}

// The server resets the session in the middle of the big file: the run connects
// again, goes on with that file, and the tree arrives whole.
TEST(Start, ACutConnectionIsTakenUpAgainAndTheTreeArrivesWhole) {
  ::setenv("TARNEX_FTPD_CUT", "2", 1);
  FtpServer server;
  ::unsetenv("TARNEX_FTPD_CUT");
  TempProgramDir dir;
  const std::map<std::string, std::string> tree = {{"Tree/a", "first"}, {"Tree/Sub/big", Pattern(8 << 20)}, {"c", "last"}};
  for (const auto& [name, bytes] : tree) dir.WriteFile("drop/" + name, bytes);
  EXPECT_EQ(RunDropped(dir, Server(server) + "IncludeDirs=1\nIncludeSubDirs=1\n", {"drop/Tree", "drop/c"}), 0) << dir.LogLines();
  for (const auto& [name, bytes] : tree) EXPECT_TRUE(server.ReadFile(name) == bytes) << name;
  EXPECT_NE(dir.LogLines().find("Connected again to 127.0.0.1\nResuming big at "), std::string::npos) << dir.LogLines();
}

// After the cut the server shows another certificate: the run ends, asks nothing.
TEST(Start, ACertificateChangedAtTheReconnectEndsTheRun) {
  ::setenv("TARNEX_FTPD_CUT", "1", 1), ::setenv("TARNEX_FTPD_FAULT", "new certificate", 1);
  FtpServer server("explicit");
  ::unsetenv("TARNEX_FTPD_CUT"), ::unsetenv("TARNEX_FTPD_FAULT");
  TempProgramDir dir;
  dir.WriteFile("big", Pattern(8 << 20));
  EXPECT_EQ(RunDropped(dir, Server(server) + "Security=1\nTrustedCertificate=" + server.Fingerprint() + "\n", {"big"}), 2);
  EXPECT_NE(dir.LogLines().find("the server's certificate has changed"), std::string::npos) << dir.LogLines();
  EXPECT_EQ(dir.LogLines().find("try 2 of 3"), std::string::npos) << dir.LogLines();  // nor tries again
}

// The end of a run is told to the desktop's notification service on the
// session bus (here a private one, whose service the test plays).
TEST(Start, TheEndOfARunIsToldToTheDesktop) {
  QProcess daemon;
  daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
  ASSERT_TRUE(daemon.waitForReadyRead(10000)) << "no dbus-daemon";
  const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
  struct Recorder : QDBusVirtualObject {
    QStringList told;
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& bus) override {
      if (message.member() == "Notify" && message.arguments().size() == 8)
        told << message.arguments()[3].toString() + ": " + message.arguments()[4].toString();
      return bus.send(message.createReply(QVariant(1u)));
    }
  } recorder;
  QDBusConnection bus = QDBusConnection::connectToBus(address, "notices");
  ASSERT_TRUE(bus.registerService("org.freedesktop.Notifications"));
  bus.registerVirtualObject("/org/freedesktop/Notifications", &recorder);
  TempProgramDir dir;
  dir.WriteFile("f", "x");
  EXPECT_EQ(RunDropped(dir, "HostName=127.0.0.1\nPort=1\n", {"f"}, "true", address), 2);
  for (QDeadlineTimer end(5000); recorder.told.isEmpty() && !end.hasExpired();) QCoreApplication::processEvents();
  EXPECT_EQ(recorder.told, QStringList{"Tarnex: Could not connect to 127.0.0.1: see " + QString::fromStdString(dir.Dir()) + "TARNEX.LOG"});
  QDBusConnection::disconnectFromBus("notices");
  daemon.kill();
  daemon.waitForFinished();
}
