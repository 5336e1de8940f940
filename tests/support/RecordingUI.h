#pragma once
// The engine's user interface for tests: records everything the engine shows
// and answers message boxes from a queue, the way a person would click.
//
//   RecordingUI ui;
//   ui.answers = {BoxAnswer::No};        // the next box is answered No
//   FtpEngine engine(ui, dir.Dir());
//   ...
//   EXPECT_EQ(ui.boxes[0].caption, "Error");
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

struct RecordedBox { std::string text, caption; unsigned buttons; };  // buttons: BoxOK | BoxCancel | BoxYes | BoxNo

struct RecordedProgress { int percent; std::string caption; };

class RecordingUI : public EngineUI {
public:
  // ---- Script ----
  std::deque<BoxAnswer> answers;  // for the next boxes, in order
  std::function<void(int percent)> progressHook;  // called after every SetProgress
  std::function<void(const std::string&)> lineHook;  // called after every line appended
  bool transcriptFull = false;  // until the next clear, no line is taken: the text area is full

  // ---- EngineUI ----
  BoxAnswer ShowMessageBox(const std::string& text, const std::string& caption, BoxIcon,
                           unsigned buttons) override {
    const unsigned bit[] = {BoxOK, BoxCancel, BoxYes, BoxNo};  // in BoxAnswer's order
    BoxAnswer answer = BoxAnswer::OK;
    for (int i = 3; i >= 0; --i)
      if (buttons & bit[i]) answer = static_cast<BoxAnswer>(i);
    if (!answers.empty()) {
      answer = answers.front();
      answers.pop_front();
      if (!(buttons & bit[static_cast<int>(answer)]))
        ADD_FAILURE() << "RecordingUI: the queued answer is not a button of the box \"" << caption
                      << "\": " << text;
    }
    boxes.push_back({text, caption, buttons});
    return answer;
  }
  [[noreturn]] void EndProgram(int exitCode) override { throw ProgramEnded{exitCode}; }
  void SetBusyCursor() override { busy = true; }
  void SetNormalCursor() override { busy = false; }
  bool AppendTranscriptLine(const std::string& line) override {
    if (transcriptFull) return false;
    lines.push_back(line);
    if (lineHook) lineHook(line);
    return true;
  }
  void ClearTranscript() override { transcriptFull = false, firstShown = lines.size(); }  // room again
  bool ProgressVisible() override { return progressVisible; }
  void ShowProgressDialog() override { ++progressShows, progressVisible = true; }
  int ProgressPosition() override { return progressPosition; }
  void SetProgress(int percent, const std::string& caption) override {
    progressPosition = percent;
    progress.push_back({percent, caption});
    if (progressHook) progressHook(percent);
  }
  void RepaintProgress() override { ++repaints; }
  void HideProgress() override { progressVisible = false; }
  void SetStatusText(const std::string& text) override { statusTexts.push_back(text); }
  void StartEditor(const std::string& editorCommand, const std::string& fileName) override {
    editorStarts.emplace_back(editorCommand, fileName);
  }

  // ---- Results ----
  // The lines appended since the last clear: what the transcript shows.
  std::vector<std::string> ShownLines() const {
    return {lines.begin() + static_cast<std::ptrdiff_t>(firstShown), lines.end()};
  }
  std::string TranscriptText() const {  // every line without its end, "\n" after each
    return std::accumulate(lines.begin(), lines.end(), std::string(),
                           [](std::string all, auto& line) { return all + WithoutEnd(line) + "\n"; });
  }
  bool HasLine(const std::string& exact) const {  // trailing CR and LF ignored
    return std::ranges::any_of(lines, [&](auto& line) { return WithoutEnd(line) == WithoutEnd(exact); });
  }
  bool HasLineContaining(const std::string& part) const {
    return std::ranges::any_of(lines, [&](auto& line) { return line.find(part) != std::string::npos; });
  }

  std::vector<RecordedBox> boxes;
  std::vector<std::string> lines;  // every line appended
  size_t firstShown = 0;           // the first line since the last clear
  int progressShows = 0, progressPosition = 0, repaints = 0;
  bool busy = false, progressVisible = false;  // the cursor's and the progress dialog's state
  std::vector<RecordedProgress> progress;
  std::vector<std::string> statusTexts;
  std::vector<std::pair<std::string, std::string>> editorStarts;  // (command, file)

private:
  static std::string WithoutEnd(std::string line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
    return line;
  }
};
