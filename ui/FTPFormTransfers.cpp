// File Transfers and Options menus.
#include "settings/Options.h"
#include "ui/FTPForm.h"
#include "ui/GetDLG.h"
#include "ui/PromptBox.h"
#include "ui/PutDLG.h"
#include "ui/ViewDLG.h"

void TFTPForm::GetMNUClick() {
  TGetDLG dialog(this);
  if (dialog.exec() != QDialog::Accepted) return;
  engine_->Retrieve(dialog.FileNameText(), dialog.LocalNameText(), dialog.TypeCommand());
  engine_->WriteLog("Getfile " + dialog.LocalNameText());
}

void TFTPForm::PutMNUClick() {
  TPutDLG dialog(this);
  if (dialog.exec() != QDialog::Accepted) return;
  engine_->WriteLog("Putfile " + dialog.RemoteNameText());
  engine_->StoreFile(dialog.TypeCommand(), dialog.FileNameText(), dialog.RemoteNameText());
}

void TFTPForm::ViewMNUClick() {
  TViewDLG dialog(this);
  if (dialog.exec() != QDialog::Accepted) return;
  engine_->Retrieve(dialog.FileNameText(), "", dialog.TypeCommand());
  engine_->WriteLog("ViewFile " + dialog.FileNameText());
}

void TFTPForm::CancelMNUClick() { engine_->CancelTransfer(); }

void TFTPForm::DirSepMNUClick() {
  std::string& value = engine_->DirSep;
  value = ToggledSeparateValue(value);
  DirSepMNU->setChecked(SeparateChecked(value));
  WriteDirSep(IniPath(), value);
}

void TFTPForm::ViewSepMNUClick() {
  std::string& value = engine_->ViewSep;
  value = ToggledSeparateValue(value);
  ViewSepMNU->setChecked(SeparateChecked(value));
  WriteViewSep(IniPath(), value);
}

void TFTPForm::FastMNUClick() {
  engine_->FastTransfers = !engine_->FastTransfers;
  FastMNU->setChecked(engine_->FastTransfers);
  WriteFastTransfers(IniPath(), engine_->FastTransfers);
}

void TFTPForm::EditorMNUClick() {
  std::string& editor = engine_->Editor;
  editor = ReadEditor(IniPath());
  editor = InputBox(this, "Enter preferred editor", "Editor:", editor);
  WriteEditor(IniPath(), editor);
}
