#pragma once
// The transcript's line assembly: text is cut into lines at each LF and only
// whole lines reach the text area; NUL bytes are skipped, CR is kept, and a
// text of fewer than two characters is dropped. The last line handed on is
// kept here, so the reply checks read it without a widget.
#include <functional>
#include <string>

class Transcript {
public:
  // Receives each complete line; returns false when the area has no room.
  using LineSink = std::function<bool(const std::string& line)>;
  // Empties the text area.
  using ClearSink = std::function<void()>;

  Transcript(LineSink append, ClearSink clear);

  void ShowText(const std::string& text);
  // Empties the pending line and the text area.
  void Clear();

  std::string PendingLine;
  const std::string& LastLine() const { return lastLine_; }
  // The first three characters of the last line as a decimal number, or -1
  // when they are not three digits.
  int LastReplyCode() const;

private:
  void Complete();
  LineSink append_;
  ClearSink clear_;
  std::string lastLine_;
};
