// The Get, Put and View dialogs: focus-leave naming, transfer mode, Browse.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <string>

#include "ui/GetDLG.h"
#include "ui/PutDLG.h"
#include "ui/ViewDLG.h"

namespace {

void ShowActive(QDialog& dialog) {
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
}

// Types text into a box that has the focus and leaves it with Tab.
void TypeAndTab(QLineEdit* box, const QString& text) {
  box->setFocus();
  box->setText(QString());
  QTest::keyClicks(box, text);
  QTest::keyClick(box, Qt::Key_Tab);
}

// Restores the current directory that Browse changes.
struct CurrentDirGuard {
  QString saved = QDir::currentPath();
  ~CurrentDirGuard() { QDir::setCurrent(saved); }
};

TEST(GetDialog, LeavingFileNameCopiesItToLocalName) {
  TGetDLG dialog;
  ShowActive(dialog);
  EXPECT_EQ(QApplication::focusWidget(), dialog.FileName);

  TypeAndTab(dialog.FileName, "pub/readme.txt");
  EXPECT_EQ(QApplication::focusWidget(), dialog.LocalName);
  EXPECT_EQ(dialog.LocalNameText(), "pub/readme.txt");

  // A local name typed afterwards stays while the focus stays out of FileName.
  dialog.LocalName->clear();
  QTest::keyClicks(dialog.LocalName, "mine.txt");
  QTest::keyClick(dialog.LocalName, Qt::Key_Tab);
  EXPECT_EQ(dialog.LocalNameText(), "mine.txt");

  // Leaving with the mouse counts as well.
  dialog.FileName->setFocus();
  QTest::keyClicks(dialog.FileName, "2");
  QTest::mouseClick(dialog.LocalName, Qt::LeftButton);
  EXPECT_EQ(QApplication::focusWidget(), dialog.LocalName);
  EXPECT_EQ(dialog.LocalNameText(), "pub/readme.txt2");
}

TEST(GetDialog, EnterInFileNameClosesWithoutTouchingLocalName) {
  TGetDLG dialog;
  QTimer::singleShot(0, [&] {
    if (!QTest::qWaitForWindowActive(&dialog)) {
      ADD_FAILURE() << "the dialog never got the focus";
      dialog.reject();
      return;
    }
    QTest::keyClicks(QApplication::focusWidget(), "remote.bin");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  });
  EXPECT_EQ(dialog.exec(), QDialog::Accepted);
  EXPECT_EQ(dialog.FileNameText(), "remote.bin");
  EXPECT_EQ(dialog.LocalNameText(), "");
}

TEST(PutDialog, RemoteNameIsTheNamePartOfFileName) {
  TPutDLG dialog;
  ShowActive(dialog);
  EXPECT_EQ(QApplication::focusWidget(), dialog.FileName);

  TypeAndTab(dialog.FileName, "/home/user/docs/report.txt");
  EXPECT_EQ(QApplication::focusWidget(), dialog.RemoteName);
  EXPECT_EQ(dialog.RemoteNameText(), "report.txt");

  TypeAndTab(dialog.FileName, "notes.txt");
  EXPECT_EQ(dialog.RemoteNameText(), "notes.txt");

  TypeAndTab(dialog.FileName, "C:report.txt");  // no drive letters here
  EXPECT_EQ(dialog.RemoteNameText(), "C:report.txt");

  TypeAndTab(dialog.FileName, "folder/");
  EXPECT_EQ(dialog.RemoteNameText(), "");

  TypeAndTab(dialog.FileName, "/tmp/" + QString(300, 'n'));
  EXPECT_EQ(dialog.RemoteNameText(), std::string(255, 'n'));
}

TEST(TransferDialogs, StartInASCIIEveryTimeAndMapTheModes) {
  for (int round = 0; round < 2; ++round) {
    TGetDLG get;
    TPutDLG put;
    TViewDLG view;
    for (TransferMode* mode : {static_cast<TransferMode*>(&get), static_cast<TransferMode*>(&put),
                               static_cast<TransferMode*>(&view)}) {
      EXPECT_TRUE(mode->rbASCII->isChecked());
      EXPECT_EQ(mode->GroupBox1->objectName(), "GroupBox1");
      EXPECT_EQ(mode->TypeCommand(), "TYPE A");
      QTest::mouseClick(mode->rbBINARY, Qt::LeftButton);
      EXPECT_EQ(mode->TypeCommand(), "TYPE I");
      QTest::mouseClick(mode->rbEBCDIC, Qt::LeftButton);
      EXPECT_EQ(mode->TypeCommand(), "TYPE E");
      EXPECT_FALSE(mode->rbBINARY->isChecked());
    }
  }
}

TEST(ViewDialog, StartsInFileNameAndGivesItBack) {
  TViewDLG dialog;
  EXPECT_EQ(dialog.windowTitle(), "ViewFile");
  QTimer::singleShot(0, [&] {
    if (!QTest::qWaitForWindowActive(&dialog)) {
      ADD_FAILURE() << "the dialog never got the focus";
      dialog.reject();
      return;
    }
    EXPECT_EQ(QApplication::focusWidget(), dialog.FileName);
    QTest::keyClicks(dialog.FileName, "welcome.msg");
    QTest::mouseClick(dialog.OKBtn, Qt::LeftButton);
  });
  EXPECT_EQ(dialog.exec(), QDialog::Accepted);
  EXPECT_EQ(dialog.FileNameText(), "welcome.msg");
}

TEST(PutDialog, BrowseFillsFileNameKeepsRemoteNameAndChangesFolder) {
  CurrentDirGuard guard;
  QTemporaryDir temp;
  ASSERT_TRUE(temp.isValid());
  const QString folder = QDir(temp.path()).canonicalPath();
  const QString file = folder + "/up load.txt";
  QFile(file).open(QIODevice::WriteOnly);

  TPutDLG dialog;
  ShowActive(dialog);
  TypeAndTab(dialog.FileName, "first.txt");
  ASSERT_EQ(dialog.RemoteNameText(), "first.txt");

  // Nothing chosen: nothing changes.
  dialog.chooseFile = [](QWidget*) { return QString(); };
  dialog.FileName->setFocus();
  QTest::mouseClick(dialog.Browse, Qt::LeftButton);
  EXPECT_EQ(dialog.FileNameText(), "first.txt");
  EXPECT_EQ(QDir::currentPath(), guard.saved);

  dialog.chooseFile = [&](QWidget*) { return file; };
  dialog.FileName->setFocus();
  QTest::mouseClick(dialog.Browse, Qt::LeftButton);
  EXPECT_EQ(dialog.FileNameText(), file.toStdString());
  EXPECT_EQ(dialog.RemoteNameText(), "first.txt");
  EXPECT_EQ(QApplication::focusWidget(), dialog.RemoteName);
  EXPECT_EQ(QDir::currentPath(), folder);

  // Called with the focus still in FileName, Browse still leaves RemoteName.
  dialog.FileName->setFocus();
  dialog.BrowseClick();
  EXPECT_EQ(dialog.RemoteNameText(), "first.txt");
  EXPECT_EQ(QApplication::focusWidget(), dialog.RemoteName);
}

TEST(PutDialog, BrowseOffersExistingFilesOfAnyName) {
  CurrentDirGuard guard;
  QTemporaryDir temp;
  ASSERT_TRUE(temp.isValid());
  const QString folder = QDir(temp.path()).canonicalPath();
  QFile(folder + "/data.bin").open(QIODevice::WriteOnly);
  QDir::setCurrent(folder);

  TPutDLG dialog;
  ShowActive(dialog);
  QStringList filters;
  QFileDialog::FileMode mode = QFileDialog::AnyFile;
  QTimer::singleShot(0, [&] {
    auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (files == nullptr) {
      ADD_FAILURE() << "no file dialog";
      if (QWidget* other = QApplication::activeModalWidget()) other->close();
      return;
    }
    filters = files->nameFilters();
    mode = files->fileMode();
    files->selectFile(folder + "/data.bin");
    static_cast<QDialog*>(files)->accept();
  });
  dialog.BrowseClick();
  EXPECT_EQ(filters, QStringList{"All files (*)"});
  EXPECT_EQ(mode, QFileDialog::ExistingFile);
  EXPECT_EQ(dialog.FileNameText(), (folder + "/data.bin").toStdString());
}

}  // namespace
