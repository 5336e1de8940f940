#include "ui/GetDLG.h"

#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "ui/DialogControls.h"
#include "ui/Text.h"

TGetDLG::TGetDLG(QWidget* parent) : QDialog(parent), TransferMode(this, 37, 72, 49) {
  setObjectName("GetDLG");
  setWindowTitle("Retrieve File");
  setFixedSize(347, 136);

  Bevel1 = MakeBevel(this, 8, 7, 257, 122);
  FileName = MakeEdit(this, "FileName", 125, 19);
  LocalName = MakeEdit(this, "LocalName", 125, 44);
  Label1 = MakeLabel(this, "Label1", "Filename to Get: ", 32, 23, FileName);
  Label2 = MakeLabel(this, "Label2", "Local Name: ", 48, 48, LocalName);
  OKBtn = MakeOKButton(this, 268, 7);
  CancelBtn = MakeCancelButton(this, 268, 39);

  setTabOrder(FileName, LocalName);
  setTabOrder(LocalName, rbASCII);
  setTabOrder(rbBINARY, OKBtn);
  setTabOrder(OKBtn, CancelBtn);

  FileName->installEventFilter(this);
  CentreOnScreen(this);
}

TGetDLG::~TGetDLG() { FileName->removeEventFilter(this); }

std::string TGetDLG::FileNameText() const { return FromQ(FileName->text()); }
std::string TGetDLG::LocalNameText() const { return FromQ(LocalName->text()); }

void TGetDLG::FileNameExit() { LocalName->setText(FileName->text()); }

void TGetDLG::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  FileName->setFocus();
}

bool TGetDLG::eventFilter(QObject* watched, QEvent* event) {
  if (watched == FileName && IsFocusLeave(event)) FileNameExit();
  return QDialog::eventFilter(watched, event);
}
