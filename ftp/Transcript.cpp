#include "ftp/Transcript.h"

#include <algorithm>
#include <cstring>

namespace {
const char kClearedLine[] = "Cleared output area due to limited  resources";
}

Transcript::Transcript(LineSink append, ClearSink clear)
    : append_(std::move(append)), clear_(std::move(clear)) {}

void Transcript::ShowText(const std::string& text) {
  if (text.size() < 2) return;  // a single character, a lone LF included, is dropped
  Append(text);
}

void Transcript::ShowData(const std::string& text) { Append(text); }

void Transcript::Append(const std::string& text) {
  const char* p = text.data();
  const char* end = p + text.size();
  while (p < end) {
    // Copy the run up to the next LF or NUL in one piece, but no further
    // than the longest line.
    const char* limit = p + std::min<size_t>(static_cast<size_t>(end - p),
                                              kMaxLine - PendingLine.size());
    const char* stop = p;
    while (stop < limit && *stop != '\n' && *stop != '\0') ++stop;
    PendingLine.append(p, stop);
    if (stop == limit && PendingLine.size() >= kMaxLine) {
      Complete();
      p = stop;
      continue;
    }
    if (stop == end) break;
    if (*stop == '\n') Complete();
    p = stop + 1;  // a NUL is skipped
  }
}

void Transcript::Complete() {
  if (append_(PendingLine)) {
    lastLine_.swap(PendingLine);
  } else {
    // The text area has no room left: start it again with a note.
    clear_();
    append_(kClearedLine);
    lastLine_ = kClearedLine;
  }
  PendingLine.clear();
}

void Transcript::Clear() {
  PendingLine.clear();
  lastLine_.clear();
  clear_();
}

int Transcript::LastReplyCode() const {
  if (lastLine_.size() < 3) return -1;
  int code = 0;
  for (int i = 0; i < 3; ++i) {
    char c = lastLine_[i];
    if (c < '0' || c > '9') return -1;
    code = code * 10 + (c - '0');
  }
  return code;
}
