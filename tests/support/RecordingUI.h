#pragma once
// The engine's user interface for tests: records everything the engine
// shows and answers message boxes from a queue, the way a person would
// click. Single-threaded, like the engine.
//
//   RecordingUI ui;
//   ui.Answer(BoxAnswer::No);            // the next box is answered No
//   FtpEngine engine(ui, dir.Dir());
//   ...
//   ASSERT_EQ(ui.Boxes().size(), 1u);
//   EXPECT_EQ(ui.Boxes()[0].caption, "Error");
//
// Answers: each box takes the next queued answer. With an empty queue the
// box is answered OK when it offers OK, otherwise with the first button it
// offers in the order OK, Cancel, Yes, No (so Yes for a Yes/No box). A
// queued answer the box does not offer fails the running test (a person
// cannot click a button that is not there) and is returned all the same.
//
// EndProgram(code) records the code and throws ProgramEnded{code}.
// ProgramEnded deliberately does not derive from std::exception, so the
// program's "catch std::exception and show it in a box" guards let it pass
// and the test catches it:
//   EXPECT_THROW(engine.Something(), ProgramEnded);  or
//   try { ... } catch (const ProgramEnded& e) { EXPECT_EQ(e.code, 2); }
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ftp/EngineUI.h"

struct ProgramEnded {
  int code;
};

struct RecordedBox {
  std::string text;
  std::string caption;
  BoxIcon icon;
  unsigned buttons;    // BoxOK | BoxCancel | BoxYes | BoxNo
  BoxAnswer answer;    // what was answered
};

struct RecordedProgress {
  int percent;
  std::string caption;
};

class RecordingUI : public EngineUI {
public:
  // ---- Script ----
  void Answer(BoxAnswer answer) { answers_.push_back(answer); }
  size_t PendingAnswers() const { return answers_.size(); }
  // Called for every box after it is recorded; its result replaces the
  // queued or default answer (e.g. to act while the box "is open").
  void SetBoxHandler(std::function<BoxAnswer(const RecordedBox&)> handler) {
    boxHandler_ = std::move(handler);
  }
  // Called after every SetProgress, with the percentage (e.g. to cancel a
  // transfer half way through).
  void SetProgressHook(std::function<void(int percent)> hook) { progressHook_ = std::move(hook); }
  // Called after every transcript line is appended.
  void SetLineHook(std::function<void(const std::string& line)> hook) { lineHook_ = std::move(hook); }
  // From now on, until the next clear, AppendTranscriptLine reports that the
  // text area is full.
  void SetTranscriptFull(bool full) { transcriptFull_ = full; }

  // ---- EngineUI ----
  BoxAnswer ShowMessageBox(const std::string& text, const std::string& caption, BoxIcon icon,
                           unsigned buttons) override;
  [[noreturn]] void EndProgram(int exitCode) override;
  void SetBusyCursor() override;
  void SetNormalCursor() override;
  bool AppendTranscriptLine(const std::string& line) override;
  void ClearTranscript() override;
  bool ProgressVisible() override { return progressVisible_; }
  void ShowProgressDialog() override;
  int ProgressPosition() override { return progressPosition_; }
  void SetProgress(int percent, const std::string& caption) override;
  void RepaintProgress() override { ++repaints_; }
  void HideProgress() override;
  void SetStatusText(const std::string& text) override { statusTexts_.push_back(text); }
  void StartEditor(const std::string& editorCommand, const std::string& fileName) override {
    editorStarts_.emplace_back(editorCommand, fileName);
  }

  // ---- Results ----
  const std::vector<RecordedBox>& Boxes() const { return boxes_; }
  // Every line appended, in order, across clears (each as given: CR kept).
  const std::vector<std::string>& Lines() const { return lines_; }
  // The lines appended since the last clear: what the transcript shows.
  std::vector<std::string> ShownLines() const;
  // The lines joined, each without its trailing CR, with "\n" after each.
  std::string TranscriptText() const;
  bool HasLine(const std::string& exact) const;  // a line equal to exact, CR ignored
  bool HasLineContaining(const std::string& part) const;
  int ClearCount() const { return clears_; }

  int BusyCount() const { return busy_; }
  int NormalCount() const { return normal_; }
  bool Busy() const { return cursorBusy_; }  // the cursor's current state

  bool ProgressShown() const { return progressVisible_; }
  int ProgressShowCount() const { return progressShows_; }
  int ProgressHideCount() const { return progressHides_; }
  const std::vector<RecordedProgress>& ProgressHistory() const { return progress_; }
  int RepaintCount() const { return repaints_; }

  const std::vector<std::string>& StatusTexts() const { return statusTexts_; }
  const std::vector<std::pair<std::string, std::string>>& EditorStarts() const {
    return editorStarts_;
  }  // (command, file)
  std::optional<int> EndedWith() const { return endedWith_; }

private:
  std::vector<BoxAnswer> answers_;
  std::function<BoxAnswer(const RecordedBox&)> boxHandler_;
  std::function<void(int)> progressHook_;
  std::function<void(const std::string&)> lineHook_;
  bool transcriptFull_ = false;

  std::vector<RecordedBox> boxes_;
  std::vector<std::string> lines_;
  size_t firstShown_ = 0;
  int clears_ = 0;
  int busy_ = 0;
  int normal_ = 0;
  bool cursorBusy_ = false;
  bool progressVisible_ = false;
  int progressShows_ = 0;
  int progressHides_ = 0;
  int progressPosition_ = 0;
  std::vector<RecordedProgress> progress_;
  int repaints_ = 0;
  std::vector<std::string> statusTexts_;
  std::vector<std::pair<std::string, std::string>> editorStarts_;
  std::optional<int> endedWith_;
};
