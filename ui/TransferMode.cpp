#include "ui/TransferMode.h"

#include <QGroupBox>
#include <QRadioButton>
#include <algorithm>

namespace {

QRadioButton* MakeButton(QGroupBox* group, const char* name, const char* caption, int left,
                         int width) {
  auto* button = new QRadioButton(caption, group);
  button->setObjectName(name);
  // Room for the platform's indicator and font: never narrower than it needs.
  button->setGeometry(left, 15, std::max(width, button->sizeHint().width()), 17);
  button->resize(button->width(), std::max(17, button->sizeHint().height()));
  return button;
}

}  // namespace

TransferMode::TransferMode(QWidget* parent, int left, int top, int binaryWidth) {
  GroupBox1 = new QGroupBox("Transfer Mode", parent);
  GroupBox1->setObjectName("GroupBox1");
  GroupBox1->setGeometry(left, top, 209, 41);
  rbASCII = MakeButton(GroupBox1, "rbASCII", "ASCII", 8, 57);
  rbEBCDIC = MakeButton(GroupBox1, "rbEBCDIC", "EBCDIC", 64, 65);
  rbBINARY = MakeButton(GroupBox1, "rbBINARY", "Binary", 136, binaryWidth);
  rbASCII->setChecked(true);
  QWidget::setTabOrder(rbASCII, rbEBCDIC);
  QWidget::setTabOrder(rbEBCDIC, rbBINARY);
}

std::string TransferMode::TypeCommand() const {
  if (rbASCII->isChecked()) return "TYPE A";
  if (rbBINARY->isChecked()) return "TYPE I";
  return "TYPE E";
}
