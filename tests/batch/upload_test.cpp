// The batch run started by names on the command line: the main window reads
// the last-used profile, uploads the names (files, directories, trees) and
// ends with an exit code. Each row is one run against the scripted peer.
#include <fnmatch.h>
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <regex>
#include <sstream>

#include "support/RecordingUI.h"
#include "support/ScriptedPeer.h"
#include "support/TempProgramDir.h"
#include "ui/FTPForm.h"
#include "ui/MeterDLG.h"

namespace {

struct Row {
  const char* name;
  const char* profile;  // keys beside host, port, user u, password p and the log
  const char* tree;     // lines "path=bytes", or shell commands
  std::vector<std::string> names;  // "$/" is the program folder
  const char* script;   // after the login ("!" first: instead of it); no server when null
  const char* log;      // without time stamps
  const char* boxes;    // texts, one a line
  int exit;             // -1: no batch run, the window waits for the user
  const char* shown = "";  // a transcript line
};
// Log and box texts are patterns ("*" is any text). Shorthands in a script:
// "store X" an accepted binary upload (the first one followed by FEAT,
// answered without SIZE unless the row answers FEAT itself), "store X REPLY"
// one with that final reply, "tree X" a tree's top made and entered, "sub X"
// a sub-directory made and entered, "up" CDUP, "cut X" both connections
// reset in the store of X, "again" the next connection taken and logged in;
// in a log: "put X N" an
// upload's lines, "tree X" and "sub X" the directory's lines.
void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

using Words = std::vector<std::pair<std::string, std::string>>;
const std::string kStore =
    "< TYPE I | 200 ok\n< PORT | 200 ok\n< STOR $2 | 150 ok\ndata connect\ndata recv\ndata close\n> ";
const Words kScriptWords = {
    {"store (\\S+) (\\d.*)", kStore + "$3"}, {"store (\\S+)", kStore + "226 done\nfeat?"},
    {"tree (\\S+)", "< PWD | 257 \"/\"\n< MKD $2 | 257 made\n< CWD $2 | 250 ok"},
    {"sub (\\S+)", "< MKD $2 | 257 made\n< CWD $2 | 250 ok"}, {"up\\b", "< CDUP | 250 ok"},
    {"cut (\\S+)", "< TYPE I | 200 ok\n< PORT | 200 ok\n< STOR $2 | 150 ok\ndata connect\npause 30\ndata reset\nreset"},
    {"again\\b", "accept\n> 220 ready\n< USER u | 331 password\n< PASS p | 230 in"}};
const Words kLogWords = {
    {"put (\\S+) (\\d+)", "Putfile $2\nTotal bytes written to remote host :$3"},
    {"tree (\\S+)", "PWD\nMakeDirectory $2\nChangeDirectory $2"},
    {"sub (\\S+)", "Makedirectory $2\nChangedirectory $2"}};
const char* const kTree = "TransferType=2\nIncludeDirs=1\nIncludeSubDirs=1";
#define kNoReconnect "[options]\nReconnect=0"  // the run ends at a lost connection

const Row kRows[] = {
    {"one file: the profile's directory lower-cased with one CWD, the initialize command, the "
     "type, the name part lower-cased and logged as spelled on disk",
     "TransferType=2\nUseLowerCase=1\nDirectory=InComing\nInitializeCommand=SITE UMASK 022",
     "sub/Report.TXT=twelve bytes", {"sub/Report.TXT"},
     "< CWD incoming | 250 ok\n< SITE UMASK 022 | 200 ok\nstore report.txt",
     "Connected to 127.0.0.1 as u\nput Report.TXT 12\nStored 1 of 1 files\nFinished sending files", "", 0},
    {"missing names, special files and directories without IncludeDirs are passed over",
     "TransferType=2", "A.txt=A\nFolder/inner=I\nb=B\nmkfifo pipe",
     {"A.txt", "Folder", "gone", "A.txt/x", "pipe", "$/b"}, "store A.txt\nstore b",
     "Connected to 127.0.0.1 as u\nput A.txt 1\nput b 1\nStored 2 of 2 files\nFinished sending files", "",
     0},
    {"IncludeDirs alone: the visible files of each directory, the second made inside the first",
     "TransferType=2\nIncludeDirs=1", "A/a1=1\nA/.hidden=h\nA/Sub/deep=d\nB/b1=2", {"A", "B"},
     "sub A\nstore a1\nsub B\nstore b1",
     "Connected to 127.0.0.1 as u\nMakeDirectory A\nChangeDirectory A\nput a1 1\n"
     "MakeDirectory B\nChangeDirectory B\nput b1 1\nStored 2 of 2 files\nFinished sending files", "", 0},
    {"trees side by side: lower-case remote names, hidden files but not hidden directories, "
     "links or special files, one CDUP per level, dot names by their directory, no root",
     "TransferType=2\nIncludeDirs=1\nIncludeSubDirs=1\nUseLowerCase=1",
     "Proj/.Secret=s\nProj/.git/config=c\nProj/Docs/Read.Me=text\nmkdir -p Proj/Docs/Deep Empty\n"
     "mkfifo Proj/pipe\nln -s . Proj/loop\nln -s /nowhere Proj/dangling",
     {"Proj/", "$/Empty/.", "/"},
     "tree proj\nstore .secret\nsub docs\nstore read.me\nsub deep\nup\nup\nup\ntree empty\nup",
     "Connected to 127.0.0.1 as u\ntree proj\nput .Secret 1\nsub docs\nput Read.Me 4\nsub deep\n"
     "CDUP\nCDUP\nCDUP\ntree empty\nCDUP\nPassed over directory /\nStored 2 of 2 files\n"
     "Finished sending files",
     "", 0, "The root directory / is not uploaded, passed over"},
    {"a directory the server will not enter is passed over with its files, which are not stored", kTree,
     "T/top=1\nT/Locked/inner=2\nU/u=3\nlast=4", {"T", "U", "last"},
     "tree T\nstore top\n< MKD Locked | 550 denied\n< CWD Locked | 550 no such directory\nup\n"
     "< PWD | 257 \"/\"\n< MKD U | 550 denied\n< CWD U | 550 no such directory\nstore last",
     "Connected to 127.0.0.1 as u\ntree T\nput top 1\nsub Locked\nPassed over directory Locked\n"
     "CDUP\ntree U\nPassed over directory U\nput last 1\nStored 2 of 4 files\nFinished sending files",
     "", 3, "Could not enter remote directory Locked, passed over"},
    {"a missing profile directory is made and entered without a question",
     "TransferType=2\nDirectory=Updates", "F.txt=x", {"F.txt"},
     "< CWD Updates | 550 no such directory\nsub Updates\nstore F.txt",
     "Connected to 127.0.0.1 as u\nerror Changing Directory\nMake Directory Updates\n"
     "Change Directory Updates\nput F.txt 1\nStored 1 of 1 files\nFinished sending files", "", 0},
    {"a profile directory that cannot be entered ends the run before any upload, 2",
     "TransferType=2\nDirectory=Updates", "F.txt=x", {"F.txt"},
     "< CWD Updates | 550 no such directory\n< MKD Updates | 550 denied\n< CWD Updates | 550 no",
     "Connected to 127.0.0.1 as u\nerror Changing Directory\nMake Directory Updates\n"
     "Change Directory Updates\nCould not enter the remote directory Updates: nothing stored\nFinished sending files", "", 2},
    {"a lost connection stops the walk at the file under way", "TransferType=2\nIncludeDirs=1\nIncludeSubDirs=1\n" kNoReconnect,
     "M/f1=1\nM/f2=2\nM/Sub/g=3", {"M", "M"},
     "tree M\n< TYPE I | 200 ok\n< PORT | 200 ok\n< STOR | 150 ok\ndata connect\ndata recv\n"
     "data close\n> 226 done\n< FEAT | 211 no SIZE\nclose",
     "Connected to 127.0.0.1 as u\ntree M\nput f? 1\nPutfile f?\nConnection Failed: closed by the server\n"
     "Finished sending files",
     "", 2},
    {"a refused login ends the program with 1 at once: no box, nothing sent after it",
     "TransferType=2\nDirectory=in", "f=x", {"f"},
     "!> 220 ready\n< USER u | 331 password\n< PASS p | 530 Login incorrect.",
     "Connected to 127.0.0.1 as u\nError loggin in as u access denied or password incorrect", "", 1},
    {"a server not listening: one line with the reason, no box, no upload, 2", "TransferType=2", "f=x",
     {"f"}, nullptr, "Connection to 127.0.0.1 failed: Error 10061 *\nFinished sending files", "", 2},
    {"verified uploads: FEAT once a connection (a line of blanks, a line with another code inside), SIZE "
     "after each binary upload", "TransferType=2",
     "a=hello\nb=hello", {"a", "b"},
     "store a\n< FEAT | 211-Features:\\r\\n MDTM\\r\\n  \\n250 kept\\r\\n SIZE\\r\\n211 End\n< SIZE a | 213 5\nstore b\n"
     "< SIZE b | 213 5",
     "Connected to 127.0.0.1 as u\nput a 5\nput b 5\nStored 2 of 2 files\nFinished sending files", "", 0},
    {"VerifyUploads=0: the final reply alone counts", "TransferType=2\n[options]\nVerifyUploads=0",
     "a=hello", {"a"}, "store a 226 done",
     "Connected to 127.0.0.1 as u\nput a 5\nStored 1 of 1 files\nFinished sending files", "", 0},
    {"files not stored, each named with why: cut short, refused at the end or at STOR, a line feed "
     "in the name (nothing sent), a folder not entered (its file not stored in the parent), too long "
     "a name; 3",
     "TransferType=2\nIncludeDirs=1", "a=hello\nb=hello\nc=hello\ntouch \"$(printf 'x\\ny')\"\nD/f=1",
     {"a", "b", "c", "x\ny", "D", std::string(300, 'n')},
     "store a\n< FEAT | 211-Features:\\r\\n SIZE\\r\\n211 End\n< SIZE a | 213 3\nstore b 451 disk full\n"
     "< TYPE I | 200 ok\n< PORT | 200 ok\n< STOR c | 553 no\n< MKD D | 550 no\n< CWD D | 550 no",
     "Connected to 127.0.0.1 as u\nput a 5\nNot stored a: incomplete, the server has 3 of 5 bytes\n"
     "put b 5\nNot stored b: refused\nPutfile c\nCould not store file c\nPutfile x\\\\ny\n"
     "Not stored x\\\\ny: its name holds a line break\nMakeDirectory D\nChangeDirectory D\n"
     "Passed over directory D\nNot stored n*n: path too long\nStored 0 of 6 files\nFinished sending files", "", 3},
    {"a reset connection ends the run: one line, no box, nothing more sent, 2", "TransferType=2\n" kNoReconnect,
     "a=hello\nb=hello", {"a", "b"}, "store a\nreset",
     "Connected to 127.0.0.1 as u\nput a 5\nPutfile b\nConnection Failed*\nFinished sending files", "", 2},
    {"without reconnecting, a broken data connection leaves its file not stored, and a connection lost in a "
     "folder command ends the run, 2", "TransferType=2\nIncludeDirs=1\n" kNoReconnect,
     "head -c 16000000 /dev/zero > a\nD/f=1", {"a", "D"}, "< TYPE I | 200 ok\n< PORT | 200 ok\n< STOR a | 150 ok\n"
     "data connect\npause 30\ndata reset\n> 451 broken\n< MKD D\nclose", "Connected to 127.0.0.1 as u\nPutfile a\n*\n"
     "Not stored a: incomplete, the data connection failed\nMakeDirectory D\nChangeDirectory D\n"
     "Connection Failed: closed by the server\nFinished sending files", "", 2},
    {"a server that falls silent ends the run at the control time-out, 2", "TransferType=2\n" kNoReconnect,
     "a=hello\nb=hello", {"a", "b"}, "< TYPE I",
     "Connected to 127.0.0.1 as u\nPutfile a\nConnection Failed: Error 10060 *\nFinished sending files",
     "", 2},
    {"a connection cut in the second of three files: connected again, that file goes on where the server's "
     "copy ends, the others are not sent again", "TransferType=2", "f1=one\nhead -c 5000 /dev/urandom > f2\nf3=three",
     {"f1", "f2", "f3"}, "store f1\n< FEAT | 211 no SIZE\ncut f2\nagain\n< FEAT\n>> 211-f\\r\\n SIZE\\r\\n REST "
     "STREAM\\r\\n211 end\\r\\n\n< TYPE I | 200 ok\n< SIZE f2 | 213 1000\n< TYPE I | 200 ok\n< PORT | 200 ok\n"
     "< REST 1000 | 350 on\n< STOR f2 | 150 ok\ndata connect\ndata recv\ndata close\n> 226 done\n< SIZE f2 | 213 5000\n"
     "store f3 226 done\n< SIZE f3 | 213 5", "Connected to 127.0.0.1 as u\nput f1 3\nPutfile f2\n*Connection lost: Error "
     "10054 *; connecting again in 2 s (try 1 of 3)\nConnected again to 127.0.0.1\nResuming f2 at 1000 of 5000 bytes\n"
     "Total bytes written to remote host :4000\nput f3 5\nStored 3 of 3 files\nFinished sending files", "", 0},
    {"a server copy as long as the file is no part to resume: sent whole again", "TransferType=2",
     "f1=one\nhead -c 5000 /dev/urandom > f2", {"f1", "f2"}, "store f1\n< FEAT | 211 no SIZE\ncut f2\nagain\n< FEAT\n"
     ">> 211-f\\r\\n SIZE\\r\\n REST STREAM\\r\\n211 end\\r\\n\n< TYPE I | 200 ok\n< SIZE f2 | 213 5000\n"
     "store f2 226 done\n< SIZE f2 | 213 5000",
     "Connected to 127.0.0.1 as u\nput f1 3\nPutfile f2\n*(try 1 of 3)\nConnected again to 127.0.0.1\n"
     "Total bytes written to remote host :5000\nStored 2 of 2 files\nFinished sending files", "", 0},
    {"without REST STREAM the cut file is sent whole again", "TransferType=2", "f1=one\nf2=second", {"f1", "f2"},
     "store f1\n< FEAT | 211 no SIZE\ncut f2\nagain\n< FEAT | 211 none\nstore f2 226 done",
     "Connected to 127.0.0.1 as u\nput f1 3\nPutfile f2\n*(try 1 of 3)\nConnected again to 127.0.0.1\n"
     "Total bytes written to remote host :6\nStored 2 of 2 files\nFinished sending files", "", 0},
    {"a server that closes after every file: a stored file starts the count of tries again",
     "TransferType=2\n[options]\nReconnect=1", "f1=1\nf2=2\nf3=3", {"f1", "f2", "f3"}, "store f1\n< FEAT | 211 no "
     "SIZE\nclose\nagain\n< FEAT | 211 none\nstore f2 226 done\nclose\nagain\n< FEAT | 211 none\nstore f3 226 done",
     "Connected to 127.0.0.1 as u\nput f1 1\nPutfile f2\n*(try 1 of 1)\nConnected again to 127.0.0.1\n*Putfile f3\n"
     "Connection lost: closed by the server; connecting again in 2 s (try 1 of 1)\n*Stored 3 of 3 files\n"
     "Finished sending files", "", 0},
    {"every try fails: the run gives up after its tries, 2", "TransferType=2\n[options]\nReconnect=2", "f1=1\nf2=2",
     {"f1", "f2"}, "store f1\n< FEAT | 211 no SIZE\nclose\naccept\nclose\naccept\nclose",
     "Connected to 127.0.0.1 as u\nput f1 1\nPutfile f2\n*connecting again in 2 s (try 1 of 2)\n*connecting again in "
     "4 s (try 2 of 2)\nGiving up after 2 tries\nConnection Failed: closed by the server\nFinished sending files", "", 2},
    {"a refused login at a reconnect ends the program with 1", "TransferType=2", "f1=1\nf2=2", {"f1", "f2"},
     "store f1\n< FEAT | 211 no SIZE\nclose\naccept\n> 220 ready\n< USER u | 331 password\n< PASS p | 530 no",
     "Connected to 127.0.0.1 as u\nput f1 1\nPutfile f2\n*(try 1 of 3)\nError loggin in as u access denied or "
     "password incorrect", "", 1},
    {"a log that cannot be written stops the run, which is no success", "TransferType=2",
     "mkdir TARNEX.LOG\nf=x", {"f"}, "!> 220 ready", "", "", 2, "Run stopped: Unable to write to /"},
    {"without a stored configuration, and a local directory that cannot be entered: warnings, and the "
     "window waits for the user", "TransferType=2\nLocaldir=/no/such\n[Fixed]\nOK=0", "f=x", {"f"}, nullptr, "",
     "Cannot find directory*\nThere is no server in configuration, Please choose setup", -1},
};

std::string Expand(std::string text, const Words& words) {
  for (const auto& [from, to] : words)
    text = std::regex_replace(text, std::regex("(^|\n)" + from), "$1" + to);
  return text;
}

void Match(const std::string& text, std::string pattern, const char* what) {
  if (!pattern.empty() && pattern.back() != '\n') pattern += "\n";
  EXPECT_EQ(fnmatch(pattern.c_str(), text.c_str(), 0), 0) << what << ":\n" << text;
}

class BatchRun : public testing::TestWithParam<Row> {};

TEST_P(BatchRun, Row) {
  const Row& row = GetParam();
  TempProgramDir dir;
  auto peer = std::make_unique<ScriptedPeer>();
  const std::string login = "> 220 ready\n< USER u | 331 password\n< PASS p | 230 in\n";
  std::string script = row.script ? Expand(row.script, kScriptWords) : "";
  const size_t feat = script.find("feat?");
  if (feat != std::string::npos && script.find("< FEAT") == std::string::npos)
    script.replace(feat, 5, "< FEAT | 211 no SIZE");
  script = std::regex_replace(script, std::regex("\nfeat\\?"), "");
  script = script[0] == '!' ? script.substr(1) + "\n" : login + script + "\n";
  dir.WriteFile("TARNEX.INI", "[LastUsed]\nNAME=P\n[P]\nHostName=127.0.0.1\nPort=" + std::to_string(peer->Port()) +
               "\nUserName=u\nPassword=p\nUseLogFile=1\n" + row.profile +
               (std::string(row.profile).find("[Fixed]") != std::string::npos ? "" : "\n[Fixed]\nOK=1"));
  if (row.script) peer->Play(script).Start();
  else peer.reset();  // the port is closed again: no server listens there
  std::istringstream tree(row.tree);
  for (std::string line; std::getline(tree, line);)  // "path=bytes" or a shell command
    if (const size_t eq = line.find('='); eq < line.find(' '))
      dir.WriteFile(line.substr(0, eq), line.substr(eq + 1));
    else ASSERT_EQ(std::system(line.c_str()), 0) << line;
  std::vector<std::string> names;
  for (const std::string& name : row.names)
    names.push_back(name[0] == '$' ? dir.Dir() + name.substr(2) : name);

  RecordingUI boxes;  // a Yes/No box is answered Yes
  TMeterDLG meter;
  int exit = -1;
  try {
    TFTPForm form(dir.Dir(), names, &meter, &boxes);
    if (form.BatchStarted) exit = ExitCode(form.BatchOutcome);
    EXPECT_EQ(bool(form.windowState() & Qt::WindowMinimized), exit >= 0);
    form.FlushTranscript();
    EXPECT_NE(form.Memo1->toPlainText().toStdString().find(row.shown), std::string::npos);
  } catch (const ProgramEnded& ended) {
    exit = ended.code;
  }
  EXPECT_EQ(exit, row.exit);
  Match(dir.LogLines(), Expand(row.log, kLogWords), "log");
  std::string shown;
  for (const RecordedBox& box : boxes.boxes) shown += box.text + "\n";
  Match(shown, Expand(row.boxes, {}), "boxes");
  if (!peer) return;
  // The window is gone and its connection with it: every command has arrived.
  EXPECT_TRUE(std::regex_search(script, std::regex("\n(close|reset)")) ? peer->Wait() : peer->WaitForClose());
  std::string commands, wire;
  for (const std::string& command : peer->Commands()) commands += command + "\n";
  std::istringstream lines(script);
  for (std::string line; std::getline(lines, line);) {
    const std::string command = line.substr(2, line.find(" | ") - 2);
    if (line[0] == '<') wire += command + (command == "PORT" || command == "STOR" ? " *\n" : "\n");
  }
  Match(commands, wire, "commands");
  EXPECT_TRUE(peer->Failures().empty()) << peer->Trace();
}

INSTANTIATE_TEST_SUITE_P(Rows, BatchRun, testing::ValuesIn(kRows));

}  // namespace
