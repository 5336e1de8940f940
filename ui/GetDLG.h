#pragma once
// The Retrieve File dialog: the remote file to get, the local name to store
// it under and the transfer mode.
#include <QDialog>
#include <string>

#include "ui/TransferMode.h"

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

class TGetDLG : public QDialog, public TransferMode {
  Q_OBJECT
public:
  explicit TGetDLG(QWidget* parent = nullptr);
  ~TGetDLG() override;

  std::string FileNameText() const;   // the remote name
  std::string LocalNameText() const;  // the local name

  // The focus left FileName: its text becomes the local name as it stands.
  void FileNameExit();

  QFrame* Bevel1;
  QLabel* Label1;
  QLabel* Label2;
  QLineEdit* FileName;
  QLineEdit* LocalName;
  QPushButton* OKBtn;
  QPushButton* CancelBtn;

protected:
  void showEvent(QShowEvent* event) override;  // FormShow: focus into FileName
  bool eventFilter(QObject* watched, QEvent* event) override;
};
