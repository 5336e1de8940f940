#include "ui/ViewDLG.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "ui/DialogControls.h"
#include "ui/Text.h"

TViewDLG::TViewDLG(QWidget* parent) : QDialog(parent), TransferMode(this, 37, 56, 57) {
  setObjectName("ViewDLG");
  setWindowTitle("ViewFile");
  setFixedSize(371, 108);

  Bevel1 = MakeBevel(this, 8, 8, 281, 97);
  FileName = MakeEdit(this, "FileName", 125, 19);
  Label1 = MakeLabel(this, "Label1", "Filename to view: ", 24, 23, FileName);
  OKBtn = MakeOKButton(this, 292, 8);
  CancelBtn = MakeCancelButton(this, 292, 40);

  setTabOrder(FileName, rbASCII);
  setTabOrder(rbBINARY, OKBtn);
  setTabOrder(OKBtn, CancelBtn);
  CentreOnScreen(this);
}

std::string TViewDLG::FileNameText() const { return FromQ(FileName->text()); }

void TViewDLG::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FileName->setFocus();
}
