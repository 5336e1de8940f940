#pragma once
// Shared helpers of the main-window tests: the window on a temporary program
// folder with a recorder for its boxes, and answers for the modal dialogs its
// commands open (given before the command is chosen, played from the event
// loop once the dialog is up).
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/RecordingUI.h"
#include "support/ScriptedPeer.h"
#include "support/TempProgramDir.h"
#include "ui/FTPForm.h"
#include "ui/MeterDLG.h"

namespace mw {

// Plays `answer` on the next modal dialog, as soon as one is up (looked for
// every 10 ms, for at most 10 s). A dialog that never comes fails the test.
inline void AnswerNextModal(std::function<void(QWidget*)> answer) {
  auto* poll = new QTimer;
  auto* clock = new QElapsedTimer;
  clock->start();
  poll->setInterval(10);
  QObject::connect(poll, &QTimer::timeout, [poll, clock, answer] {
    QWidget* dialog = QApplication::activeModalWidget();
    if (!dialog) {
      if (clock->elapsed() > 10000) {
        ADD_FAILURE() << "no modal dialog came up";
        poll->stop();
        poll->deleteLater();
        delete clock;
      }
      return;
    }
    poll->stop();
    poll->deleteLater();
    delete clock;
    // Focus changes reach a window only once it is active: wait for that, so
    // a Tab typed by the answer really moves the focus.
    dialog->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(dialog, 2000)) << "the dialog never became active";
    answer(dialog);
  });
  poll->start();
}

template <typename T>
T* Child(QWidget* dialog, const char* name) {
  T* child = dialog->findChild<T*>(name);
  EXPECT_NE(child, nullptr) << "no control named " << name;
  return child;
}

inline void ClickOK(QWidget* dialog) { Child<QPushButton>(dialog, "OKBtn")->click(); }
inline void ClickCancel(QWidget* dialog) { Child<QPushButton>(dialog, "CancelBtn")->click(); }

// Replaces the text of a box by typing, as a person would.
inline void TypeInto(QLineEdit* box, const std::string& text) {
  box->selectAll();
  QTest::keyClick(box, Qt::Key_Delete);
  if (!text.empty()) QTest::keyClicks(box, QString::fromLatin1(text.c_str()));
}

// The prompt box: type `text` (replacing the default) and click OK.
inline void AnswerPrompt(const std::string& text) {
  AnswerNextModal([text](QWidget* d) {
    TypeInto(Child<QLineEdit>(d, "Value"), text);
    ClickOK(d);
  });
}
// The prompt box: OK with the default as it stands.
inline void AcceptPrompt() { AnswerNextModal([](QWidget* d) { ClickOK(d); }); }
inline void CancelNextModal() { AnswerNextModal([](QWidget* d) { ClickCancel(d); }); }

// A peer that greets and logs a user in; tests add their own steps after.
inline ScriptedPeer& GreetAndLogin(ScriptedPeer& peer) {
  return peer.Send("220 scripted peer ready\r\n")
      .Reply("USER", "331 password please\r\n")
      .Reply("PASS", "230 logged in\r\n");
}

// Settings text for one profile named "peer" that is the last used.
inline std::string ProfileIni(int port, const std::string& extraKeys = "",
                              const std::string& user = "tester",
                              const std::string& password = "secret") {
  return "[options]\r\nDirSep=0\r\nViewSep=0\r\nEditor=true\r\n"
         "[index]\r\nnext=1\r\nProfile0=peer\r\n"
         "[LastUsed]\r\nNAME=peer\r\n[Fixed]\r\nOK=1\r\n"
         "[peer]\r\nHostName=127.0.0.1\r\nPort=" +
         std::to_string(port) + "\r\nUserName=" + user + "\r\nPassword=" + password +
         "\r\nAnonymous=0\r\nAutoSave=1\r\nUseLogFile=1\r\n" + extraKeys;
}

class MainWindow : public ::testing::Test {
protected:
  MainWindow() { QApplication::setQuitOnLastWindowClosed(false); }

  // Creates and shows the window with the focus in the transcript.
  void Open(const std::vector<std::string>& names = {}) {
    form = std::make_unique<TFTPForm>(dir.Dir(), names, &meter, &boxes);
    form->show();
    form->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->Memo1->setFocus();
  }

  // File > Connect with the Setup dialog answered OK (after `edit`, if given).
  void Connect(std::function<void(QWidget*)> edit = nullptr) {
    AnswerNextModal([edit](QWidget* d) {
      if (edit) edit(d);
      ClickOK(d);
    });
    form->ConnectMNU->trigger();
  }

  // What the transcript shows once the event loop has run.
  std::vector<std::string> TranscriptLines() const {
    QCoreApplication::processEvents();
    return SplitLines(form->Memo1->toPlainText().toStdString());
  }
  bool TranscriptHas(const std::string& line) const {
    for (const auto& l : TranscriptLines())
      if (l == line) return true;
    return false;
  }
  bool LogHas(const std::string& text) const {
    for (const auto& l : SplitLines(dir.ReadLog())) {
      // date, blank, time, blank, text
      if (l.size() >= 20 && l.substr(20) == text) return true;
    }
    return false;
  }

  static std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
      if (c == '\n') {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        line.clear();
      } else {
        line += c;
      }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
  }

  TempProgramDir dir;
  TMeterDLG meter;
  RecordingUI boxes;
  std::unique_ptr<TFTPForm> form;
};

}  // namespace mw
