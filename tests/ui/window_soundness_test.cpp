// Window soundness rows, typed on the real window against the peer: Connect
// after a time-out and during a connect, the menus after a lost connection,
// profile names that are sections of the settings file, choosing the shown
// profile, and UTF-8 text at the widgets.
#include <QAbstractItemView>

#include "MainWindowKit.h"
#include "settings/TIniFile.h"
#include "ui/LoginDLG.h"

using namespace mw;

namespace {

struct WindowSoundness;
struct Row {
  const char* name;
  const char* script;                            // after the greeting and the login
  std::function<void(WindowSoundness&)> action;  // checks what the table does not
  std::vector<std::string> commands;
  const char* line;  // a transcript line it shows, or ""
};
struct WindowSoundness : MainWindow, ::testing::WithParamInterface<Row> {
  using MainWindow::Connect, MainWindow::boxes, MainWindow::dir, MainWindow::form;
};

// Replaces a box's text, one key a character, as a keyboard layout sends it.
void Type(QLineEdit* box, const char* text) {
  box->clear();
  for (QChar c : QString::fromUtf8(text))
    QTest::sendKeyEvent(QTest::Click, box, Qt::Key_unknown, QString(c), Qt::NoModifier);
}
TLoginDLG* Setup(QWidget* d) { return static_cast<TLoginDLG*>(d); }

const Row Rows[] = {
    {"a time-out left from a connect", "",
     [](WindowSoundness& t) {
       t.form->Engine().AbortFlag = true;  // as a connect's time-out leaves it
       t.Connect();
     },
     {"USER tester", "PASS secret"}, "Connected to 127.0.0.1"},
    {"Connect during a connect", "",
     [](WindowSoundness& t) {
       t.Connect([&t](QWidget*) {
         QTimer::singleShot(2000, t.form.get(), [] {  // a second dialog would wait for ever
           if (auto* second = QApplication::activeModalWidget()) second->close();
         });
         t.form->ConnectMNU->trigger();
       });
     },
     {"USER tester", "PASS secret"}, "Connect already in progress, request ignored"},
    {"a lost connection turns the menus back, Connect works again",
     "< PWD\nclose\naccept\n> 220 again\n< USER | 230 in\n",
     [](WindowSoundness& t) {
       t.Connect();
       t.form->PwdMNU->trigger();
       EXPECT_TRUE(t.form->ConnectMNU->isEnabled() && !t.form->PwdMNU->isEnabled());
       t.Connect();
     },
     {"USER tester", "PASS secret", "PWD", "USER tester"}, "Connected to 127.0.0.1"},
    {"profile names that are sections", "",
     [](WindowSoundness& t) {
       const std::string before = t.dir.ReadIni();
       AnswerNextModal([](QWidget* d) {
         const std::pair<const char*, QPushButton*> tries[] = {{"Index", Setup(d)->AddBtn},
             {"OPTIONS", Setup(d)->ModifyBtn}, {"lastused", Setup(d)->DeleteBtn},
             {"Fixed", Setup(d)->OKBtn}};
         for (auto [name, button] : tries) Type(Setup(d)->Profile->lineEdit(), name), button->click();
       });
       t.form->Setup1->trigger();
       EXPECT_EQ(t.dir.ReadIni(), before);
       ASSERT_EQ(t.boxes.Boxes().size(), 4u);
       EXPECT_EQ(t.boxes.Boxes()[2].text,
                 "'lastused' is a section of the settings file and cannot be a profile name");
     },
     {}, ""},
    {"choosing the shown profile reloads it, a new choice loads it once", "",
     [](WindowSoundness& t) {
       for (auto [key, value] : {std::pair{"Profile1", "anon"}, {"next", "2"}})
         TIniFile(t.dir.IniPath()).WriteText("index", key, value);
       AnswerNextModal([](QWidget* d) {
         Type(Setup(d)->HostName, "edited");
         QTest::keyClick(Setup(d)->Profile, Qt::Key_F4);  // the list, on the shown "peer"
         QTest::keyClick(Setup(d)->Profile->view(), Qt::Key_Return);
         EXPECT_EQ(Setup(d)->HostName->text(), "127.0.0.1");
         QTest::keyClick(Setup(d)->Profile, Qt::Key_Down);  // "anon" turns Anonymous Login on
         EXPECT_EQ(Setup(d)->UserName->text(), "Anonymous");
         ClickCancel(d);
       });
       t.form->Setup1->trigger();
     },
     {}, ""},
    {"UTF-8 names, Latin-1 replies, text without UTF-8 refused",
     "< TYPE I | 200 ok\n< PORT | 200 ok\n< RETR | 150 Opening (5 bytes)\ndata connect\n"
     "data send hello\ndata close\n> 226 M\\xFCller sent\n",
     [](WindowSoundness& t) {
       t.Connect();
       AnswerNextModal([](QWidget* d) {
         Type(Child<QLineEdit>(d, "FileName"), "Müller.txt");
         QTest::keyClick(Child<QLineEdit>(d, "FileName"), Qt::Key_Tab);
         Child<QRadioButton>(d, "rbBINARY")->click();
         ClickOK(d);
       });
       t.form->GetMNU->trigger();
       EXPECT_EQ(t.dir.ReadFile("Müller.txt"), "hello");
       AnswerNextModal([](QWidget* d) {  // a lone surrogate pasted
         Child<QLineEdit>(d, "Value")->insert(QString("SITE ") + QChar(0xD800));
         ClickOK(d);
       });
       t.form->QuoteMNU->trigger();
       ASSERT_EQ(t.boxes.Boxes().size(), 1u);
       EXPECT_EQ(t.boxes.Boxes()[0].text,
                 "'SITE \xEF\xBF\xBD' holds a character that cannot be written as UTF-8");
     },
     {"USER tester", "PASS secret", "TYPE I", "PORT", "RETR Müller.txt"}, "226 Müller sent"},
};

TEST_P(WindowSoundness, Row) {
  const Row& row = GetParam();
  ScriptedPeer peer;
  peer.Play(std::string("> 220 ready\n< USER | 331 password\n< PASS | 230 in\n") + row.script);
  peer.Start();
  dir.WriteIni(ProfileIni(peer.Port()));
  Open();
  row.action(*this);
  peer.WaitForCommands(row.commands.size());
  std::vector<std::string> commands = peer.Commands();
  for (auto& c : commands) c = c.rfind("PORT ", 0) == 0 ? "PORT" : c;  // its address varies
  EXPECT_EQ(commands, row.commands) << peer.Trace();
  EXPECT_TRUE(!*row.line || TranscriptHas(row.line)) << row.line;
}

INSTANTIATE_TEST_SUITE_P(Rows, WindowSoundness, ::testing::ValuesIn(Rows),
                         [](const auto& info) { return std::to_string(info.index); });

}  // namespace
