#pragma once
// The View File dialog: the remote file to show and the transfer mode.
#include <QDialog>
#include <string>

#include "ui/TransferMode.h"

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

class TViewDLG : public QDialog, public TransferMode {
  Q_OBJECT
public:
  explicit TViewDLG(QWidget* parent = nullptr);

  std::string FileNameText() const;

  QFrame* Bevel1;
  QLabel* Label1;
  QLineEdit* FileName;
  QPushButton* OKBtn;
  QPushButton* CancelBtn;

protected:
  void showEvent(QShowEvent* event) override;  // FormShow: focus into FileName
};
