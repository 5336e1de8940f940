#pragma once
// The main window: the transcript fills it, the menus carry every command.
// It is the engine's user interface (boxes, cursors, transcript, progress
// dialog, editor).
#include <QMainWindow>
#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "batch/BatchUpload.h"
#include "ftp/FtpEngine.h"
#include "settings/ConnectionProfile.h"
#include "ui/WidgetBoxes.h"

class QAction;
class QMenu;
class QPlainTextEdit;
class TMeterDLG;

class TFTPForm : public QMainWindow, public EngineUI {
  Q_OBJECT
public:
  // Creating the window runs FormCreate: it reads the settings and, with
  // names given and a configuration stored, runs the batch upload. Boxes are
  // shown with widgets unless `boxes` is given (a test's recorder), which
  // then also takes EndProgram.
  // unplaced: names among `names` that are relative to a start folder the
  // system could not name; the run refuses them.
  TFTPForm(const std::string& programDir, const std::vector<std::string>& names,
           TMeterDLG* meter, MessageBoxes* boxes = nullptr, QWidget* parent = nullptr,
           const std::vector<std::string>& unplaced = {});
  ~TFTPForm() override;

  FtpEngine& Engine() { return *engine_; }
  const std::string& ProgramDir() const { return programDir_; }
  std::string IniPath() const { return programDir_ + "TARNEX.INI"; }

  // Program-wide values read at start-up.
  ConnectionProfile ActiveProfile;
  BatchOptions Batch;
  int32_t CurrentTransferType = 0;
  std::string TypeCommand;
  bool ConfiguredFlag = false;
  bool BatchStarted = false;
  BatchResult BatchOutcome = BatchResult::Finished;

  // Menus and items, named as the program names them.
  QMenu *FileMNU, *FileTransMNU, *DirCommandMNU, *MiscCommMNU, *OptionsMNU;
  QAction *Setup1, *ConnectMNU, *QuitMNU, *RenameMNU, *DeleteMNU, *N1, *ExitMNU;
  QAction *GetMNU, *PutMNU, *ViewMNU, *CancelMNU;
  QAction *DirMNU, *PwdMNU, *ChDirMNU, *ParentMNU, *MkDirMNU, *RmDirMNU;
  QAction *QuoteMNU, *HelpMNU;
  QAction *DirSepMNU, *ViewSepMNU, *EditorMNU, *FastMNU;
  QPlainTextEdit* Memo1;

  void EnableDisableMenus();

  // Lines reach Memo1 in bursts: they are collected and shown together when
  // the event loop next runs, when a command ends, before a message box, or
  // once a burst is full. This shows everything now.
  void FlushTranscript();

  // Menu handlers.
  void Setup1Click();
  void ConnectMNUClick();
  void QuitMNUClick();
  void ExitMNUClick();
  void DirMNUClick();
  void PwdMNUClick();
  void ChDirMNUClick();
  void ParentMNUClick();
  void MkDirMNUClick();
  void RmDirMNUClick();
  void RenameMNUClick();
  void DeleteMNUClick();
  void HelpMNUClick();
  void QuoteMNUClick();
  void GetMNUClick();
  void PutMNUClick();
  void ViewMNUClick();
  void CancelMNUClick();
  void DirSepMNUClick();
  void ViewSepMNUClick();
  void EditorMNUClick();
  void FastMNUClick();

  // EngineUI.
  BoxAnswer ShowMessageBox(const std::string& text, const std::string& caption, BoxIcon icon,
                           unsigned buttons) override;
  void EndProgram(int exitCode) override;
  // The engine found the control connection gone: the menus follow.
  void ConnectionChanged() override { EnableDisableMenus(); }
  void SetBusyCursor() override;
  void SetNormalCursor() override;
  bool AppendTranscriptLine(const std::string& line) override;
  void ClearTranscript() override;
  bool ProgressVisible() override;
  void ShowProgressDialog() override;
  int ProgressPosition() override;
  void SetProgress(int percent, const std::string& caption) override;
  void RepaintProgress() override;
  void HideProgress() override;
  void SetStatusText(const std::string& text) override;
  void StartEditor(const std::string& editorCommand, const std::string& fileName) override;

protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  // One line in the transcript and the log for what an unattended run would
  // otherwise have put in a box.
  void TellUnattended(const std::string& text);
  void BuildMenus();
  void FormCreate(const std::vector<std::string>& names, const std::vector<std::string>& unplaced);
  void FormClose();
  // Connects a menu item to its handler, run inside the handler guard.
  void Wire(QAction* item, void (TFTPForm::*handler)());
  // A prompted remote command: asks, sends on OK, logs in every case.
  void PromptedCommand(const char* caption, const char* prompt, const char* format,
                       const char* logPrefix);
  bool EnterDirectory(const std::string& dir);

  std::string programDir_;
  TMeterDLG* meter_;
  WidgetBoxes boxes_;
  MessageBoxes* boxOverride_;
  std::unique_ptr<FtpEngine> engine_;
  int runningHandlers_ = 0;   // handlers on the stack (nested waits included)
  bool closePending_ = false; // a close asked for while a handler waits
  bool closing_ = false;
  bool connecting_ = false;    // Connect runs, from its Setup dialog to the login's end
  QString pendingTranscript_;  // lines not yet in Memo1, each after a '\n' but the first
  int pendingLines_ = 0;
  bool flushQueued_ = false;
};
