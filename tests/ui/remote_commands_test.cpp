// The Directory, Misc-Commands, Rename and Delete commands of the main
// window against the scripted peer: what each sends for OK and Cancel, and
// the log line each writes.
#include <QLabel>
#include <algorithm>

#include "MainWindowKit.h"

using namespace mw;

namespace {

using Commands = std::vector<std::string>;

class RemoteCommands : public MainWindow {
protected:
  // Starts the peer with `script` after the login and connects to it.
  void ConnectWith(std::function<void(ScriptedPeer&)> script) {
    GreetAndLogin(peer);
    script(peer);
    peer.Start();
    dir.WriteIni(ProfileIni(peer.Port()));
    Open();
    Connect();
    ASSERT_TRUE(form->Engine().Connected);
  }
  // The commands after USER and PASS, once `count` lines in all have come.
  Commands After(size_t count) {
    EXPECT_TRUE(peer.WaitForCommands(count + 2)) << peer.Trace();
    Commands all = peer.Commands();
    Commands after(all.begin() + std::min<size_t>(2, all.size()), all.end());
    for (auto& c : after)
      if (c.rfind("PORT ", 0) == 0) c = "PORT";  // its address changes each time
    return after;
  }
  int LogCount(const std::string& text) const {
    int n = 0;
    for (const auto& l : SplitLines(dir.ReadLog()))
      if (l.size() >= 20 && l.substr(20) == text) ++n;
    return n;
  }

  ScriptedPeer peer;
};

TEST_F(RemoteCommands, PromptedCommandsSendTheirEmptyArgumentAfterOKAndNothingAfterCancel) {
  ConnectWith([](ScriptedPeer& p) {
    p.Reply("CWD ", "250 ok\r\n")
        .Reply("MKD ", "257 made\r\n")
        .Reply("RMD ", "250 removed\r\n")
        .Reply("DELE ", "250 deleted\r\n")
        .Reply("", "500 what?\r\n")
        .Reply("PWD", "257 \"/\"\r\n");
  });
  struct Row {
    QAction* item;
    const char* caption;
    const char* prompt;
    const char* log;
  };
  const std::vector<Row> rows = {
      {form->ChDirMNU, "Change Directory", "Directory:", "Changedir "},
      {form->MkDirMNU, "Make Directory", "Directory:", "MakeDir "},
      {form->RmDirMNU, "Remove Directory", "Directory:", "RemoveDir "},
      {form->DeleteMNU, "Delete Remote File", "File to Delete:", "DeleteFile "},
      {form->QuoteMNU, "Enter FTP command", "Command:", "Quote "},
  };
  for (const Row& row : rows) {
    QString caption, prompt, value = "unset";
    AnswerNextModal([&](QWidget* d) {
      caption = d->windowTitle();
      prompt = Child<QLabel>(d, "Prompt")->text();
      value = Child<QLineEdit>(d, "Value")->text();
      ClickOK(d);
    });
    row.item->trigger();
    EXPECT_EQ(caption, row.caption);
    EXPECT_EQ(prompt, row.prompt);
    EXPECT_EQ(value, "");  // each starts empty
    CancelNextModal();
    row.item->trigger();
    EXPECT_EQ(LogCount(row.log), 2) << row.log;  // after OK and after Cancel
  }
  form->PwdMNU->trigger();
  EXPECT_EQ(After(6), (Commands{"CWD ", "MKD ", "RMD ", "DELE ", "", "PWD"}));
  EXPECT_TRUE(peer.Failures().empty()) << peer.Trace();
}

TEST_F(RemoteCommands, ListSendsPlainListForStarDotStarAndThePatternOtherwise) {
  auto listing = [](ScriptedPeer& p, const std::string& list, const std::string& data) {
    p.Reply("TYPE A", "200 ok\r\n")
        .Reply("PORT", "200 ok\r\n")
        .Reply(list, "150 here it comes\r\n")
        .DataConnect()
        .DataSend(data)
        .DataClose()
        .Send("226 done\r\n");
  };
  ConnectWith([&](ScriptedPeer& p) {
    listing(p, "LIST", "first.txt\r\nsecond.bin\r\n");
    listing(p, "LIST *.txt", "first.txt\r\n");
    listing(p, "LIST ", "x\r\n");
  });
  QString offered;
  AnswerNextModal([&](QWidget* d) {
    offered = Child<QLineEdit>(d, "Value")->selectedText();
    ClickOK(d);
  });
  form->DirMNU->trigger();
  EXPECT_EQ(offered, "*.*");
  EXPECT_TRUE(TranscriptHas("second.bin"));
  AnswerPrompt("*.txt");
  form->DirMNU->trigger();
  AnswerPrompt("");
  form->DirMNU->trigger();
  CancelNextModal();
  form->DirMNU->trigger();

  ASSERT_TRUE(peer.Wait()) << peer.Trace();
  EXPECT_EQ(After(9), (Commands{"TYPE A", "PORT", "LIST", "TYPE A", "PORT", "LIST *.txt",
                                "TYPE A", "PORT", "LIST "}));
  EXPECT_EQ(LogCount("LIST *.*"), 1);
  EXPECT_EQ(LogCount("LIST *.txt"), 1);
  EXPECT_EQ(LogCount("LIST "), 1);  // Cancel logs nothing
  EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(RemoteCommands, QuoteSendsFormatCharactersAsTypedAndLogsAPasswordInFull) {
  ConnectWith([](ScriptedPeer& p) {
    p.Reply("SITE", "200 ok\r\n").Reply("PASS", "230 ok\r\n").Reply("QUIT", "221 bye\r\n");
  });
  AnswerPrompt("SITE %s %d 100%");
  form->QuoteMNU->trigger();
  AnswerPrompt("PASS hidden");
  form->QuoteMNU->trigger();
  AnswerPrompt("QUIT");
  form->QuoteMNU->trigger();
  EXPECT_EQ(After(3), (Commands{"SITE %s %d 100%", "PASS hidden", "QUIT"}));
  EXPECT_EQ(LogCount("Quote SITE %s %d 100%"), 1);
  EXPECT_EQ(LogCount("Quote PASS hidden"), 1);
  EXPECT_FALSE(form->Memo1->toPlainText().contains("hidden"));
  // Quote does not interpret what it sends.
  EXPECT_TRUE(form->Engine().Connected);
  EXPECT_TRUE(form->QuitMNU->isEnabled());
}

TEST_F(RemoteCommands, RenameSendsRntoOnlyAfterA3xx) {
  ConnectWith([](ScriptedPeer& p) {
    p.Reply("RNFR", "550 no such file\r\n")
        .Reply("RNFR", "350 ready for the new name\r\n")
        .Reply("RNTO", "250 renamed\r\n");
  });
  auto rename = [&](const char* from, const char* to) {
    AnswerNextModal([=](QWidget* d) {
      TypeInto(Child<QLineEdit>(d, "FileFrom"), from);
      TypeInto(Child<QLineEdit>(d, "FileTo"), to);
      ClickOK(d);
    });
    form->RenameMNU->trigger();
  };
  rename("missing", "other");
  CancelNextModal();
  form->RenameMNU->trigger();
  rename("old name", "new name");
  EXPECT_EQ(After(3), (Commands{"RNFR missing", "RNFR old name", "RNTO new name"}));
  EXPECT_EQ(LogCount("Rename missing to other"), 1);
  EXPECT_EQ(LogCount("Rename old name to new name"), 1);
  EXPECT_EQ(LogCount("Rename  to "), 0);  // Cancel logs nothing
}

TEST_F(RemoteCommands, FixedCommandsSendTheirCommandAndLog) {
  ConnectWith([](ScriptedPeer& p) {
    p.Reply("PWD", "257 \"/home\" is current\r\n")
        .Reply("CDUP", "250 ok\r\n")
        .Reply("HELP", "214-help\r\n214 end\r\n");
  });
  form->PwdMNU->trigger();
  form->ParentMNU->trigger();
  form->HelpMNU->trigger();
  EXPECT_EQ(After(3), (Commands{"PWD", "CDUP", "HELP"}));
  EXPECT_TRUE(TranscriptHas("257 \"/home\" is current"));
  EXPECT_EQ(LogCount("ParentDir"), 1);
  EXPECT_EQ(LogCount("HelpRequested"), 1);
}

}  // namespace
