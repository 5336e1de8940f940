// The main window as it starts: what it reads and writes, its menus and
// their enabled state, the Options menu, and that opening menus and dialogs
// never ends the program.
#include <QMenu>
#include <QMenuBar>
#include <filesystem>

#include "MainWindowKit.h"
#include "settings/TIniFile.h"

using namespace mw;

namespace {

std::string Option(const TempProgramDir& dir, const char* key) {
  return TIniFile(dir.IniPath()).ReadText("options", key, "<none>");
}

TEST_F(MainWindow, FirstStartWritesDefaultsAndEnablesOnlyTheOfflineCommands) {
  Open();
  EXPECT_EQ(form->windowTitle(), "Tarnex 97");
  EXPECT_EQ(Option(dir, "DirSep"), "0");
  EXPECT_EQ(Option(dir, "ViewSep"), "1");
  EXPECT_EQ(Option(dir, "Editor"), "xdg-open");
  EXPECT_FALSE(form->DirSepMNU->isChecked());
  EXPECT_TRUE(form->ViewSepMNU->isChecked());
  EXPECT_TRUE(form->Engine().LogEnabled);
  EXPECT_TRUE(boxes.Boxes().empty());

  const std::vector<QAction*> enabled = {form->Setup1, form->ConnectMNU, form->ExitMNU,
                                         form->DirSepMNU, form->ViewSepMNU, form->EditorMNU};
  for (QMenu* menu : {form->FileMNU, form->FileTransMNU, form->DirCommandMNU, form->MiscCommMNU,
                      form->OptionsMNU}) {
    EXPECT_TRUE(menu->menuAction()->isEnabled()) << menu->objectName().toStdString();
    for (QAction* item : menu->actions()) {
      if (item->isSeparator()) continue;
      const bool shouldBe = std::find(enabled.begin(), enabled.end(), item) != enabled.end();
      EXPECT_EQ(item->isEnabled(), shouldBe) << item->objectName().toStdString();
    }
  }
}

TEST_F(MainWindow, StoredOptionsSetTheCheckMarks) {
  dir.WriteIni("[options]\r\nDirSep=2\r\nViewSep=0\r\nEditor=ed\r\n");
  Open();
  EXPECT_TRUE(form->DirSepMNU->isChecked());  // any value but "0" shows a mark
  EXPECT_FALSE(form->ViewSepMNU->isChecked());
}

TEST_F(MainWindow, OnlyEditorStoredWritesNoDefaults) {
  const std::string ini = "[options]\r\nEditor=vi\r\n";
  dir.WriteIni(ini);
  Open();
  EXPECT_EQ(dir.ReadIni(), ini);
  // Empty is not "0": both items carry a mark while output goes to the transcript.
  EXPECT_TRUE(form->DirSepMNU->isChecked());
  EXPECT_TRUE(form->ViewSepMNU->isChecked());
  EXPECT_EQ(form->Engine().DirSep, "");

  form->DirSepMNU->trigger();
  EXPECT_EQ(Option(dir, "DirSep"), "0");
  EXPECT_FALSE(form->DirSepMNU->isChecked());
}

TEST_F(MainWindow, NamesWithoutStoredConfigurationWarnAndStartInteractively) {
  dir.WriteIni("[Fixed]\r\nOK=0\r\n");
  Open({"some-file.txt"});
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, "There is no server in configuration, Please choose setup");
  EXPECT_EQ(boxes.Boxes()[0].buttons, unsigned(BoxOK));
  EXPECT_FALSE(form->BatchStarted);
  EXPECT_TRUE(form->isVisible());
  EXPECT_TRUE(form->ConnectMNU->isEnabled());
}

TEST_F(MainWindow, UnreachableLocalDirectoryWarnsAndGoesOn) {
  dir.WriteIni("[LastUsed]\r\nNAME=p\r\n[p]\r\nLocaldir=" + dir.Dir() + "missing\r\n");
  Open();
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, "Cannot find directory");
  EXPECT_TRUE(form->isVisible());
}

TEST_F(MainWindow, DirectorySeparateTogglesAndStoresAtOnce) {
  Open();
  form->DirSepMNU->trigger();
  EXPECT_TRUE(form->DirSepMNU->isChecked());
  EXPECT_EQ(Option(dir, "DirSep"), "1");
  form->DirSepMNU->trigger();
  EXPECT_FALSE(form->DirSepMNU->isChecked());
  EXPECT_EQ(Option(dir, "DirSep"), "0");

  form->ViewSepMNU->trigger();
  EXPECT_FALSE(form->ViewSepMNU->isChecked());
  EXPECT_EQ(Option(dir, "ViewSep"), "0");
}

TEST_F(MainWindow, EditorPromptShowsTheStoredValueAndCancelWritesItBack) {
  Open();
  // Edited by hand while the program runs: the prompt offers the file's value.
  TIniFile(dir.IniPath()).WriteText("options", "Editor", "kate --new");
  QString caption, shown;
  AnswerNextModal([&](QWidget* d) {
    caption = d->windowTitle();
    shown = Child<QLineEdit>(d, "Value")->text();
    ClickCancel(d);
  });
  form->EditorMNU->trigger();
  EXPECT_EQ(caption, "Enter preferred editor");
  EXPECT_EQ(shown, "kate --new");
  EXPECT_EQ(Option(dir, "Editor"), "kate --new");
  EXPECT_EQ(form->Engine().Editor, "kate --new");

  AnswerPrompt("");  // OK with an empty box empties the editor
  form->EditorMNU->trigger();
  EXPECT_EQ(Option(dir, "Editor"), "");
  EXPECT_EQ(form->Engine().Editor, "");
}

TEST_F(MainWindow, RefusedOptionWriteShowsTheErrorAndTheProgramGoesOn) {
  Open();
  // A folder where the settings file should be refuses every write, even
  // to a program with every right.
  std::filesystem::remove(dir.IniPath());
  std::filesystem::create_directory(dir.IniPath());
  form->DirSepMNU->trigger();
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_EQ(boxes.Boxes()[0].text, "Unable to write to " + dir.IniPath());
  EXPECT_TRUE(form->isVisible());
}

// Opening each menu, and each dialog the window can open while not
// connected, leaves the window open; only leaving the transcript for another
// control of the window ends it.
TEST_F(MainWindow, MenusAndDialogsDoNotCloseTheProgram) {
  Open();
  for (QMenu* menu : {form->FileMNU, form->FileTransMNU, form->DirCommandMNU,
                      form->MiscCommMNU, form->OptionsMNU}) {
    menu->popup(form->mapToGlobal(QPoint(10, 10)));
    QTest::qWait(20);
    menu->hide();
    QTest::qWait(20);
  }
  // The dialogs of every command, opened and cancelled from their handlers.
  CancelNextModal();
  form->Setup1->trigger();
  CancelNextModal();
  form->EditorMNU->trigger();
  for (auto handler : {&TFTPForm::GetMNUClick, &TFTPForm::PutMNUClick, &TFTPForm::ViewMNUClick,
                       &TFTPForm::RenameMNUClick, &TFTPForm::DirMNUClick,
                       &TFTPForm::ChDirMNUClick, &TFTPForm::QuoteMNUClick}) {
    CancelNextModal();
    (form.get()->*handler)();
  }
  // Another window taking the focus does not count either.
  QWidget other;
  other.show();
  other.activateWindow();
  EXPECT_TRUE(QTest::qWaitForWindowActive(&other));
  other.close();
  QTest::qWait(50);
  EXPECT_TRUE(form->isVisible());

  // Tabbing from the transcript to another control of the window does.
  auto* extra = new QLineEdit(form.get());
  extra->move(0, 0);
  extra->show();
  form->activateWindow();
  EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
  form->Memo1->setFocus();
  QTest::qWait(20);
  extra->setFocus(Qt::TabFocusReason);
  QElapsedTimer clock;
  clock.start();
  while (form->isVisible() && clock.elapsed() < 5000) QTest::qWait(10);
  EXPECT_FALSE(form->isVisible());
}

// Lines go to the transcript in bursts; every line arrives, in order, and is
// on show before a message box comes up.
TEST_F(MainWindow, TranscriptShowsEveryLineInOrder) {
  Open();
  FtpEngine& e = form->Engine();
  for (int i = 0; i < 2500; ++i) e.ShowLine("line %s", {std::to_string(i)});
  std::vector<std::string> lines = TranscriptLines();
  ASSERT_EQ(lines.size(), 2500u);
  for (int i = 0; i < 2500; ++i) ASSERT_EQ(lines[i], "line " + std::to_string(i));

  e.ShowLine("dropped by the clear");
  e.Memo.Clear();
  e.ShowText("220 after the clear\r\n");
  EXPECT_EQ(TranscriptLines(), std::vector<std::string>{"220 after the clear"});
  EXPECT_EQ(e.Memo.LastReplyCode(), 220);

  QString shownAtBox;
  boxes.SetBoxHandler([&](const RecordedBox&) {
    shownAtBox = form->Memo1->toPlainText();
    return BoxAnswer::OK;
  });
  e.ShowLine("what led to the box");
  e.UI().ShowMessageBox("text", "Error", BoxIcon::Exclamation, BoxOK);
  EXPECT_TRUE(shownAtBox.endsWith("what led to the box"));
}

TEST_F(MainWindow, ExitWhileNotConnectedClosesWithoutLogOrTranscript) {
  Open();
  form->ExitMNU->trigger();
  // The window closes once the handler has returned to the event loop.
  QTest::qWait(50);
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(dir.ReadLog(), "");
  EXPECT_EQ(form->Memo1->toPlainText(), "");
}

}  // namespace
