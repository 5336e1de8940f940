#include "RecordingUI.h"

#include <gtest/gtest.h>

namespace {

unsigned ButtonOf(BoxAnswer answer) {
  switch (answer) {
    case BoxAnswer::OK: return BoxOK;
    case BoxAnswer::Cancel: return BoxCancel;
    case BoxAnswer::Yes: return BoxYes;
    case BoxAnswer::No: return BoxNo;
  }
  return 0;
}

BoxAnswer DefaultAnswer(unsigned buttons) {
  for (BoxAnswer a : {BoxAnswer::OK, BoxAnswer::Cancel, BoxAnswer::Yes, BoxAnswer::No})
    if (buttons & ButtonOf(a)) return a;
  return BoxAnswer::OK;
}

std::string WithoutCR(const std::string& line) {
  std::string text = line;
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
  return text;
}

}  // namespace

BoxAnswer RecordingUI::ShowMessageBox(const std::string& text, const std::string& caption,
                                      BoxIcon icon, unsigned buttons) {
  BoxAnswer answer = DefaultAnswer(buttons);
  if (!answers_.empty()) {
    answer = answers_.front();
    answers_.erase(answers_.begin());
    if (!(buttons & ButtonOf(answer)))
      ADD_FAILURE() << "RecordingUI: the queued answer is not a button of the box \"" << caption
                    << "\": " << text;
  }
  boxes_.push_back({text, caption, icon, buttons, answer});
  if (boxHandler_) {
    answer = boxHandler_(boxes_.back());
    boxes_.back().answer = answer;
  }
  return answer;
}

void RecordingUI::EndProgram(int exitCode) {
  endedWith_ = exitCode;
  throw ProgramEnded{exitCode};
}

void RecordingUI::SetBusyCursor() {
  ++busy_;
  cursorBusy_ = true;
}

void RecordingUI::SetNormalCursor() {
  ++normal_;
  cursorBusy_ = false;
}

bool RecordingUI::AppendTranscriptLine(const std::string& line) {
  if (transcriptFull_) return false;
  lines_.push_back(line);
  if (lineHook_) lineHook_(line);
  return true;
}

void RecordingUI::ClearTranscript() {
  ++clears_;
  transcriptFull_ = false;  // a cleared text area has room again
  firstShown_ = lines_.size();
}

void RecordingUI::ShowProgressDialog() {
  ++progressShows_;
  progressVisible_ = true;
}

void RecordingUI::SetProgress(int percent, const std::string& caption) {
  progressPosition_ = percent;
  progress_.push_back({percent, caption});
  if (progressHook_) progressHook_(percent);
}

void RecordingUI::HideProgress() {
  ++progressHides_;
  progressVisible_ = false;
}

std::vector<std::string> RecordingUI::ShownLines() const {
  return {lines_.begin() + static_cast<std::ptrdiff_t>(firstShown_), lines_.end()};
}

std::string RecordingUI::TranscriptText() const {
  std::string text;
  for (auto& line : lines_) text += WithoutCR(line) + "\n";
  return text;
}

bool RecordingUI::HasLine(const std::string& exact) const {
  for (auto& line : lines_)
    if (WithoutCR(line) == WithoutCR(exact)) return true;
  return false;
}

bool RecordingUI::HasLineContaining(const std::string& part) const {
  for (auto& line : lines_)
    if (line.find(part) != std::string::npos) return true;
  return false;
}
