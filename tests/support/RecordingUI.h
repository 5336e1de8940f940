#pragma once
// The engine's user interface for tests: records everything the engine shows
// and answers message boxes from a queue, the way a person would click.
//
//   RecordingUI ui;
//   ui.Answer(BoxAnswer::No);            // the next box is answered No
//   FtpEngine engine(ui, dir.Dir());
//   ...
//   EXPECT_EQ(ui.Boxes()[0].caption, "Error");
//
// Each box takes the next queued answer. With an empty queue it is answered
// with the first button it offers in the order OK, Cancel, Yes, No. A queued
// answer the box does not offer fails the running test (a person cannot
// click a button that is not there) and is returned all the same.
//
// EndProgram(code) throws ProgramEnded{code}, which
// deliberately does not derive from std::exception, so the program's "catch
// std::exception and show it in a box" guards let it pass to the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "ftp/EngineUI.h"

struct ProgramEnded { int code; };

struct RecordedBox {
  std::string text, caption;
  BoxIcon icon;
  unsigned buttons;  // BoxOK | BoxCancel | BoxYes | BoxNo
  BoxAnswer answer;  // what was answered
};

struct RecordedProgress { int percent; std::string caption; };

class RecordingUI : public EngineUI {
public:
  // ---- Script ----
  void Answer(BoxAnswer answer) { answers_.push_back(answer); }
  // Called after every SetProgress (e.g. to cancel half way through).
  void SetProgressHook(std::function<void(int percent)> hook) { progressHook_ = std::move(hook); }
  void SetLineHook(std::function<void(const std::string&)> hook) { lineHook_ = std::move(hook); }
  // Until the next clear, AppendTranscriptLine reports that the text area is full.
  void SetTranscriptFull(bool full) { transcriptFull_ = full; }

  // ---- EngineUI ----
  BoxAnswer ShowMessageBox(const std::string& text, const std::string& caption, BoxIcon icon,
                           unsigned buttons) override {
    const unsigned bit[] = {BoxOK, BoxCancel, BoxYes, BoxNo};  // in BoxAnswer's order
    BoxAnswer answer = BoxAnswer::OK;
    for (int i = 3; i >= 0; --i)
      if (buttons & bit[i]) answer = static_cast<BoxAnswer>(i);
    if (!answers_.empty()) {
      answer = answers_.front();
      answers_.pop_front();
      if (!(buttons & bit[static_cast<int>(answer)]))
        ADD_FAILURE() << "RecordingUI: the queued answer is not a button of the box \"" << caption
                      << "\": " << text;
    }
    boxes_.push_back({text, caption, icon, buttons, answer});
    return answer;
  }
  [[noreturn]] void EndProgram(int exitCode) override { throw ProgramEnded{exitCode}; }
  void SetBusyCursor() override { cursorBusy_ = true; }
  void SetNormalCursor() override { cursorBusy_ = false; }
  bool AppendTranscriptLine(const std::string& line) override {
    if (transcriptFull_) return false;
    lines_.push_back(line);
    if (lineHook_) lineHook_(line);
    return true;
  }
  void ClearTranscript() override { transcriptFull_ = false, firstShown_ = lines_.size(); }  // room again
  bool ProgressVisible() override { return progressVisible_; }
  void ShowProgressDialog() override { ++progressShows_, progressVisible_ = true; }
  int ProgressPosition() override { return progressPosition_; }
  void SetProgress(int percent, const std::string& caption) override {
    progressPosition_ = percent;
    progress_.push_back({percent, caption});
    if (progressHook_) progressHook_(percent);
  }
  void RepaintProgress() override { ++repaints_; }
  void HideProgress() override { progressVisible_ = false; }
  void SetStatusText(const std::string& text) override { statusTexts_.push_back(text); }
  void StartEditor(const std::string& editorCommand, const std::string& fileName) override {
    editorStarts_.emplace_back(editorCommand, fileName);
  }

  // ---- Results ----
  const std::vector<RecordedBox>& Boxes() const { return boxes_; }
  // The lines appended since the last clear: what the transcript shows.
  std::vector<std::string> ShownLines() const {
    return {lines_.begin() + static_cast<std::ptrdiff_t>(firstShown_), lines_.end()};
  }
  std::string TranscriptText() const {  // every line without its end, "\n" after each
    return std::accumulate(lines_.begin(), lines_.end(), std::string(),
                           [](std::string all, auto& line) { return all + WithoutEnd(line) + "\n"; });
  }
  bool HasLine(const std::string& exact) const {  // trailing CR and LF ignored
    return std::ranges::any_of(lines_, [&](auto& line) { return WithoutEnd(line) == WithoutEnd(exact); });
  }
  bool HasLineContaining(const std::string& part) const {
    return std::ranges::any_of(lines_, [&](auto& line) { return line.find(part) != std::string::npos; });
  }

  bool Busy() const { return cursorBusy_; }  // the cursor's current state
  bool ProgressShown() const { return progressVisible_; }
  int ProgressShowCount() const { return progressShows_; }
  const std::vector<RecordedProgress>& ProgressHistory() const { return progress_; }
  int RepaintCount() const { return repaints_; }
  const std::vector<std::string>& StatusTexts() const { return statusTexts_; }
  using EditorStart = std::pair<std::string, std::string>;  // (command, file)
  const std::vector<EditorStart>& EditorStarts() const { return editorStarts_; }

private:
  static std::string WithoutEnd(std::string line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    return line;
  }

  std::deque<BoxAnswer> answers_;
  std::function<void(int)> progressHook_;
  std::function<void(const std::string&)> lineHook_;
  bool transcriptFull_ = false;

  std::vector<RecordedBox> boxes_;
  std::vector<std::string> lines_;
  size_t firstShown_ = 0;
  int progressShows_ = 0, progressPosition_ = 0, repaints_ = 0;
  bool cursorBusy_ = false, progressVisible_ = false;
  std::vector<RecordedProgress> progress_;
  std::vector<std::string> statusTexts_;
  std::vector<EditorStart> editorStarts_;
};
