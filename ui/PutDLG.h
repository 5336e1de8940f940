#pragma once
// The Send File dialog: the local file to send, the name it gets on the
// server and the transfer mode; "..." browses for the local file.
#include <QDialog>
#include <QString>
#include <functional>
#include <string>

#include "ui/TransferMode.h"

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

class TPutDLG : public QDialog, public TransferMode {
  Q_OBJECT
public:
  explicit TPutDLG(QWidget* parent = nullptr);
  ~TPutDLG() override;

  std::string FileNameText() const;    // the local path
  std::string RemoteNameText() const;  // the remote name

  // The focus left FileName: the name part of its text (after the last '/',
  // at most 255 characters) becomes the remote name.
  void FileNameExit();

  // Asks for an existing file; on a choice FileName gets its full path, the
  // focus moves to RemoteName (which keeps its text) and the file's folder
  // becomes the current directory.
  void BrowseClick();

  // The file-open dialog Browse runs: returns the chosen file's path, or an
  // empty string when none was chosen. Replaceable for tests.
  std::function<QString(QWidget* parent)> chooseFile;

  QFrame* Bevel1;
  QLabel* Label1;
  QLabel* Label2;
  QLineEdit* FileName;
  QLineEdit* RemoteName;
  QPushButton* OKBtn;
  QPushButton* CancelBtn;
  QPushButton* Browse;

protected:
  void showEvent(QShowEvent* event) override;  // starts in FileName
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  bool browsing_ = false;
};
