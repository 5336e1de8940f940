// The main window driven through its menus and dialogs, as a person would,
// against the scripted peer or a real FTP server (pyftpdlib): one row per
// session. Then the progress dialog as the transfers set it, and the message
// boxes a person sees.
#include <gtest/gtest.h>

#include <QtTest>
#include <QtWidgets>
#include <map>
#include <memory>
#include <optional>
#include <sstream>

#include "settings/TIniFile.h"
#include "support/FtpServer.h"
#include "support/RecordingUI.h"
#include "support/ScriptedPeer.h"
#include "support/TempProgramDir.h"
#include "ui/FTPForm.h"
#include "ui/MeterDLG.h"
#include "ui/WidgetBoxes.h"

namespace {

using Lines = std::vector<std::string>;
// A menu item and the words for the dialog it opens (see Answer; "" for none).
using Step = std::pair<QAction* TFTPForm::*, std::string>;

// Types UTF-8 text one key a character, as a keyboard layout sends it.
void Type(QWidget* to, const char* text) {
  for (QChar c : QString::fromUtf8(text)) QTest::sendKeyEvent(QTest::Click, to, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

// Answers the next modal dialog once it is up and active (looked for every
// 10 ms; a dialog that never comes, or that the answer leaves open, fails)
// with words split at '|', played in order:
//   Name=text   replaces the text of line box Name (or the combo box's) by typing
//   >text       types text into the control with the focus
//   Tab Down Enter Escape   presses that key in the control with the focus
//   Alt+x       presses that access key, and waits out the click it animates
//   List:Name   chooses the shown entry from the list of combo box Name
//   any other word clicks the button of that name (OKBtn, rbBINARY, AddBtn...)
//   or triggers the window's menu item of that name (ConnectMNU...)
void Answer(const std::string& words) {
  auto* poll = new QTimer;
  QObject::connect(poll, &QTimer::timeout, [poll, words, end = QDeadlineTimer(10000)] {
    QWidget* d = QApplication::activeModalWidget();
    // Not up yet while it is not shown on the screen (this timer can fire
    // inside the dialog's own show), or on its way out.
    if (d && !(d->windowHandle() && d->windowHandle()->isExposed())) d = nullptr;
    if (!d && !end.hasExpired()) return;
    poll->deleteLater();
    poll->stop();
    if (!d) return ADD_FAILURE() << "no modal dialog came up";
    d->activateWindow();  // focus moves only in an active window
    EXPECT_TRUE(QTest::qWaitForWindowActive(d, 2000)) << "the dialog never became active";
    QTimer::singleShot(5000, [left = QPointer<QWidget>(d)] {
      if (left && left->isVisible()) left->close(), ADD_FAILURE() << "the dialog stayed open";
    });
    const std::map<std::string, Qt::Key> keys = {{"Tab", Qt::Key_Tab}, {"Down", Qt::Key_Down}, {"Enter", Qt::Key_Return}, {"Escape", Qt::Key_Escape}};
    std::istringstream in(words);
    for (std::string w; std::getline(in, w, '|');) {
      QWidget* focus = d->focusWidget() ? d->focusWidget() : d;  // the dialog's, active or not
      const size_t eq = w.find('=');
      if (w[0] == '>') {
        Type(focus, w.c_str() + 1);
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
        Type(box, w.c_str() + eq + 1);
      } else if (w.rfind("List:", 0) == 0) {
        auto* combo = d->findChild<QComboBox*>(QString::fromStdString(w.substr(5)));
        combo->showPopup();
        QTest::keyClick(combo->view(), Qt::Key_Return);
      } else if (auto* button = d->findChild<QAbstractButton*>(QString::fromStdString(w))) {
        button->click();
      } else if (auto* item = d->parentWidget()->findChild<QAction*>(QString::fromStdString(w))) {
        item->trigger();
      } else {
        return ADD_FAILURE() << "no control " << w;
      }
    }
  });
  poll->start(10);
}

// The peer's greeting and login, and the commands they draw.
#define LOGIN "> 220 ready\n< USER | 331 password please\n< PASS | 230 logged in\n"
#define LOGGED_IN "USER tester", "PASS secret"
#define RETRIEVAL(type, retr, data) \
  "< " type " | 200 ok\n< PORT | 200 ok\n< " retr " | 150 Opening\ndata connect\n" \
  "data send " data "\ndata close\n> 226 done\n"

#define PASSIVE_LISTING \
  "< TYPE A | 200 ok\ndata listen\n< EPSV | 229 Extended Passive Mode (|||{port}|)\ndata accept\n" \
  "< LIST | 150 here\ndata send one.txt\\r\\n\ndata close\n> 226 done\n"

const char* const kOptions = "DirSep=0\r\nViewSep=0\r\nEditor=true\r\n";
const char* const kRealServer = "(real server)";  // serves readme.txt and data.bin
const std::string kBinary("\x00\x01\xff\r\n\x7f", 6), kUpload = std::string(70000, 'x') + kBinary;  // sub/up.dat

struct Row {
  const char* name;
  std::string script;  // the peer's; "" for no server (nobody listens at the port)
  std::vector<Step> steps;
  Lines wire;          // commands received, PORT without its address
  Lines log;           // the whole log
  Lines shown = {};    // text the transcript shows
  Lines boxes = {};    // first lines of the boxes, in order
  bool connected = false;
  std::string extraIni = "";  // after the "peer" profile's keys
  std::string options = kOptions;  // the [options] keys
  Lines settings = {};        // section/key=value
  Lines files = {};           // name=content ("server/name" in the real server's root), waited for
  BoxAnswer answer = BoxAnswer::Yes;
  int closeAfterMs = 0;       // the window is closed this long after the steps begin
  std::function<void(TFTPForm&)> before = {};  // after the window comes up
};

const Step Connect{&TFTPForm::ConnectMNU, "Enter"};
const Step AfterClose{nullptr, ""};  // waits until the server has played its script to the end

const Row rows[] = {
    {"empty user: USER alone, no PASS after 331",
     "> 220 ready\n< USER | 331 password please\n< CWD in | 250 ok",
     {{&TFTPForm::ConnectMNU, "UserName=|Password=|Directory=in|Enter"}},
     {"USER ", "CWD in"}, {"Connected to 127.0.0.1"}, {"Connected to 127.0.0.1"}, {}, true},
    {"a server that closes the connection: one line says so, the menus follow",
     LOGIN "< PWD | 257 \"/\"\nclose", {Connect, {&TFTPForm::PwdMNU, ""}, AfterClose, {&TFTPForm::PwdMNU, ""}},
     {LOGGED_IN, "PWD"}, {"Connected to 127.0.0.1"}, {"Connection to 127.0.0.1 lost"}},
    {"230 to USER: no PASS; Disconnect sends QUIT",
     "> 220 ready\n< USER | 230 no password needed\n< QUIT | 221 bye",
     {{&TFTPForm::ConnectMNU, "Account=acc|Enter"}, {&TFTPForm::QuitMNU, ""}},
     {"USER tester", "QUIT"}, {"Connected to 127.0.0.1", "QUIT"}},
    {"ACCT only after a 3xx to PASS; the password stays out of the transcript",
     "> 120 soon\n> 220 ready\n< USER | 331 password\n< PASS | 332 account\n< ACCT | 230 in",
     {{&TFTPForm::ConnectMNU, "Account=acc|Enter"}},
     {LOGGED_IN, "ACCT acc"}, {"Connected to 127.0.0.1"}, {"230 in", "!secret"}, {}, true},
    {"missing start directory, Yes: made in lower case",
     LOGIN "< CWD | 550 no such directory\n< MKD | 257 made\n< CWD | 250 ok",
     {Connect}, {LOGGED_IN, "CWD New/Dir", "MKD new/dir", "CWD new/dir"},
     {"Connected to 127.0.0.1", "error Changing Directory", "Make Directory new/dir",
      "Change Directory new/dir"},
     {}, {"Directory: New/Dir Doesn't Exists, Create?"}, true,
     "Directory=New/Dir\r\nUseLowerCase=1\r\n"},
    {"missing start directory, No: nothing made, and PWD says where the session is",
     LOGIN "< CWD | 550 no such directory\n< PWD | 257 \"/\"",
     {Connect}, {LOGGED_IN, "CWD Dir", "PWD"},
     {"Connected to 127.0.0.1", "error Changing Directory"},
     {}, {"Directory: Dir Doesn't Exists, Create?"}, true, "Directory=Dir\r\n", kOptions, {}, {}, BoxAnswer::No},
    {"Anonymous Login ticked in Setup logs in as Anonymous",
     "> 220 ready\n< USER | 331 mail\n< PASS | 230 in", {{&TFTPForm::ConnectMNU, "CheckBox1|Enter"}},
     {"USER Anonymous", "PASS secret"}, {"Connected to 127.0.0.1"}, {}, {}, true},
    {"refused connection; Setup's missing local directory is reported and saved", "",
     {{&TFTPForm::ConnectMNU, "Edit2=/no/such|Enter"}}, {},
     {"Error: 10061\\r\\nConnection refused Error", "Connected to 127.0.0.1 Failed"},
     {"Connection to 127.0.0.1 failed"},
     {"Cannot find directory", "Error: 10061"}, false, "", kOptions, {"peer/Localdir=/no/such"}},
    {"Setup left with Escape, then Exit: nothing tried, nothing written", "",
     {{&TFTPForm::ConnectMNU, "Escape"}, {&TFTPForm::ExitMNU, ""}}, {}, {}},
    {"Exit while connected disconnects once", LOGIN "< QUIT | 221 bye",
     {Connect, {&TFTPForm::ExitMNU, ""}}, {LOGGED_IN, "QUIT"},
     {"Connected to 127.0.0.1", "Disconnecting from remote host: 127.0.0.1", "QUIT"},
     {"Disconnecting from remote host: 127.0.0.1"}},
    {"prompted commands send what OK gives, Cancel and Escape send nothing",
     LOGIN "< CWD  | 250 ok\n< RMD old | 250 gone\n< DELE f.txt | 250 deleted\n"
           "< SITE %s %d 100% | 200 ok\n< PASS hidden | 230 ok\n< QUIT | 221 bye\n< HELP | 214 help",
     {Connect, {&TFTPForm::ChDirMNU, "Enter"}, {&TFTPForm::ChDirMNU, "CancelBtn"}, {&TFTPForm::RmDirMNU, ">old|OKBtn"},
      {&TFTPForm::DeleteMNU, ">f.txt|Enter"}, {&TFTPForm::DeleteMNU, ">x|Escape"},
      {&TFTPForm::QuoteMNU, ">SITE %s %d 100%|Enter"}, {&TFTPForm::QuoteMNU, ">PASS hidden|Enter"},
      {&TFTPForm::QuoteMNU, ">QUIT|Enter"}, {&TFTPForm::HelpMNU, ""}},
     {LOGGED_IN, "CWD ", "RMD old", "DELE f.txt", "SITE %s %d 100%", "PASS hidden", "QUIT", "HELP"},
     {"Connected to 127.0.0.1", "Changedir ", "Changedir ", "RemoveDir old", "DeleteFile f.txt", "DeleteFile ",
      "Quote SITE %s %d 100%", "Quote PASS hidden", "Quote QUIT", "HelpRequested"},
     {"214 help", "!hidden"}, {}, true},
    {"listing: *.* lists plainly, a pattern or empty is sent, Cancel sends nothing",
     LOGIN RETRIEVAL("TYPE A", "LIST", "first.txt\\r\\nsecond.bin\\r\\n") RETRIEVAL("TYPE A", "LIST *.txt", "a\\r\\n")
         RETRIEVAL("TYPE A", "LIST ", "x\\r\\n"),
     {Connect, {&TFTPForm::DirMNU, "Enter"}, {&TFTPForm::DirMNU, ">*.txt|Enter"},
      {&TFTPForm::DirMNU, "Value=|Enter"}, {&TFTPForm::DirMNU, "Escape"}},
     {LOGGED_IN, "TYPE A", "PORT", "LIST", "TYPE A", "PORT", "LIST *.txt", "TYPE A", "PORT",
      "LIST "},
     {"Connected to 127.0.0.1", "LIST *.*", "LIST *.txt", "LIST "}, {"second.bin"}, {}, true},
    {"rename: RNTO only after a 3xx to RNFR, typed from box to box",
     LOGIN "< RNFR | 550 no such file\n< RNFR | 350 go on\n< RNTO | 250 renamed",
     {Connect, {&TFTPForm::RenameMNU, ">missing|Tab|>other|Enter"},
      {&TFTPForm::RenameMNU, "Escape"}, {&TFTPForm::RenameMNU, ">old name|Tab|>new name|Enter"}},
     {LOGGED_IN, "RNFR missing", "RNFR old name", "RNTO new name"},
     {"Connected to 127.0.0.1", "Rename missing to other", "Rename old name to new name"},
     {}, {}, true},
    {"get: the local name follows the remote one on Tab; the mode is chosen; Setup's "
     "local directory is entered",
     LOGIN RETRIEVAL("TYPE I", "RETR remote.bin", "bin\\x00ary") RETRIEVAL("TYPE E",
                                                                        "RETR same.txt", "text"),
     {{&TFTPForm::ConnectMNU, "Edit2=sub|Enter"},
      {&TFTPForm::GetMNU, ">remote.bin|Tab|LocalName=local.bin|rbBINARY|OKBtn"},
      {&TFTPForm::GetMNU, ">same.txt|Tab|rbEBCDIC|OKBtn"}, {&TFTPForm::GetMNU, "Escape"}},
     {LOGGED_IN, "TYPE I", "PORT", "RETR remote.bin", "TYPE E", "PORT", "RETR same.txt"},
     {"Connected to 127.0.0.1", "Getfile local.bin", "Getfile same.txt"}, {}, {}, true, "", kOptions, {},
     {"sub/local.bin=bin" + std::string(1, '\0') + "ary", "sub/same.txt=text"}},
    {"Passive mode ticked by its access key at Connect: stored, used, and ticked at the next Connect",
     LOGIN PASSIVE_LISTING "< QUIT | 221 bye\naccept\n" LOGIN PASSIVE_LISTING,
     {{&TFTPForm::ConnectMNU, "Alt+i|Enter"}, {&TFTPForm::DirMNU, "Enter"}, {&TFTPForm::QuitMNU, ""},
      Connect, {&TFTPForm::DirMNU, "Enter"}},
     {LOGGED_IN, "TYPE A", "EPSV", "LIST", "QUIT", LOGGED_IN, "TYPE A", "EPSV", "LIST"},
     {"Connected to 127.0.0.1", "LIST *.*", "QUIT", "Connected to 127.0.0.1", "LIST *.*"}, {"one.txt"}, {},
     true, "", kOptions, {"peer/Passive=1"}},
    {"explicit TLS chosen by its access key at Connect is stored; refused by the server, no login in clear",
     "> 220 ready\n< AUTH TLS | 534 no TLS here", {{&TFTPForm::ConnectMNU, "Alt+s|Down|Enter"}}, {"AUTH TLS"},
     {"Connected to 127.0.0.1", "The server refused TLS: the login is not sent in clear text"}, {},
     {"The server refused TLS: the login is not sent in clear text"}, false, "", kOptions, {"peer/Security=1"}},
    {"Directory Separate hands the listing to the editor",
     LOGIN "< TYPE A | 200 ok\n< PORT | 200 ok\n< PWD | 257 \"/pub\"\n< LIST | 150 here\n"
           "data connect\ndata send listed.txt\\r\\n\ndata close\n> 226 done",
     {Connect, {&TFTPForm::DirMNU, "Enter"}}, {LOGGED_IN, "TYPE A", "PORT", "PWD", "LIST"}, {"Connected to 127.0.0.1", "LIST *.*"}, {"!listed.txt"}, {}, true, "",
     "DirSep=1\r\nViewSep=0\r\nEditor=sh editor.sh --flag\r\n", {}, {"seen=257 \"/pub\"\r\nLIST\r\nlisted.txt\r\n"}},
    {"Options: the separate marks, the editor and fast transfers are stored at once", "",
     {{&TFTPForm::DirSepMNU, ""}, {&TFTPForm::ViewSepMNU, ""},
      {&TFTPForm::EditorMNU, "Value=kate --new|Enter"}, {&TFTPForm::FastMNU, ""}},
     {}, {}, {}, {}, false, "", kOptions,
     {"options/DirSep=1", "options/ViewSep=1", "options/Editor=kate --new", "options/FastTransfers=1"}},
    {"Setup: a bad port stops Add; corrected, Add stores the profile with the chosen type", "",
     {{&TFTPForm::Setup1, "Profile=bad|Port=abc|AddBtn|Port=2121|rbEBCDIC|AddBtn|Escape"}}, {}, {}, {},
     {"'abc' is not a valid integer value"}, false, "", kOptions, {"index/Profile2=bad", "bad/Port=2121", "bad/TransferType=3"}},
    {"closing the window in a stalled transfer ends it: ABOR, then QUIT, and no box",
     LOGIN "< TYPE I | 200 ok\n< PORT | 200 ok\n< RETR | 150 Opening (1000000 bytes)\ndata connect\n"
           "data send the first bytes\ndata stall 1500\n< ABOR\n>> 426 aborted\\r\\n226 done\\r\\n\n"
           "< QUIT | 221 bye",
     {Connect, {&TFTPForm::GetMNU, ">big.bin|Tab|rbBINARY|OKBtn"}},
     {LOGGED_IN, "TYPE I", "PORT", "RETR big.bin", "ABOR", "QUIT"},
     {"Connected to 127.0.0.1", "Error: 10004\\r\\nInterrupted system call Error",
      "Transfer incomplete: 15 of 1000000 bytes received", "Getfile big.bin", "QUIT"}, {}, {}, true, "", kOptions, {}, {"big.bin=the first bytes"}, BoxAnswer::Yes, 1000},
    {"a cancel left from an earlier attempt does not fail the next Connect", LOGIN, {Connect}, {LOGGED_IN},
     {"Connected to 127.0.0.1"}, {}, {}, true, "", kOptions, {}, {}, BoxAnswer::Yes, 0,
     [](TFTPForm& form) { form.Engine().AbortFlag = true; }},
    {"Connect chosen while Connect runs is refused", LOGIN, {{&TFTPForm::ConnectMNU, "ConnectMNU|Enter"}},
     {LOGGED_IN}, {"Connected to 127.0.0.1"}, {"Connect already in progress, request ignored"}, {}, true},
    {"UTF-8 names and typed text; a reply that is not UTF-8 shows its Latin-1 characters",
     LOGIN RETRIEVAL("TYPE I", "RETR Müller.txt", "hello") "< CWD | 250 Gr\\xfc\\xdfe",
     {Connect, {&TFTPForm::GetMNU, ">Müller.txt|Tab|rbBINARY|OKBtn"}, {&TFTPForm::ChDirMNU, ">Straße|Enter"}},
     {LOGGED_IN, "TYPE I", "PORT", "RETR Müller.txt", "CWD Straße"},
     {"Connected to 127.0.0.1", "Getfile Müller.txt", "Changedir Straße"}, {"250 Grüße"}, {}, true, "", kOptions,
     {}, {"Müller.txt=hello"}},
    {"choosing the shown profile from the list reloads it", "",
     {{&TFTPForm::Setup1, "HostName=edited|List:Profile|OKBtn"}}, {}, {}, {}, {}, false, "", kOptions,
     {"peer/HostName=127.0.0.1"}},
    {"every command against a real server (pyftpdlib)", kRealServer,
     {Connect, {&TFTPForm::DirMNU, "Enter"}, {&TFTPForm::GetMNU, ">data.bin|Tab|LocalName=copy.bin|rbBINARY|OKBtn"},
      {&TFTPForm::PutMNU, ">sub/up.dat|Tab|rbBINARY|OKBtn"}, {&TFTPForm::ViewMNU, ">readme.txt|Enter"},
      {&TFTPForm::RenameMNU, ">data.bin|Tab|>renamed.bin|Enter"}, {&TFTPForm::DeleteMNU, ">renamed.bin|Enter"},
      {&TFTPForm::MkDirMNU, ">folder|Enter"}, {&TFTPForm::ChDirMNU, ">folder|Enter"}, {&TFTPForm::PwdMNU, ""},
      {&TFTPForm::ParentMNU, ""}, {&TFTPForm::RmDirMNU, ">folder|Enter"}, {&TFTPForm::QuitMNU, ""}},
     {}, {"Connected to 127.0.0.1", "LIST *.*", "Getfile copy.bin", "Putfile up.dat",
      "Total bytes written to remote host :70006", "ViewFile readme.txt", "Rename data.bin to renamed.bin",
      "DeleteFile renamed.bin", "MakeDir folder", "Changedir folder", "ParentDir", "RemoveDir folder", "QUIT"},
     {"230 Login successful.", "data.bin", "hello from the server", "257 \"/folder\" is the current directory."},
     {}, false, "", kOptions, {}, {"copy.bin=" + kBinary, "server/up.dat=" + kUpload, "server/data.bin=<absent>",
     "server/renamed.bin=<absent>", "server/folder=<absent>"}},
};

class Session : public ::testing::TestWithParam<Row> {
protected:
  Session() { QApplication::setQuitOnLastWindowClosed(false); }
  TempProgramDir dir;
  TMeterDLG meter;
  RecordingUI boxes;
  std::unique_ptr<TFTPForm> window;  // closed after the row's server has gone
};

TEST_P(Session, GivesTheExactOutcome) {
  const Row& row = GetParam();
  SCOPED_TRACE(row.name);
  ScriptedPeer peer;
  std::optional<FtpServer> server;
  const bool scripted = !row.script.empty() && row.script != kRealServer;
  int port = peer.Port();
  if (row.script.empty()) {
    port = ScriptedPeer().Port();  // a port nobody listens on once the peer is gone
  } else if (!scripted) {
    port = server.emplace().Port();
    server->WriteFile("readme.txt", "hello from the server\n");
    server->WriteFile("data.bin", kBinary);
  } else {
    peer.Play(row.script).Start();
  }
  // Two listed profiles: "peer" (last used) and "anon" (its section is up to the row).
  dir.WriteFile("TARNEX.INI", "[options]\r\n" + row.options + "[index]\r\nnext=2\r\nProfile0=peer\r\nProfile1=anon\r\n"
               "[LastUsed]\r\nNAME=peer\r\n[Fixed]\r\nOK=1\r\n[peer]\r\nHostName=127.0.0.1\r\nPort=" + std::to_string(port) +
               "\r\nUserName=tester\r\nPassword=secret\r\nAnonymous=0\r\nAutoSave=1\r\nUseLogFile=1\r\n" + row.extraIni);
  dir.WriteFile("sub/up.dat", kUpload);
  // The editor is given its own words and then the listing's temporary file.
  dir.WriteFile("editor.sh", "[ \"$1\" = --flag ] && case \"$2\" in LST??????.TMP) cat \"$2\" >> seen;; esac\n");
  if (row.answer != BoxAnswer::Yes) boxes.answers.push_back(row.answer);  // Yes is the default
  TFTPForm& form = *(window = std::make_unique<TFTPForm>(dir.Dir(), Lines(), &meter, &boxes));
  form.show();
  form.activateWindow();
  EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
  form.Memo1->setFocus();
  if (row.before) row.before(form);

  auto menusFollowTheConnection = [&] {
    const bool c = form.Engine().Connected;
    EXPECT_EQ(form.ConnectMNU->isEnabled(), !c);
    QList<QAction*> items = {form.QuitMNU, form.RenameMNU, form.DeleteMNU};
    for (QMenu* menu : {form.FileTransMNU, form.DirCommandMNU, form.MiscCommMNU}) items += menu->actions();
    for (QAction* item : items) EXPECT_EQ(item->isEnabled(), c) << item->text().toStdString();
  };
  menusFollowTheConnection();
  if (row.closeAfterMs) QTimer::singleShot(row.closeAfterMs, &form, [&] { form.close(); });
  // Waits at most ms, the window working meanwhile, until the server has
  // played its script to the end.
  const auto scriptPlayed = [&](int ms) {
    for (QDeadlineTimer end(ms); !peer.Wait(0) && !end.hasExpired();) QTest::qWait(10);
    return peer.Wait(0);
  };
  for (const auto& [item, answer] : row.steps) {
    if (!item) {
      scriptPlayed(5000);
      continue;
    }
    if (!answer.empty()) Answer(answer);
    (form.*item)->trigger();
  }
  // The watchdog: a row ends well before the engine's time-outs.
  EXPECT_TRUE(!scripted || scriptPlayed(10000)) << peer.Trace();
  EXPECT_EQ(peer.Wire(), row.wire);
  EXPECT_TRUE(peer.Failures().empty()) << peer.Trace();
  EXPECT_EQ(form.Engine().Connected, row.connected);
  menusFollowTheConnection();

  QCoreApplication::processEvents();  // the transcript takes lines in bursts
  for (const std::string& text : row.shown)  // "!text": never shown
    EXPECT_NE(form.Memo1->toPlainText().contains(QString::fromStdString(text).remove(QRegularExpression("^!"))),
              text[0] == '!') << text;
  Lines shownBoxes;
  for (const auto& box : boxes.boxes) shownBoxes.push_back(box.text.substr(0, box.text.find('\r')));
  EXPECT_EQ(shownBoxes, row.boxes);

  TIniFile ini(dir.IniPath());
  for (const std::string& s : row.settings) {
    const size_t slash = s.find('/'), eq = s.find('=');
    EXPECT_EQ(ini.ReadText(s.substr(0, slash), s.substr(slash + 1, eq - slash - 1), "<absent>"), s.substr(eq + 1)) << s;
    EXPECT_EQ(form.DirSepMNU->isChecked(), ini.ReadText("options", "DirSep", "") != "0");
  }
  for (const std::string& f : row.files) {
    const std::string name = f.substr(0, f.find('=')), want = f.substr(f.find('=') + 1);
    const std::string at = name.rfind("server/", 0) ? "" : name.substr(7);
    auto read = [&] {  // the editor runs on its own: its file is waited for
      return at.empty() ? dir.ReadFile(name) : server->Exists(at) ? server->ReadFile(at) : "<absent>";
    };
    for (QDeadlineTimer end(10000); read() != want && !end.hasExpired();) QTest::qWait(20);
    EXPECT_EQ(read(), want) << name;
  }
  std::string log;
  for (const std::string& line : row.log) log += line + "\n";
  EXPECT_EQ(dir.LogLines(), log);
}

INSTANTIATE_TEST_SUITE_P(Rows, Session, ::testing::ValuesIn(rows));

// The gauge stays within 0 to 100 while the caption tells the true figure.
TEST(ProgressDialog, GaugeStaysInRangeAndCaptionTellsTheFigure) {
  TMeterDLG meter;
  meter.ShowProgressDialog();
  EXPECT_TRUE(meter.ProgressVisible());
  for (const auto& [percent, shown] : {std::pair{51, 51}, {150, 100}, {-3, 0}}) {
    meter.SetProgress(percent, std::to_string(percent) + "% Complete");
    EXPECT_EQ(meter.ProgressPosition(), shown);
    EXPECT_EQ(meter.windowTitle().toStdString(), std::to_string(percent) + "% Complete");
  }
  meter.HideProgress();
  EXPECT_FALSE(meter.ProgressVisible());
  // Waiting to connect again: the try and the seconds left show, and Cancel
  // (or closing the window) ends the wait; the caption comes back.
  for (const bool close : {false, true}) {
    QTimer::singleShot(1500, [&] {
      EXPECT_EQ(meter.windowTitle() + " " + QString::fromStdString(meter.StatusText()), "Try 2 of 3 Connecting again in 3 s");
      close ? (void)meter.close() : meter.CancelBtn->click();
    });
    EXPECT_FALSE(meter.WaitToReconnect(4, 2, 3));
    EXPECT_EQ(meter.windowTitle().toStdString(), "-3% Complete");
  }
}

// A box shows the text, caption and buttons it is given and returns the
// button pressed.
TEST(MessageBox, ShowsWhatItIsGivenAndReturnsThePressedButton) {
  WidgetBoxes boxes;
  QString seen;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return ADD_FAILURE() << "no box";
    seen = box->windowTitle() + "|" + box->text() + "|" + QString::number(box->standardButtons());
    box->button(QMessageBox::No)->click();
  });
  EXPECT_EQ(boxes.ShowMessageBox("Directory: d Doesn't Exists, Create?", "Warning", BoxIcon::Warning, BoxYes | BoxNo),
            BoxAnswer::No);
  EXPECT_EQ(seen, "Warning|Directory: d Doesn't Exists, Create?|" + QString::number(QMessageBox::Yes | QMessageBox::No));
}

}  // namespace
