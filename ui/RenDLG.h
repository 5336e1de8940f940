#pragma once
// The Rename Remote File dialog: the old and the new name of a remote file.
#include <QDialog>
#include <string>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

class TRenDLG : public QDialog {
  Q_OBJECT
public:
  explicit TRenDLG(QWidget* parent = nullptr);

  std::string FromName() const;  // the text of FileFrom
  std::string ToName() const;    // the text of FileTo

  QFrame* Bevel1;
  QLabel* Label1;
  QLabel* Label2;
  QLineEdit* FileFrom;
  QLineEdit* FileTo;
  QPushButton* OKBtn;
  QPushButton* CancelBtn;

protected:
  void showEvent(QShowEvent* event) override;  // FormShow: focus into FileFrom
};
