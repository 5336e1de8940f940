// The prompt box and the Rename Remote File dialog, driven by keyboard as a
// person would.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <string>

#include "ui/PromptBox.h"
#include "ui/RenDLG.h"

namespace {

// Runs answer on the modal dialog that opens next, once it has the focus.
void AnswerNextModal(std::function<void(QWidget*)> answer) {
  QTimer::singleShot(0, [answer] {
    QWidget* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr);
    if (!QTest::qWaitForWindowActive(dialog)) {
      ADD_FAILURE() << "the dialog never got the focus";
      dialog->close();
      return;
    }
    answer(dialog);
  });
}

QLineEdit* Value(QWidget* dialog) { return dialog->findChild<QLineEdit*>("Value"); }

TEST(PromptBox, ShowsCaptionPromptAndSelectedDefault) {
  std::string value = "*.*";
  QString caption, prompt, selected;
  int maxLength = 0;
  bool valueHasFocus = false;
  AnswerNextModal([&](QWidget* dialog) {
    caption = dialog->windowTitle();
    prompt = dialog->findChild<QLabel*>("Prompt")->text();
    selected = Value(dialog)->selectedText();
    maxLength = Value(dialog)->maxLength();
    valueHasFocus = QApplication::focusWidget() == Value(dialog);
    // Typing replaces the selected default.
    QTest::keyClicks(Value(dialog), "*.txt");
    QTest::keyClick(Value(dialog), Qt::Key_Return);
  });
  EXPECT_TRUE(InputQuery(nullptr, "Remote Directory Listing", "Pattern:", value));
  EXPECT_EQ(caption, "Remote Directory Listing");
  EXPECT_EQ(prompt, "Pattern:");
  EXPECT_EQ(selected, "*.*");
  EXPECT_EQ(maxLength, 255);
  EXPECT_TRUE(valueHasFocus);
  EXPECT_EQ(value, "*.txt");
}

TEST(PromptBox, RefusesInputBeyond255Characters) {
  std::string value;
  AnswerNextModal([](QWidget* dialog) {
    QTest::keyClicks(Value(dialog), QString(300, 'x'));
    dialog->findChild<QPushButton*>("OKBtn")->click();
  });
  EXPECT_TRUE(InputQuery(nullptr, "Enter FTP command", "Command:", value));
  EXPECT_EQ(value, std::string(255, 'x'));
}

TEST(PromptBox, KeepsAStoredDefaultLongerThanTheLimitWhole) {
  const std::string editor = "/opt/" + std::string(300, 'e');
  AnswerNextModal([](QWidget* dialog) {
    QTest::keyClick(Value(dialog), Qt::Key_End);
    QTest::keyClicks(Value(dialog), "more");  // no room to grow
    QTest::keyClick(Value(dialog), Qt::Key_Return);
  });
  EXPECT_EQ(InputBox(nullptr, "Enter preferred editor", "Editor:", editor), editor);
}

TEST(PromptBox, OKWithEmptyBoxGivesEmptyText) {
  std::string value = "old";
  AnswerNextModal([](QWidget* dialog) {
    QTest::keyClick(Value(dialog), Qt::Key_Delete);  // removes the selected default
    QTest::keyClick(Value(dialog), Qt::Key_Return);
  });
  EXPECT_TRUE(InputQuery(nullptr, "Change Directory", "Directory:", value));
  EXPECT_EQ(value, "");
}

TEST(PromptBox, CancelEscapeAndCloseLeaveTheValue) {
  const std::function<void(QWidget*)> ways[] = {
      [](QWidget* d) { d->findChild<QPushButton*>("CancelBtn")->click(); },
      [](QWidget* d) { QTest::keyClick(Value(d), Qt::Key_Escape); },
      [](QWidget* d) { d->close(); },
  };
  for (const auto& way : ways) {
    std::string value = "keep me";
    AnswerNextModal([&](QWidget* dialog) {
      QTest::keyClicks(Value(dialog), "typed");
      way(dialog);
    });
    EXPECT_FALSE(InputQuery(nullptr, "Make Directory", "Directory:", value));
    EXPECT_EQ(value, "keep me");

    AnswerNextModal([&](QWidget* dialog) {
      QTest::keyClicks(Value(dialog), "typed");
      way(dialog);
    });
    EXPECT_EQ(InputBox(nullptr, "Enter preferred editor", "Editor:", "xdg-open"), "xdg-open");
  }
}

TEST(PromptBox, PassesEveryByteThrough) {
  std::string value = std::string("caf\xE9 %s\x01", 8);
  AnswerNextModal([](QWidget* dialog) { QTest::keyClick(Value(dialog), Qt::Key_Return); });
  EXPECT_TRUE(InputQuery(nullptr, "Enter FTP command", "Command:", value));
  EXPECT_EQ(value, std::string("caf\xE9 %s\x01", 8));
}

TEST(RenameDialog, StartsInFileFromAndTabsToFileTo) {
  TRenDLG dialog;
  EXPECT_EQ(dialog.windowTitle(), "Rename Remote File");
  EXPECT_EQ(dialog.size(), QSize(340, 85));
  for (const char* name : {"Bevel1", "Label1", "Label2", "FileFrom", "FileTo", "OKBtn", "CancelBtn"})
    EXPECT_NE(dialog.findChild<QWidget*>(name), nullptr) << name;
  EXPECT_EQ(dialog.Label1->text(), "Rename From: ");
  EXPECT_EQ(dialog.Label2->text(), "Rename To: ");

  AnswerNextModal([&](QWidget*) {
    EXPECT_EQ(QApplication::focusWidget(), dialog.FileFrom);
    QTest::keyClicks(QApplication::focusWidget(), "old.txt");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClicks(QApplication::focusWidget(), "new.txt");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), dialog.OKBtn);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), dialog.CancelBtn);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);  // presses OK
  });
  EXPECT_EQ(dialog.exec(), QDialog::Accepted);
  EXPECT_EQ(dialog.FromName(), "old.txt");
  EXPECT_EQ(dialog.ToName(), "new.txt");
}

}  // namespace
