#pragma once
// The "Transfer Mode" group shared by the Get, Put and View dialogs: three
// radio buttons that choose the transfer-type command.
#include <string>

class QGroupBox;
class QRadioButton;
class QWidget;

struct TransferMode {
  // Builds GroupBox1 on parent at left/top with rbASCII, rbEBCDIC and
  // rbBINARY (in that tab order), rbASCII selected. binaryWidth is the
  // width of the "Binary" button, which differs between the dialogs.
  TransferMode(QWidget* parent, int left, int top, int binaryWidth);

  // "TYPE A" when ASCII is selected, else "TYPE I" when Binary is, else "TYPE E".
  std::string TypeCommand() const;

  QGroupBox* GroupBox1;
  QRadioButton* rbASCII;
  QRadioButton* rbEBCDIC;
  QRadioButton* rbBINARY;

protected:
  ~TransferMode() = default;  // a base of the dialogs, never deleted through it
};
