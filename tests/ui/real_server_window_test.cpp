// The main window's commands against a real FTP server (pyftpdlib): every
// command through its menu item, checked on the server's files.
#include <filesystem>

#include "MainWindowKit.h"
#include "support/FtpServer.h"

using namespace mw;

namespace {

TEST_F(MainWindow, EveryCommandWorksAgainstARealServer) {
  FtpServer server;
  server.WriteFile("readme.txt", "hello from the server\n");
  const std::string binary("\x00\x01\xff\r\n\x7f", 6);
  server.WriteFile("data.bin", binary);
  dir.WriteIni(ProfileIni(server.Port(), "", server.User(), server.Password()));
  Open();

  Connect();
  ASSERT_TRUE(form->Engine().Connected);
  EXPECT_TRUE(TranscriptHas("230 Login successful."));

  AcceptPrompt();
  form->DirMNU->trigger();
  EXPECT_TRUE(form->Memo1->toPlainText().contains("readme.txt"));
  EXPECT_TRUE(form->Memo1->toPlainText().contains("data.bin"));

  auto transfer = [](std::string first, const char* second, const char* mode) {
    AnswerNextModal([=](QWidget* d) {
      auto* name = Child<QLineEdit>(d, "FileName");
      QTest::keyClicks(name, QString::fromStdString(first));
      QTest::keyClick(name, Qt::Key_Tab);
      if (second) {
        QLineEdit* other = d->findChild<QLineEdit*>("LocalName");
        if (!other) other = d->findChild<QLineEdit*>("RemoteName");
        TypeInto(other, second);
      }
      Child<QRadioButton>(d, mode)->click();
      ClickOK(d);
    });
  };
  transfer("data.bin", "copy.bin", "rbBINARY");
  form->GetMNU->trigger();
  EXPECT_EQ(dir.ReadFile("copy.bin"), binary);

  dir.WriteFile("local.dat", std::string(70000, 'x') + binary);
  transfer(dir.FilePath("local.dat"), nullptr, "rbBINARY");
  form->PutMNU->trigger();
  EXPECT_EQ(server.ReadFile("local.dat"), std::string(70000, 'x') + binary);

  transfer("readme.txt", nullptr, "rbASCII");
  form->ViewMNU->trigger();  // View Separate is off in this profile
  EXPECT_TRUE(TranscriptHas("hello from the server"));

  AnswerNextModal([](QWidget* d) {
    TypeInto(Child<QLineEdit>(d, "FileFrom"), "local.dat");
    TypeInto(Child<QLineEdit>(d, "FileTo"), "renamed.dat");
    ClickOK(d);
  });
  form->RenameMNU->trigger();
  EXPECT_TRUE(server.Exists("renamed.dat"));
  EXPECT_FALSE(server.Exists("local.dat"));

  AnswerPrompt("renamed.dat");
  form->DeleteMNU->trigger();
  EXPECT_FALSE(server.Exists("renamed.dat"));

  AnswerPrompt("folder");
  form->MkDirMNU->trigger();
  EXPECT_TRUE(std::filesystem::is_directory(server.Root() / "folder"));
  AnswerPrompt("folder");
  form->ChDirMNU->trigger();
  form->PwdMNU->trigger();
  EXPECT_TRUE(TranscriptHas("257 \"/folder\" is the current directory."));
  form->ParentMNU->trigger();
  AnswerPrompt("folder");
  form->RmDirMNU->trigger();
  EXPECT_FALSE(server.Exists("folder"));

  form->QuitMNU->trigger();
  EXPECT_FALSE(form->Engine().Connected);
  EXPECT_TRUE(boxes.Boxes().empty());
  for (const char* line : {"Getfile copy.bin", "Putfile local.dat", "ViewFile readme.txt",
                           "Rename local.dat to renamed.dat", "DeleteFile renamed.dat",
                           "MakeDir folder", "Changedir folder", "RemoveDir folder", "QUIT"})
    EXPECT_TRUE(LogHas(line)) << line;
}

}  // namespace
