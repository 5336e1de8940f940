// The recording user interface and the temporary program folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

#include "RecordingUI.h"
#include "TempProgramDir.h"

TEST(RecordingUIFixture, AnswersFromItsQueueThenByDefault) {
  RecordingUI ui;
  ui.Answer(BoxAnswer::No);
  EXPECT_EQ(ui.ShowMessageBox("Replace?", "Warning", BoxIcon::Warning, BoxYes | BoxNo),
            BoxAnswer::No);
  EXPECT_EQ(ui.ShowMessageBox("Gone", "Error", BoxIcon::Exclamation, BoxOK), BoxAnswer::OK);
  EXPECT_EQ(ui.ShowMessageBox("Sure?", "Q", BoxIcon::None, BoxYes | BoxNo), BoxAnswer::Yes);
  EXPECT_EQ(ui.ShowMessageBox("Go on?", "Q", BoxIcon::None, BoxOK | BoxCancel), BoxAnswer::OK);

  ASSERT_EQ(ui.Boxes().size(), 4u);
  EXPECT_EQ(ui.Boxes()[0].text, "Replace?");
  EXPECT_EQ(ui.Boxes()[0].caption, "Warning");
  EXPECT_EQ(ui.Boxes()[0].icon, BoxIcon::Warning);
  EXPECT_EQ(ui.Boxes()[0].buttons, unsigned(BoxYes | BoxNo));
  EXPECT_EQ(ui.Boxes()[0].answer, BoxAnswer::No);
  EXPECT_EQ(ui.PendingAnswers(), 0u);
}

TEST(RecordingUIFixture, EndProgramPassesGuardsThatCatchStdException) {
  RecordingUI ui;
  MessageBoxes& boxes = ui;
  bool passedGuard = false;
  try {
    try {
      boxes.EndProgram(2);
    } catch (const std::exception&) {
      FAIL() << "ProgramEnded was caught as a std::exception";
    }
  } catch (const ProgramEnded& ended) {
    passedGuard = true;
    EXPECT_EQ(ended.code, 2);
  }
  EXPECT_TRUE(passedGuard);
  EXPECT_EQ(ui.EndedWith(), 2);
}

TEST(RecordingUIFixture, KeepsTranscriptCursorAndProgress) {
  RecordingUI ui;
  int hooked = -1;
  ui.SetProgressHook([&](int percent) { hooked = percent; });
  ui.AppendTranscriptLine("220 ready\r");
  ui.ClearTranscript();
  ui.AppendTranscriptLine("USER bob\r");
  EXPECT_EQ(ui.Lines().size(), 2u);
  EXPECT_EQ(ui.ShownLines(), std::vector<std::string>{"USER bob\r"});
  EXPECT_TRUE(ui.HasLine("220 ready"));
  ui.SetTranscriptFull(true);
  EXPECT_FALSE(ui.AppendTranscriptLine("lost\r"));

  ui.SetBusyCursor();
  EXPECT_TRUE(ui.Busy());
  ui.SetNormalCursor();
  EXPECT_FALSE(ui.Busy());

  ui.ShowProgressDialog();
  ui.SetProgress(40, "a.bin");
  EXPECT_TRUE(ui.ProgressVisible());
  EXPECT_EQ(ui.ProgressPosition(), 40);
  EXPECT_EQ(hooked, 40);
  ui.HideProgress();
  EXPECT_FALSE(ui.ProgressVisible());
}

TEST(TempProgramDirFixture, IsTheCurrentDirectoryUntilItEnds) {
  const auto before = std::filesystem::current_path();
  std::filesystem::path path;
  {
    TempProgramDir dir;
    path = dir.Path();
    EXPECT_EQ(dir.Dir().back(), '/');
    EXPECT_EQ(std::filesystem::current_path(), path);
    dir.WriteIni("[Fixed]\r\nOK=1\r\n");
    EXPECT_EQ(dir.ReadFile("TARNEX.INI"), "[Fixed]\r\nOK=1\r\n");
    EXPECT_EQ(dir.ReadLog(), "");
  }
  EXPECT_EQ(std::filesystem::current_path(), before);
  EXPECT_FALSE(std::filesystem::exists(path));
}
