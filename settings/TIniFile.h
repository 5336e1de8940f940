#pragma once
// TIniFile: reading and writing one settings file, made for its full path.
//
// Every call opens the file anew and nothing is kept between calls, so a
// value written is seen by the next read at once, also through another
// TIniFile for the same path.
//
// The file holds sections ("[name]" lines) with "key=value" lines. Section
// and key names compare without regard to letter case and to blanks around
// them. An absent file, section or key reads as the default given; reading
// never creates the file. A write creates the file, the section and the key
// as needed, replaces an existing value in place, and keeps every other line
// byte for byte where it is: comments (';' or '#'), blank lines, other
// sections and keys. New keys go after the last key of their section, new
// sections at the end of the file. When a section or a key stands twice, the
// first one counts, for reading and for writing alike.
//
// Values:
//   - read: the text after the first '=', without the blanks around it and
//     without one pair of double quotes around it; at most 1023 characters;
//   - written: exactly as given, so every value reads back as written. A value
//     with a blank at either end (a password " x ", say), or one that starts
//     and ends with '"', is stored in double quotes to keep it so.
//   - line breaks: a value (or a section or key name) is stored only up to its
//     first CR, LF or NUL; the rest is dropped. A stored text therefore can
//     never add a line, and so never a key or a section, to the file.
//   - a hand-edited "key = value" reads as "value"; when such a line is
//     rewritten it becomes "key=value".
//
// Writes replace the whole file safely (see FileRewrite.h). A write the
// system refuses throws std::runtime_error("Unable to write to <path>") and
// leaves the file as it was.
//
// Robustness: files of any size and content (binary data, NUL bytes, very
// long lines) are read through a bounded buffer; a line longer than 64 KiB
// is never taken for a section header. A path that is not a regular file (a
// folder, a device, a pipe) reads as an absent file.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class TIniFile {
public:
  // The longest value a read returns.
  static constexpr std::size_t MaxValueLength = 1023;

  explicit TIniFile(std::string fileName);

  const std::string& FileName() const { return fileName_; }

  std::string ReadText(const std::string& section, const std::string& key,
                       const std::string& defaultValue) const;
  // An empty value is stored as "key=".
  void WriteText(const std::string& section, const std::string& key,
                 const std::string& value) const;

  // "0x"/"0X" followed by hexadecimal digits (when longer than two
  // characters), otherwise a decimal integer with optional sign. Empty text,
  // anything else, and numbers outside the 32-bit signed range give the
  // default.
  int32_t ReadNumber(const std::string& section, const std::string& key,
                     int32_t defaultValue) const;
  // Stored in decimal.
  void WriteNumber(const std::string& section, const std::string& key, int32_t value) const;

  // Read as a number (default 1 or 0); true for any number but 0.
  bool ReadFlag(const std::string& section, const std::string& key, bool defaultValue) const;
  // Stored as "1" or "0".
  void WriteFlag(const std::string& section, const std::string& key, bool value) const;

  // Every key line of the first section of that name, in file order: the key
  // as it stands in the file and its value as ReadText would return it.
  // Empty when the file or the section is absent.
  std::vector<std::pair<std::string, std::string>> ReadSection(const std::string& section) const;

  // Removes the section: its header and its lines up to its last key (or
  // other line that is not blank and not a comment). Comments and blank lines
  // after that, which usually introduce the next section, stay. Every section
  // of that name is removed, so none reappears from a duplicate. Nothing is
  // written when the file holds no such section.
  void ClearSection(const std::string& section) const;

private:
  template <typename Visit>
  void ScanSection(const std::string& section, Visit visit) const;
  [[noreturn]] void ThrowWriteError() const;
  std::string fileName_;
};
