#pragma once
// The transcript's line assembly: text is cut into lines at each LF and only
// whole lines reach the text area; NUL bytes are skipped, CR is kept, and a
// message of fewer than two characters is dropped (data text never is). A
// line that grows to kMaxLine without a line end is handed on as it stands,
// so text without LF cannot take memory without bound. The last line handed
// on is kept here, so the reply checks read it without a widget.
#include <functional>
#include <string>

class Transcript {
public:
  // Receives each complete line; returns false when the area has no room.
  using LineSink = std::function<bool(const std::string& line)>;
  // Empties the text area.
  using ClearSink = std::function<void()>;

  // The longest line kept; reply lines are cut at the same length.
  static constexpr size_t kMaxLine = 1 << 20;

  Transcript(LineSink append, ClearSink clear);

  // A message: dropped when shorter than two characters.
  void ShowText(const std::string& text);
  // Listing or view text from a data connection: every piece is shown,
  // whatever its size.
  void ShowData(const std::string& text);
  // Empties the pending line and the text area.
  void Clear();

  std::string PendingLine;
  const std::string& LastLine() const { return lastLine_; }
  // The first three characters of the last line as a decimal number, or -1
  // when they are not three digits.
  int LastReplyCode() const;

private:
  void Append(const std::string& text);
  void Complete();
  LineSink append_;
  ClearSink clear_;
  std::string lastLine_;
};
