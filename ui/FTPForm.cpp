#include "ui/FTPForm.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "settings/Startup.h"
#include "ui/DesktopNotice.h"
#include "ui/DialogControls.h"
#include "ui/HandlerGuard.h"
#include "ui/MeterDLG.h"
#include "ui/Text.h"

TFTPForm::TFTPForm(const std::string& programDir, const std::vector<std::string>& names,
                   TMeterDLG* meter, MessageBoxes* boxes, QWidget* parent,
                   const std::vector<std::string>& unplaced)
    : QMainWindow(parent),
      programDir_(programDir),
      meter_(meter),
      boxes_(this),
      boxOverride_(boxes) {
  setObjectName("FTPForm");
  setWindowTitle("Tarnex 97");
  resize(628, 359);
  CentreOnScreen(this);

  Memo1 = new QPlainTextEdit(this);
  Memo1->setObjectName("Memo1");
  Memo1->setReadOnly(true);
  Memo1->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
  Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  fixed.setPixelSize(13);
  Memo1->setFont(fixed);
  Memo1->installEventFilter(this);
  setCentralWidget(Memo1);
  statusBar();  // the menu items' hints show here

  engine_ = std::make_unique<FtpEngine>(*this, programDir_);
  BuildMenus();
  FormCreate(names, unplaced);
}

TFTPForm::~TFTPForm() = default;

void TFTPForm::Wire(QAction* item, void (TFTPForm::*handler)()) {
  connect(item, &QAction::triggered, this, [this, handler] {
    ++runningHandlers_;
    Guarded(*this, [this, handler] { (this->*handler)(); });
    FlushTranscript();  // a command ends with all its lines on show
    if (--runningHandlers_ == 0 && closePending_) {
      closePending_ = false;
      QTimer::singleShot(0, this, &QWidget::close);
    }
  });
}

void TFTPForm::BuildMenus() {
  auto item = [this](QMenu* menu, QAction*& action, const char* name, const char* caption,
                     const char* hint, void (TFTPForm::*handler)()) {
    action = menu->addAction(QString::fromUtf8(caption));
    action->setObjectName(name);
    if (hint) {
      action->setStatusTip(QString::fromUtf8(hint));
      action->setToolTip(QString::fromUtf8(hint));
    }
    Wire(action, handler);
  };
  auto menu = [this](QMenu*& m, const char* name, const char* caption) {
    m = menuBar()->addMenu(QString::fromUtf8(caption));
    m->setObjectName(name);
    m->setToolTipsVisible(true);
  };

  menu(FileMNU, "FileMNU", "&File");
  item(FileMNU, Setup1, "Setup1", "&Setup", nullptr, &TFTPForm::Setup1Click);
  item(FileMNU, ConnectMNU, "ConnectMNU", "&Connect", "Connect to FTP server",
       &TFTPForm::ConnectMNUClick);
  item(FileMNU, QuitMNU, "QuitMNU", "&Disconnect", "Disconnect from FTP server",
       &TFTPForm::QuitMNUClick);
  item(FileMNU, RenameMNU, "RenameMNU", "&Rename File", "Rename remote file",
       &TFTPForm::RenameMNUClick);
  item(FileMNU, DeleteMNU, "DeleteMNU", "De&lete File", "Delete remote file",
       &TFTPForm::DeleteMNUClick);
  N1 = FileMNU->addSeparator();
  N1->setObjectName("N1");
  item(FileMNU, ExitMNU, "ExitMNU", "&Exit", "Exit this program", &TFTPForm::ExitMNUClick);

  menu(FileTransMNU, "FileTransMNU", "File &Transfers");
  item(FileTransMNU, GetMNU, "GetMNU", "&Get File", "Retrieves a file from the FTP server",
       &TFTPForm::GetMNUClick);
  item(FileTransMNU, PutMNU, "PutMNU", "&Put File", "Sends a file to the FTP server",
       &TFTPForm::PutMNUClick);
  item(FileTransMNU, ViewMNU, "ViewMNU", "&View file", nullptr, &TFTPForm::ViewMNUClick);
  item(FileTransMNU, CancelMNU, "CancelMNU", "&Cancel Transfer", nullptr,
       &TFTPForm::CancelMNUClick);

  menu(DirCommandMNU, "DirCommandMNU", "&Directory");
  item(DirCommandMNU, DirMNU, "DirMNU", "&List Directory",
       "Display a directory listing of the remote system", &TFTPForm::DirMNUClick);
  item(DirCommandMNU, PwdMNU, "PwdMNU", "&Print Working Directory",
       "Print the current remote directory name", &TFTPForm::PwdMNUClick);
  item(DirCommandMNU, ChDirMNU, "ChDirMNU", "&Change Directory",
       "Change the remote directory location", &TFTPForm::ChDirMNUClick);
  item(DirCommandMNU, ParentMNU, "ParentMNU", "&Parent Directory", nullptr,
       &TFTPForm::ParentMNUClick);
  item(DirCommandMNU, MkDirMNU, "MkDirMNU", "&Make Directory", "Create a new remote directory",
       &TFTPForm::MkDirMNUClick);
  item(DirCommandMNU, RmDirMNU, "RmDirMNU", "&Remove Directory", "Delete a remote directory",
       &TFTPForm::RmDirMNUClick);

  menu(MiscCommMNU, "MiscCommMNU", "&Misc-Commands");
  item(MiscCommMNU, QuoteMNU, "QuoteMNU", "&Quote", "Sends any FTP command you type",
       &TFTPForm::QuoteMNUClick);
  item(MiscCommMNU, HelpMNU, "HelpMNU", "&Help", "Asks the remote system for help",
       &TFTPForm::HelpMNUClick);

  menu(OptionsMNU, "OptionsMNU", "&Options");
  item(OptionsMNU, DirSepMNU, "DirSepMNU", "&Directory Separate", nullptr,
       &TFTPForm::DirSepMNUClick);
  item(OptionsMNU, ViewSepMNU, "ViewSepMNU", "&View Separate", nullptr,
       &TFTPForm::ViewSepMNUClick);
  item(OptionsMNU, EditorMNU, "EditorMNU", "&Editor", nullptr, &TFTPForm::EditorMNUClick);
  item(OptionsMNU, FastMNU, "FastMNU", "&Fast transfers", "Large blocks, no pause after a stored file",
       &TFTPForm::FastMNUClick);
  FastMNU->setCheckable(true);
  DirSepMNU->setCheckable(true);
  ViewSepMNU->setCheckable(true);
  ViewSepMNU->setChecked(true);
}

bool TFTPForm::EnterDirectory(const std::string& dir) { return ::chdir(dir.c_str()) == 0; }

void TFTPForm::FormCreate(const std::vector<std::string>& names,
                          const std::vector<std::string>& unplaced) {
  FtpEngine& e = *engine_;
  e.RetryFlag = false;
  e.Connected = false;
  EnableDisableMenus();

  StartupSettings s = ReadStartupSettings(IniPath(), CurrentTransferType);
  e.DirSep = s.Options.DirSep;
  e.ViewSep = s.Options.ViewSep;
  e.Editor = s.Options.Editor;
  ActiveProfile = s.Profile;
  // From here on nobody answers a box: see ShowMessageBox.
  BatchStarted = !names.empty() && s.ConfiguredFlag;
  Batch = s.Batch;
  CurrentTransferType = s.TransferType;
  e.LogEnabled = s.LogEnabled;
  e.UseLowerCase = s.Batch.UseLowerCase;
  e.Passive = ActiveProfile.Passive;
  e.VerifyDataPeer = s.VerifyDataPeer;
  e.VerifyUploads = s.VerifyUploads;
  e.FastTransfers = s.FastTransfers;
  FastMNU->setChecked(s.FastTransfers);

  if (!ActiveProfile.Localdir.empty() && !EnterDirectory(ActiveProfile.Localdir))
    ShowMessageBox("Cannot find directory", "Warning", BoxIcon::Warning, BoxOK);
  ConfiguredFlag = s.ConfiguredFlag;
  if (!s.OptionDefaultsError.empty())
    ShowMessageBox(s.OptionDefaultsError, "Tarnex", BoxIcon::Critical, BoxOK);

  DirSepMNU->setChecked(SeparateChecked(e.DirSep));
  ViewSepMNU->setChecked(SeparateChecked(e.ViewSep));

  if (!names.empty() && !ConfiguredFlag)
    ShowMessageBox("There is no server in configuration, Please choose setup", "Warning",
                   BoxIcon::Warning, BoxOK);

  if (BatchStarted) {
    hide();
    setWindowState(Qt::WindowMinimized);
    switch (CurrentTransferType) {
      case 1: TypeCommand = "TYPE A"; break;
      case 2: TypeCommand = "TYPE I"; break;
      case 3: TypeCommand = "TYPE E"; break;
      default: TypeCommand.clear(); break;
    }
    BatchRun run;
    run.host = ActiveProfile.HostName;
    run.port = ActiveProfile.Port;
    run.user = ActiveProfile.UserName;
    run.password = ActiveProfile.Password;
    run.account = ActiveProfile.Account;
    run.directory = ActiveProfile.Directory;
    run.includeDirs = Batch.IncludeDirs;
    run.includeSubDirs = Batch.IncludeSubDirs;
    run.useLowerCase = Batch.UseLowerCase;
    run.passive = ActiveProfile.Passive;
    run.initializeCommand = Batch.InitializeCommand;
    run.security = ActiveProfile.Security;
    run.trustedCertificate = ActiveProfile.TrustedCertificate;
    run.typeCommand = TypeCommand;
    run.names = names;
    run.unplaced = unplaced;
    run.reconnectTries = s.Reconnect;
    run.waitToReconnect = [this](int seconds, int attempt, int tries) {
      return meter_->WaitToReconnect(seconds, attempt, tries);
    };
    // An error that ends the run half way must not let the program report
    // success; it is told in one line, as the run tells everything.
    BatchOutcome = BatchResult::Stopped;
    try {
      BatchOutcome = BatchUpload(e, run);
      e.WriteLog("Finished sending files");
    } catch (const std::exception& error) {
      TellUnattended(std::string("Run stopped: ") + error.what());
    }
    if (s.Notify) NotifyDesktop(RunSummary(e, run, BatchOutcome));
  }
}

void TFTPForm::EnableDisableMenus() {
  const bool c = engine_->Connected;
  ChDirMNU->setEnabled(c);
  ConnectMNU->setEnabled(!c);
  DeleteMNU->setEnabled(c);
  DirMNU->setEnabled(c);
  GetMNU->setEnabled(c);
  HelpMNU->setEnabled(c);
  MkDirMNU->setEnabled(c);
  PutMNU->setEnabled(c);
  QuitMNU->setEnabled(c);
  QuoteMNU->setEnabled(c);
  RenameMNU->setEnabled(c);
  RmDirMNU->setEnabled(c);
  PwdMNU->setEnabled(c);
  ViewMNU->setEnabled(c);
  CancelMNU->setEnabled(c);
  ParentMNU->setEnabled(c);
}

void TFTPForm::FormClose() {
  FtpEngine& e = *engine_;
  if (!e.Connected) return;
  e.SendCommand("QUIT");
  e.WriteLog("QUIT");
  e.Sockets1.Disconnect();
}

void TFTPForm::closeEvent(QCloseEvent* event) {
  if (runningHandlers_ > 0) {
    // A command waits in a nested loop: stop it first, close when it is done.
    closePending_ = true;
    engine_->AbortFlag = true;
    if (TSockets::WSAIsBlocking()) TSockets::WSACancelBlockingCall();
    event->ignore();
    return;
  }
  if (!closing_) {
    closing_ = true;
    Guarded(*this, [this] { FormClose(); });
  }
  meter_->HideProgress();
  event->accept();
}

bool TFTPForm::eventFilter(QObject* watched, QEvent* event) {
  // Leaving the transcript for another control of this window ends the
  // program; a menu, a dialog or another window taking the focus does not.
  if (watched == Memo1 && event->type() == QEvent::FocusOut && IsFocusLeave(event)) {
    QWidget* next = QApplication::focusWidget();
    if (next && next != Memo1 && next->window() == this)
      QTimer::singleShot(0, this, [this] { ExitMNU->trigger(); });
  }
  return QMainWindow::eventFilter(watched, event);
}

// ---- The engine's user interface ----

BoxAnswer TFTPForm::ShowMessageBox(const std::string& text, const std::string& caption,
                                   BoxIcon icon, unsigned buttons) {
  FlushTranscript();  // the box comes up with what led to it on show
  // The window was closed while a command waited: the command is only
  // winding down, and what it reports on the way (above all the wait that
  // the close itself interrupted) is left to the transcript and the log
  // rather than put in boxes that would hold up the close.
  if (closePending_) return (buttons & BoxOK) ? BoxAnswer::OK : BoxAnswer::No;
  // An unattended run never waits on a box: what it would have said goes to
  // the transcript and the log, and a question is answered No.
  if (BatchStarted) {
    TellUnattended(caption + ": " + text);
    return (buttons & BoxOK) ? BoxAnswer::OK : BoxAnswer::No;
  }
  if (boxOverride_) return boxOverride_->ShowMessageBox(text, caption, icon, buttons);
  boxes_.SetParent(isVisible() ? static_cast<QWidget*>(this) : nullptr);
  return boxes_.ShowMessageBox(text, caption, icon, buttons);
}

void TFTPForm::TellUnattended(const std::string& text) {
  std::string line = text;
  for (char& c : line)
    if (c == '\r' || c == '\n') c = ' ';
  engine_->ShowLine("%s", {line});
  try {
    engine_->WriteLog(line);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "tarnex: %s\n", error.what());  // the log cannot take it
  }
}

void TFTPForm::EndProgram(int exitCode) {
  meter_->HideProgress();
  if (boxOverride_) boxOverride_->EndProgram(exitCode);
  std::exit(exitCode);
}

void TFTPForm::SetBusyCursor() {
  setCursor(Qt::WaitCursor);
  Memo1->viewport()->setCursor(Qt::WaitCursor);
}

void TFTPForm::SetNormalCursor() {
  unsetCursor();
  Memo1->viewport()->setCursor(Qt::IBeamCursor);
}

// One append per line makes the text area lay itself out and scroll for
// every line, which a long listing cannot afford; a burst of lines goes in as
// one append. The engine keeps its own record of the last line, so nothing
// reads the text area for it.
namespace {
constexpr int kTranscriptBurst = 1000;
}

bool TFTPForm::AppendTranscriptLine(const std::string& line) {
  size_t length = line.size();
  while (length > 0 && line[length - 1] == '\r') --length;
  if (pendingLines_ > 0) pendingTranscript_ += QLatin1Char('\n');
  pendingTranscript_ += ToQ(std::string_view(line.data(), length));
  if (++pendingLines_ >= kTranscriptBurst) {
    FlushTranscript();
  } else if (!flushQueued_) {
    flushQueued_ = true;
    QTimer::singleShot(0, this, [this] {
      flushQueued_ = false;
      FlushTranscript();
    });
  }
  return true;
}

void TFTPForm::FlushTranscript() {
  if (pendingLines_ == 0) return;
  Memo1->appendPlainText(pendingTranscript_);
  pendingTranscript_.clear();
  pendingLines_ = 0;
}

void TFTPForm::ClearTranscript() {
  pendingTranscript_.clear();
  pendingLines_ = 0;
  Memo1->clear();
}
bool TFTPForm::ProgressVisible() { return meter_->ProgressVisible(); }
void TFTPForm::ShowProgressDialog() { meter_->ShowProgressDialog(); }
int TFTPForm::ProgressPosition() { return meter_->ProgressPosition(); }
void TFTPForm::SetProgress(int percent, const std::string& caption) {
  meter_->SetProgress(percent, caption);
}
void TFTPForm::RepaintProgress() { meter_->RepaintProgress(); }
void TFTPForm::HideProgress() { meter_->HideProgress(); }
void TFTPForm::SetStatusText(const std::string& text) { meter_->SetStatusText(text); }

void TFTPForm::StartEditor(const std::string& editorCommand, const std::string& fileName) {
  // The command is split into words as a shell would, the file is one more
  // argument, and no shell is involved.
  QStringList words = QProcess::splitCommand(ToQ(editorCommand));
  if (words.isEmpty()) return;  // an empty command starts nothing
  QString program = words.takeFirst();
  words << ToQ(fileName);
  QProcess::startDetached(program, words);
}
