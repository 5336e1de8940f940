// The main window's commands against a real FTP server (pyftpdlib), each
// through its menu item and dialog, checked on the server's files.
#include "MainWindowKit.h"
#include "support/FtpServer.h"

using namespace mw;

namespace {

TEST_F(MainWindow, EveryCommandWorksAgainstARealServer) {
  FtpServer server;
  server.WriteFile("readme.txt", "hello from the server\n");
  const std::string binary("\x00\x01\xff\r\n\x7f", 6);
  server.WriteFile("data.bin", binary);
  dir.WriteIni(ProfileIni(server.Port()));
  dir.WriteFile("local.dat", std::string(70000, 'x') + binary);
  Open();

  Play({
      {&TFTPForm::ConnectMNU, "UserName=" + server.User() + "|Password=" + server.Password() + "|Enter"},
      {&TFTPForm::DirMNU, "Enter"},
      {&TFTPForm::GetMNU, ">data.bin|Tab|LocalName=copy.bin|rbBINARY|OKBtn"},
      {&TFTPForm::PutMNU, ">local.dat|Tab|rbBINARY|OKBtn"},
      {&TFTPForm::ViewMNU, ">readme.txt|Enter"}, {&TFTPForm::RenameMNU, ">data.bin|Tab|>renamed.bin|Enter"},
      {&TFTPForm::DeleteMNU, ">renamed.bin|Enter"},
      {&TFTPForm::MkDirMNU, ">folder|Enter"}, {&TFTPForm::ChDirMNU, ">folder|Enter"},
      {&TFTPForm::PwdMNU, ""}, {&TFTPForm::ParentMNU, ""},
      {&TFTPForm::RmDirMNU, ">folder|Enter"}, {&TFTPForm::QuitMNU, ""},
  });
  for (const char* line : {"230 Login successful.", "data.bin", "hello from the server",
                           "257 \"/folder\" is the current directory."})
    EXPECT_TRUE(form->Memo1->toPlainText().contains(line)) << line;
  EXPECT_EQ(dir.ReadFile("copy.bin"), binary);
  EXPECT_EQ(server.ReadFile("local.dat"), std::string(70000, 'x') + binary);
  for (const char* gone : {"data.bin", "renamed.bin", "folder"}) EXPECT_FALSE(server.Exists(gone)) << gone;
  EXPECT_FALSE(form->Engine().Connected);
  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_EQ(Log(), (Lines{"Connected to 127.0.0.1", "LIST *.*", "Getfile copy.bin",
                          "Putfile local.dat", "Total bytes written to remote host :70006",
                          "ViewFile readme.txt", "Rename data.bin to renamed.bin",
                          "DeleteFile renamed.bin", "MakeDir folder", "Changedir folder",
                          "ParentDir", "RemoveDir folder", "QUIT"}));
}

}  // namespace
