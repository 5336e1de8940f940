// Directory and Misc-Commands menus, Rename and Delete.
#include "ui/FTPForm.h"
#include "ui/PromptBox.h"
#include "ui/RenDLG.h"

void TFTPForm::PromptedCommand(const char* caption, const char* prompt, const char* format,
                               const char* logPrefix) {
  std::string value;
  if (InputQuery(this, caption, prompt, value)) engine_->SendCommand(format, {value});
  engine_->WriteLog(logPrefix + value);
}

void TFTPForm::DirMNUClick() {
  std::string pattern = "*.*";
  if (!InputQuery(this, "Remote Directory Listing", "Pattern:", pattern)) return;
  if (pattern == "*.*") {
    engine_->ListRemote("LIST");
    engine_->WriteLog("LIST *.*");
  } else {
    engine_->ListRemote("LIST %s", {pattern});
    engine_->WriteLog("LIST " + pattern);
  }
}

void TFTPForm::PwdMNUClick() { engine_->SendCommand("PWD"); }

void TFTPForm::ChDirMNUClick() {
  PromptedCommand("Change Directory", "Directory:", "CWD %s", "Changedir ");
}

void TFTPForm::ParentMNUClick() {
  engine_->SendCommand("CDUP");
  engine_->WriteLog("ParentDir");
}

void TFTPForm::MkDirMNUClick() {
  PromptedCommand("Make Directory", "Directory:", "MKD %s", "MakeDir ");
}

void TFTPForm::RmDirMNUClick() {
  PromptedCommand("Remove Directory", "Directory:", "RMD %s", "RemoveDir ");
}

void TFTPForm::DeleteMNUClick() {
  PromptedCommand("Delete Remote File", "File to Delete:", "DELE %s", "DeleteFile ");
}

void TFTPForm::QuoteMNUClick() {
  PromptedCommand("Enter FTP command", "Command:", "%s", "Quote ");
}

void TFTPForm::HelpMNUClick() {
  engine_->SendCommand("HELP");
  engine_->WriteLog("HelpRequested");
}

void TFTPForm::RenameMNUClick() {
  TRenDLG dialog(this);
  if (dialog.exec() != QDialog::Accepted) return;
  const std::string from = dialog.FromName();
  const std::string to = dialog.ToName();
  if (engine_->SendCommand("RNFR %s", {from}) == 3) engine_->SendCommand("RNTO %s", {to});
  engine_->WriteLog("Rename " + from + " to " + to);
}
