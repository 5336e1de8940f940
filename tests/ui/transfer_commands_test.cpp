// Get, Put and View of the main window against the scripted peer: the
// dialogs' names and modes, the commands sent, the files written, the log
// lines, the external editor, and closing the window in mid-transfer.
#include <QElapsedTimer>
#include <filesystem>
#include <sys/stat.h>

#include "MainWindowKit.h"
#include "settings/TIniFile.h"

using namespace mw;

namespace {

using Commands = std::vector<std::string>;

class TransferCommands : public MainWindow {
protected:
  void ConnectWith(std::function<void(ScriptedPeer&)> script,
                   std::function<void()> settings = nullptr) {
    GreetAndLogin(peer);
    script(peer);
    peer.Start();
    dir.WriteIni(ProfileIni(peer.Port()));
    if (settings) settings();
    Open();
    Connect();
    ASSERT_TRUE(form->Engine().Connected);
  }
  Commands After(size_t count) {
    EXPECT_TRUE(peer.WaitForCommands(count + 2)) << peer.Trace();
    Commands all = peer.Commands();
    Commands after(all.begin() + std::min<size_t>(2, all.size()), all.end());
    for (auto& c : after)
      if (c.rfind("PORT ", 0) == 0) c = "PORT";
    return after;
  }
  static void Retrieval(ScriptedPeer& p, const std::string& type, const std::string& retr,
                        const std::string& data) {
    p.Reply(type, "200 ok\r\n")
        .Reply("PORT", "200 ok\r\n")
        .Reply(retr, "150 Opening (" + std::to_string(data.size()) + " bytes)\r\n")
        .DataConnect()
        .DataSend(data)
        .DataClose()
        .Send("226 done\r\n");
  }

  ScriptedPeer peer;
};

TEST_F(TransferCommands, GetTakesTheLocalNameFromTheRemoteNameOnLeavingTheBox) {
  ConnectWith([](ScriptedPeer& p) {
    Retrieval(p, "TYPE I", "RETR remote.bin", std::string("bin\0ary\r\n", 9));
    Retrieval(p, "TYPE E", "RETR same.txt", "text");
  });
  QString followed, mode;
  AnswerNextModal([&](QWidget* d) {
    mode = Child<QRadioButton>(d, "rbASCII")->isChecked() ? "ascii" : "other";
    auto* name = Child<QLineEdit>(d, "FileName");
    QTest::keyClicks(name, "remote.bin");
    QTest::keyClick(name, Qt::Key_Tab);
    followed = Child<QLineEdit>(d, "LocalName")->text();
    TypeInto(Child<QLineEdit>(d, "LocalName"), "local.bin");
    Child<QRadioButton>(d, "rbBINARY")->click();
    ClickOK(d);
  });
  form->GetMNU->trigger();
  EXPECT_EQ(mode, "ascii");
  EXPECT_EQ(followed, "remote.bin");
  EXPECT_EQ(dir.ReadFile("local.bin"), std::string("bin\0ary\r\n", 9));

  // A fresh dialog: ASCII again, names empty; the local name follows.
  AnswerNextModal([&](QWidget* d) {
    mode = Child<QRadioButton>(d, "rbASCII")->isChecked() ? "ascii" : "other";
    EXPECT_EQ(Child<QLineEdit>(d, "LocalName")->text(), "");
    auto* name = Child<QLineEdit>(d, "FileName");
    QTest::keyClicks(name, "same.txt");
    QTest::keyClick(name, Qt::Key_Tab);
    Child<QRadioButton>(d, "rbEBCDIC")->click();
    ClickOK(d);
  });
  form->GetMNU->trigger();
  EXPECT_EQ(mode, "ascii");
  EXPECT_EQ(dir.ReadFile("same.txt"), "text");

  CancelNextModal();
  form->GetMNU->trigger();
  ASSERT_TRUE(peer.Wait()) << peer.Trace();
  EXPECT_EQ(After(6), (Commands{"TYPE I", "PORT", "RETR remote.bin", "TYPE E", "PORT",
                                "RETR same.txt"}));
  EXPECT_TRUE(LogHas("Getfile local.bin"));
  EXPECT_TRUE(LogHas("Getfile same.txt"));
  EXPECT_FALSE(LogHas("Getfile "));  // Cancel logs nothing
}

TEST_F(TransferCommands, PutSendsTheFileUnderTheNamePartOfItsPath) {
  ConnectWith([](ScriptedPeer& p) {
    p.Reply("TYPE I", "200 ok\r\n")
        .Reply("PORT", "200 ok\r\n")
        .Reply("STOR up.dat", "150 go ahead\r\n")
        .DataConnect()
        .DataReceiveAll()
        .DataClose()
        .Send("226 stored\r\n");
  });
  dir.WriteFile("sub/up.dat", "payload\r\n");
  const std::string path = dir.FilePath("sub/up.dat");
  QString remote;
  AnswerNextModal([&](QWidget* d) {
    auto* name = Child<QLineEdit>(d, "FileName");
    QTest::keyClicks(name, QString::fromStdString(path));
    QTest::keyClick(name, Qt::Key_Tab);
    remote = Child<QLineEdit>(d, "RemoteName")->text();
    Child<QRadioButton>(d, "rbBINARY")->click();
    ClickOK(d);
  });
  form->PutMNU->trigger();
  EXPECT_EQ(remote, "up.dat");
  ASSERT_TRUE(peer.Wait()) << peer.Trace();
  EXPECT_EQ(peer.DataReceived(), "payload\r\n");
  EXPECT_EQ(After(3), (Commands{"TYPE I", "PORT", "STOR up.dat"}));
  EXPECT_TRUE(LogHas("Putfile up.dat"));

  CancelNextModal();
  form->PutMNU->trigger();
  EXPECT_FALSE(LogHas("Putfile "));
}

TEST_F(TransferCommands, ViewShowsTheFileInTheTranscript) {
  ConnectWith([](ScriptedPeer& p) { Retrieval(p, "TYPE A", "RETR notes.txt", "one\r\ntwo\r\n"); });
  AnswerNextModal([](QWidget* d) {
    QTest::keyClicks(Child<QLineEdit>(d, "FileName"), "notes.txt");
    ClickOK(d);
  });
  form->ViewMNU->trigger();
  EXPECT_TRUE(TranscriptHas("one"));
  EXPECT_TRUE(TranscriptHas("two"));
  EXPECT_TRUE(LogHas("ViewFile notes.txt"));
  EXPECT_EQ(After(3), (Commands{"TYPE A", "PORT", "RETR notes.txt"}));
}

// The editor is started detached with the temporary file's name as its last
// argument; a small script records its arguments.
TEST_F(TransferCommands, SeparateViewAndListingGoToTheEditor) {
  const std::string record = dir.FilePath("editor-args");
  const std::string script = dir.FilePath("editor.sh");
  ConnectWith(
      [](ScriptedPeer& p) {
        Retrieval(p, "TYPE A", "RETR notes.txt", "seen in the editor\r\n");
        p.Reply("TYPE A", "200 ok\r\n")
            .Reply("PORT", "200 ok\r\n")
            .Reply("PWD", "257 \"/pub\"\r\n")
            .Reply("LIST", "150 here\r\n")
            .DataConnect()
            .DataSend("listed.txt\r\n")
            .DataClose()
            .Send("226 done\r\n");
      },
      [&] {
        dir.WriteFile("editor.sh", "#!/bin/sh\nfor a; do printf '%s\\n' \"$a\"; done >> '" +
                                       record + "'\n");
        ::chmod(script.c_str(), 0755);
        TIniFile ini(dir.IniPath());
        ini.WriteText("options", "ViewSep", "1");
        ini.WriteText("options", "DirSep", "1");
        ini.WriteText("options", "Editor", script + " --flag");
      });
  AnswerNextModal([](QWidget* d) {
    QTest::keyClicks(Child<QLineEdit>(d, "FileName"), "notes.txt");
    ClickOK(d);
  });
  form->ViewMNU->trigger();
  AcceptPrompt();
  form->DirMNU->trigger();
  EXPECT_FALSE(TranscriptHas("seen in the editor"));
  EXPECT_FALSE(TranscriptHas("listed.txt"));

  QElapsedTimer clock;
  clock.start();
  std::vector<std::string> args;
  while (clock.elapsed() < 10000) {
    args = SplitLines(dir.ReadFile("editor-args"));
    if (args.size() >= 4) break;
    QTest::qWait(20);
  }
  ASSERT_EQ(args.size(), 4u);
  EXPECT_EQ(args[0], "--flag");
  EXPECT_EQ(args[2], "--flag");
  const std::string view = std::filesystem::path(args[1]).filename().string();
  const std::string list = std::filesystem::path(args[3]).filename().string();
  EXPECT_EQ(view.substr(0, 3), "VIW");
  EXPECT_EQ(list.substr(0, 3), "LST");
  EXPECT_EQ(dir.ReadFile(view), "seen in the editor\r\n");
  EXPECT_NE(dir.ReadFile(list).find("listed.txt"), std::string::npos);
}

// Closing the window while a retrieval waits for data in a nested loop: the
// wait is cancelled, the command ends, the window closes, QUIT goes out and
// the sockets are closed.
TEST_F(TransferCommands, ClosingDuringAStalledTransferEndsCleanly) {
  ConnectWith([](ScriptedPeer& p) {
    p.Reply("TYPE I", "200 ok\r\n")
        .Reply("PORT", "200 ok\r\n")
        .Reply("RETR big.bin", "150 Opening (1000000 bytes)\r\n")
        .DataConnect()
        .DataSend("the first bytes")
        .DataStall(1500)
        .Expect("ABOR")
        .Send("426 aborted\r\n226 abort done\r\n")
        .Reply("QUIT", "221 bye\r\n");
  });
  AnswerNextModal([&](QWidget* d) {
    QTest::keyClicks(Child<QLineEdit>(d, "FileName"), "big.bin");
    QTest::keyClick(Child<QLineEdit>(d, "FileName"), Qt::Key_Tab);
    Child<QRadioButton>(d, "rbBINARY")->click();
    ClickOK(d);
    // Once the data has started, close the window from inside the wait.
    QTimer::singleShot(300, form.get(), [this] { form->close(); });
  });
  QElapsedTimer clock;
  clock.start();
  form->GetMNU->trigger();
  // Well before the control connection's 30-second time-out.
  while (form->isVisible() && clock.elapsed() < 20000) QTest::qWait(10);
  EXPECT_FALSE(form->isVisible());
  EXPECT_FALSE(meter.isVisible());
  EXPECT_TRUE(peer.WaitForClose(20000)) << peer.Trace();
  EXPECT_EQ(dir.ReadFile("big.bin"), "the first bytes");
  EXPECT_TRUE(LogHas("Getfile big.bin"));
  EXPECT_TRUE(LogHas("QUIT"));
  EXPECT_TRUE(peer.Failures().empty()) << peer.Trace();
  // The interrupted wait is logged, not put in a box that holds up the close.
  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_NE(dir.ReadLog().find("Error: 10004"), std::string::npos);
  form.reset();  // the window goes; nothing of the transfer is left behind
}

}  // namespace
