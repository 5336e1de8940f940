#pragma once
// TARNEX.LOG: one time-stamped line per event, opened and closed per event.
// A log file it creates is readable and writable by its user only (0600).
#include <string>

// The text with CR, LF, tab and the other control characters written as
// \r, \n, \t and \xNN, so that no name or reply text can start a line of
// its own.
std::string EscapeControls(const std::string& text);

class LogFile {
public:
  explicit LogFile(std::string path) : path_(std::move(path)) {}
  const std::string& Path() const { return path_; }
  // Appends "date time text" with CR LF, the text's control characters
  // escaped; throws std::runtime_error with
  // "Unable to write to <path>" when the file cannot be written.
  void Write(const std::string& text) const;

private:
  std::string path_;
};
