#pragma once
// The main window on a temporary program folder, with a recorder for its
// boxes, and answers typed into the modal dialogs its commands open.
#include <gtest/gtest.h>

#include <QtTest>
#include <QtWidgets>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "support/RecordingUI.h"
#include "support/ScriptedPeer.h"
#include "support/TempProgramDir.h"
#include "ui/FTPForm.h"
#include "ui/MeterDLG.h"

namespace mw {

using Lines = std::vector<std::string>;
// A menu item and the words for the dialog it opens (see Answer; "" for none).
using Step = std::pair<QAction* TFTPForm::*, std::string>;

// Answers the next modal dialog once it is up and active (looked for every
// 10 ms; a dialog that never comes, or that the answer leaves open, fails)
// with words split at '|', played in order:
//   Name=text   replaces the text of line box Name (or the combo box's) by typing
//   >text       types text into the control with the focus
//   Tab Down Enter Escape   presses that key in the control with the focus
//   Alt+x       presses that access key, and waits out the click it animates
//   any other word clicks the button of that name (OKBtn, rbBINARY, AddBtn...)
inline void Answer(const std::string& words) {
  auto* poll = new QTimer;
  QObject::connect(poll, &QTimer::timeout, [poll, words, clock = QElapsedTimer()]() mutable {
    QWidget* d = QApplication::activeModalWidget();
    if (!clock.isValid()) clock.start();
    if (!d && clock.elapsed() < 10000) return;
    poll->deleteLater();
    poll->stop();
    if (!d) return ADD_FAILURE() << "no modal dialog came up";
    d->activateWindow();  // focus moves only in an active window
    EXPECT_TRUE(QTest::qWaitForWindowActive(d, 2000)) << "the dialog never became active";
    QTimer::singleShot(5000, [left = QPointer<QWidget>(d)] {
      if (left && left->isVisible()) left->close(), ADD_FAILURE() << "the dialog stayed open";
    });
    const std::map<std::string, Qt::Key> keys = {
        {"Tab", Qt::Key_Tab}, {"Down", Qt::Key_Down}, {"Enter", Qt::Key_Return}, {"Escape", Qt::Key_Escape}};
    std::istringstream in(words);
    for (std::string w; std::getline(in, w, '|');) {
      QWidget* focus = d->focusWidget() ? d->focusWidget() : d;  // the dialog's, active or not
      const size_t eq = w.find('=');
      if (w[0] == '>') {
        QTest::keyClicks(focus, QString::fromLatin1(w.c_str() + 1));
      } else if (w.rfind("Alt+", 0) == 0) {
        QTest::keyClick(focus, w[4], Qt::AltModifier);
        auto* button = qobject_cast<QAbstractButton*>(d->focusWidget());
        for (int i = 0; button && button->isDown() && i < 100; ++i) QTest::qWait(10);
      } else if (const auto key = keys.find(w); key != keys.end()) {
        QTest::keyClick(focus, key->second);
      } else if (eq != std::string::npos) {
        const QString name = QString::fromStdString(w.substr(0, eq));
        auto* box = d->findChild<QLineEdit*>(name);
        if (auto* combo = d->findChild<QComboBox*>(name)) box = combo->lineEdit();
        if (!box) return ADD_FAILURE() << "no box " << w;
        box->setFocus();
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        QTest::keyClicks(box, QString::fromLatin1(w.c_str() + eq + 1));
      } else if (auto* button = d->findChild<QAbstractButton*>(QString::fromStdString(w))) {
        button->click();
      } else {
        return ADD_FAILURE() << "no control " << w;
      }
    }
  });
  poll->start(10);
}

// Settings with two listed profiles: "peer" (last used, at `port`) and "anon"
// (its section is up to the test); `extra` ends the file.
inline std::string ProfileIni(int port, const std::string& extra = "",
                              const std::string& options = "DirSep=0\r\nViewSep=0\r\nEditor=true\r\n") {
  return "[options]\r\n" + options + "[index]\r\nnext=2\r\nProfile0=peer\r\nProfile1=anon\r\n"
         "[LastUsed]\r\nNAME=peer\r\n[Fixed]\r\nOK=1\r\n[peer]\r\nHostName=127.0.0.1\r\nPort=" +
         std::to_string(port) + "\r\nUserName=tester\r\nPassword=secret\r\nAnonymous=0\r\n"
         "AutoSave=1\r\nUseLogFile=1\r\n" + extra;
}

class MainWindow : public ::testing::Test {
protected:
  MainWindow() { QApplication::setQuitOnLastWindowClosed(false); }

  // Shows the window with the focus in the transcript.
  void Open(const Lines& names = {}) {
    form = std::make_unique<TFTPForm>(dir.Dir(), names, &meter, &boxes);
    form->show();
    form->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
    form->Memo1->setFocus();
  }
  void Play(const std::vector<Step>& steps) {
    for (const auto& [item, answer] : steps) {
      if (!answer.empty()) Answer(answer);
      (form.get()->*item)->trigger();
    }
  }
  // The log without its date and time.
  Lines Log() const {
    Lines lines;
    std::istringstream in(dir.ReadLog());
    for (std::string l; std::getline(in, l);) {
      if (!l.empty() && l.back() == '\r') l.pop_back();
      lines.push_back(l.size() >= 20 && l[10] == ' ' && l[19] == ' ' ? l.substr(20) : l);
    }
    return lines;
  }

  TempProgramDir dir;
  TMeterDLG meter;
  RecordingUI boxes;
  std::unique_ptr<TFTPForm> form;
};

}  // namespace mw
