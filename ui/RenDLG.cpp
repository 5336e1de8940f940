#include "ui/RenDLG.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "ui/DialogControls.h"
#include "ui/Text.h"

TRenDLG::TRenDLG(QWidget* parent) : QDialog(parent) {
  setObjectName("RenDLG");
  setWindowTitle("Rename Remote File");
  setFixedSize(340, 85);

  Bevel1 = MakeBevel(this, 8, 8, 241, 73);
  FileFrom = MakeEdit(this, "FileFrom", 112, 20);
  FileTo = MakeEdit(this, "FileTo", 112, 48);
  Label1 = MakeLabel(this, "Label1", "Rename From: ", 24, 24, FileFrom);
  Label2 = MakeLabel(this, "Label2", "Rename To: ", 34, 52, FileTo);
  OKBtn = MakeOKButton(this, 260, 8);
  CancelBtn = MakeCancelButton(this, 260, 40);

  setTabOrder(FileFrom, FileTo);
  setTabOrder(FileTo, OKBtn);
  setTabOrder(OKBtn, CancelBtn);
  CentreOnScreen(this);
}

std::string TRenDLG::FromName() const { return FromQ(FileFrom->text()); }
std::string TRenDLG::ToName() const { return FromQ(FileTo->text()); }

void TRenDLG::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FileFrom->setFocus();
}
