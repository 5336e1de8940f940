#pragma once
// Reading a settings file line by line, and what each line means.
//
// The file is read through a fixed buffer, so memory stays bounded however
// large the file or long a line is: each line keeps at most LineHeadLimit
// bytes of its content (enough for any value the program reads back), the
// rest of a longer line is only counted. Any bytes are accepted, NUL included.
//
// Lines:
//   - blank: only blanks (space, tab);
//   - comment: the first non-blank character is ';' or '#';
//   - section header: the first non-blank character is '[' and the line has a
//     ']'; the name is the text between '[' and the last ']', without the
//     blanks around it;
//   - key line: any other line with an '='; the key is the text before the
//     first '=', without the blanks around it;
//   - anything else is kept as it stands and means nothing to the program.
// A line that is longer than LineHeadLimit is never a section header.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

inline constexpr std::size_t LineHeadLimit = 64 * 1024;

struct IniLine {
  uint64_t offset = 0;    // of the first byte of the line in the file
  uint64_t length = 0;    // bytes of the line including its terminator
  std::string head;       // the content (no terminator), at most LineHeadLimit bytes
  bool clipped = false;   // the content was longer than head
  char lastNonBlank = 0;  // last byte of the whole content that is not ' ', '\t' or CR; 0 if none
  std::string_view terminator;  // "\r\n", "\n", or "" for a last line without one
};

// Reads the lines of an open file from its current position.
class IniLineScanner {
public:
  explicit IniLineScanner(int fd);
  // The next line, or false at the end of the file. Throws std::runtime_error
  // with errno's text when reading fails. A UTF-8 byte-order mark at the
  // start of the file is skipped: the first line's offset is then 3.
  bool Next(IniLine& line);
  uint64_t Offset() const { return offset_; }  // where the next line begins

private:
  bool Fill();
  int fd_;
  std::string buffer_;
  std::size_t pos_ = 0;
  std::size_t end_ = 0;
  uint64_t offset_ = 0;
  bool eof_ = false;
  bool started_ = false;
};

enum class IniLineKind { Blank, Comment, Section, Key, Other };

struct ParsedIniLine {
  IniLineKind kind = IniLineKind::Other;
  std::string_view name;     // section name or key (views into the line's head)
  std::size_t valueStart = 0;  // Key: index in head just after the '='
};

ParsedIniLine ParseIniLine(const IniLine& line);

// The value of a key line as the program reads it: blanks around it removed,
// then one pair of double quotes around it removed; at most maxLength bytes.
std::string KeyValue(const IniLine& line, const ParsedIniLine& parsed, std::size_t maxLength);

// How a value is stored so that KeyValue gives it back exactly: a value with
// a blank at either end, or one that starts and ends with a double quote, is
// put in double quotes. The value must hold no line break (see CutAtLineBreak).
std::string EncodeValue(std::string_view value);

// The part of a text before its first CR, LF or NUL. Names and values are cut
// there before they are stored, so a stored text can never start a new line
// (and so a new key or section) in the file.
std::string_view CutAtLineBreak(std::string_view text);

// Section and key names: compared without regard to letter case (ASCII) and
// without blanks around them.
bool SameName(std::string_view a, std::string_view b);
std::string_view TrimBlanks(std::string_view text);
