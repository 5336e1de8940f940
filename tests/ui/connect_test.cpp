// File > Connect, Disconnect and Exit of the main window against the
// scripted peer: the login rules, the initial directory question, a refused
// connection and the QUIT on the way out.
#include <QCheckBox>

#include "MainWindowKit.h"

using namespace mw;

namespace {

using Commands = std::vector<std::string>;

// A port nobody listens on: a peer's, freed again.
int ClosedPort() {
  ScriptedPeer gone;
  return gone.Port();
}

TEST_F(MainWindow, EmptyUserStillSendsUserAnd331WithoutPasswordSkipsPass) {
  ScriptedPeer peer;
  peer.Send("220 ready\r\n")
      .Reply("USER", "331 password please\r\n")
      .Reply("CWD", "250 ok\r\n");
  peer.Start();
  dir.WriteIni(ProfileIni(peer.Port(), "Directory=in\r\n", "", ""));
  Open();
  Connect();
  ASSERT_TRUE(peer.Wait());
  EXPECT_EQ(peer.Commands(), (Commands{"USER ", "CWD in"}));
  EXPECT_TRUE(peer.Failures().empty()) << peer.Trace();

  EXPECT_TRUE(TranscriptHas("Connected to 127.0.0.1"));
  EXPECT_TRUE(LogHas("Connected to 127.0.0.1"));
  EXPECT_TRUE(form->Engine().Connected);
  EXPECT_FALSE(form->ConnectMNU->isEnabled());
  EXPECT_TRUE(form->QuitMNU->isEnabled());
  EXPECT_TRUE(form->GetMNU->isEnabled());
  EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(MainWindow, Reply230SkipsPassAndAcctAndDisconnectThenCloseSendsOneQuit) {
  ScriptedPeer peer;
  peer.Send("220 ready\r\n").Reply("USER", "230 no password needed\r\n");
  peer.Reply("QUIT", "221 bye\r\n");
  peer.Start();
  dir.WriteIni(ProfileIni(peer.Port(), "Account=acc\r\n"));
  Open();
  Connect();
  EXPECT_TRUE(form->QuitMNU->isEnabled());

  form->QuitMNU->trigger();
  EXPECT_FALSE(form->Engine().Connected);
  EXPECT_TRUE(form->ConnectMNU->isEnabled());
  EXPECT_FALSE(form->QuitMNU->isEnabled());
  EXPECT_TRUE(LogHas("QUIT"));

  form->close();
  form.reset();
  ASSERT_TRUE(peer.WaitForClose());
  EXPECT_EQ(peer.Commands(), (Commands{"USER tester", "QUIT"}));
}

TEST_F(MainWindow, AcctFollowsOnlyA3xxForPass) {
  ScriptedPeer peer;
  peer.Send("120 soon\r\n")
      .Send("220 ready\r\n")
      .Reply("USER", "331 password please\r\n")
      .Reply("PASS", "332 account please\r\n")
      .Reply("ACCT", "230 in\r\n");
  peer.Start();
  dir.WriteIni(ProfileIni(peer.Port(), "Account=acc\r\n"));
  Open();
  Connect();
  ASSERT_TRUE(peer.Wait());
  EXPECT_EQ(peer.Commands(), (Commands{"USER tester", "PASS secret", "ACCT acc"}));
  // The password is masked in the transcript.
  EXPECT_FALSE(form->Memo1->toPlainText().contains("secret"));
}

TEST_F(MainWindow, MissingInitialDirectoryIsCreatedInLowerCaseAfterYes) {
  ScriptedPeer peer;
  GreetAndLogin(peer)
      .Reply("CWD", "550 no such directory\r\n")
      .Reply("MKD", "257 created\r\n")
      .Reply("CWD", "250 ok\r\n");
  peer.Start();
  dir.WriteIni(ProfileIni(peer.Port(), "Directory=New/Dir\r\nUseLowerCase=1\r\n"));
  Open();
  boxes.Answer(BoxAnswer::Yes);
  Connect();
  ASSERT_TRUE(peer.Wait());
  EXPECT_EQ(peer.Commands(), (Commands{"USER tester", "PASS secret", "CWD New/Dir",
                                       "MKD new/dir", "CWD new/dir"}));
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, "Directory: New/Dir Doesn't Exists, Create?");
  EXPECT_EQ(boxes.Boxes()[0].buttons, unsigned(BoxYes | BoxNo));
  EXPECT_TRUE(LogHas("error Changing Directory"));
  EXPECT_TRUE(LogHas("Make Directory new/dir"));
  EXPECT_TRUE(LogHas("Change Directory new/dir"));
}

TEST_F(MainWindow, MissingInitialDirectoryAndNoSendsNothingMore) {
  ScriptedPeer peer;
  GreetAndLogin(peer).Reply("CWD", "550 no such directory\r\n").Reply("PWD", "257 \"/\"\r\n");
  peer.Start();
  dir.WriteIni(ProfileIni(peer.Port(), "Directory=Dir\r\n"));
  Open();
  boxes.Answer(BoxAnswer::No);
  Connect();
  form->PwdMNU->trigger();
  ASSERT_TRUE(peer.Wait());
  EXPECT_EQ(peer.Commands(), (Commands{"USER tester", "PASS secret", "CWD Dir", "PWD"}));
  EXPECT_TRUE(form->PwdMNU->isEnabled());
}

// Without Auto Save Config the dialog's Port box is not used: the port
// comes from the profile read at start-up.
TEST_F(MainWindow, PortComesFromTheActiveProfileWhenNotSaved) {
  ScriptedPeer peer;
  GreetAndLogin(peer);
  peer.Start();
  dir.WriteIni(ProfileIni(peer.Port()));
  Open();
  Connect([](QWidget* d) {
    TypeInto(Child<QLineEdit>(d, "Port"), "1");
    Child<QCheckBox>(d, "CheckBox3")->setChecked(false);
  });
  ASSERT_TRUE(peer.Wait());
  EXPECT_TRUE(form->Engine().Connected);
}

TEST_F(MainWindow, RefusedConnectionLeavesTheMenusAlone) {
  dir.WriteIni(ProfileIni(ClosedPort()));
  Open();
  Connect();
  EXPECT_TRUE(TranscriptHas("Connection to 127.0.0.1 failed"));
  EXPECT_TRUE(LogHas("Connected to 127.0.0.1 Failed"));
  EXPECT_FALSE(form->Engine().Connected);
  EXPECT_TRUE(form->ConnectMNU->isEnabled());
  EXPECT_FALSE(form->QuitMNU->isEnabled());
  ASSERT_EQ(boxes.Boxes().size(), 1u);  // the socket error, through the window's boxes
  EXPECT_EQ(boxes.Boxes()[0].caption, "Error");
  EXPECT_NE(boxes.Boxes()[0].text.find("10061"), std::string::npos);

  // Closing now sends nothing and logs nothing more.
  const std::string log = dir.ReadLog();
  form->close();
  EXPECT_EQ(dir.ReadLog(), log);
}

TEST_F(MainWindow, CancelledSetupEmptiesTheTranscriptAndTriesNothing) {
  Open();
  form->Engine().ShowLine("old line");
  CancelNextModal();
  form->ConnectMNU->trigger();
  EXPECT_EQ(form->Memo1->toPlainText(), "");
  EXPECT_FALSE(form->Engine().Connected);
  EXPECT_EQ(dir.ReadLog(), "");
}

TEST_F(MainWindow, ConnectWhileConnectedOnlySaysSo) {
  ScriptedPeer peer;
  GreetAndLogin(peer);
  peer.Start();
  dir.WriteIni(ProfileIni(peer.Port()));
  Open();
  Connect();
  form->ConnectMNUClick();  // the item is disabled; its handler still refuses
  EXPECT_TRUE(TranscriptHas("Already connected to remote host: 127.0.0.1"));
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(MainWindow, ExitWhileConnectedDisconnectsOnceAndCloses) {
  ScriptedPeer peer;
  GreetAndLogin(peer).Reply("QUIT", "221 bye\r\n");
  peer.Start();
  dir.WriteIni(ProfileIni(peer.Port()));
  Open();
  Connect();
  form->ExitMNU->trigger();
  QTest::qWait(50);
  EXPECT_FALSE(form->isVisible());
  EXPECT_TRUE(LogHas("Disconnecting from remote host: 127.0.0.1"));
  EXPECT_TRUE(TranscriptHas("Disconnecting from remote host: 127.0.0.1"));
  form.reset();
  ASSERT_TRUE(peer.WaitForClose());
  EXPECT_EQ(peer.Commands(), (Commands{"USER tester", "PASS secret", "QUIT"}));
}

TEST_F(MainWindow, ClosingWhileConnectedSendsQuit) {
  ScriptedPeer peer;
  GreetAndLogin(peer).Reply("QUIT", "221 bye\r\n");
  peer.Start();
  dir.WriteIni(ProfileIni(peer.Port()));
  Open();
  Connect();
  form->close();
  EXPECT_FALSE(form->isVisible());
  EXPECT_TRUE(LogHas("QUIT"));
  ASSERT_TRUE(peer.WaitForClose());
  EXPECT_EQ(peer.Commands(), (Commands{"USER tester", "PASS secret", "QUIT"}));
}

}  // namespace
