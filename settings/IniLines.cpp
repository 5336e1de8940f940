#include "settings/IniLines.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <unistd.h>

namespace {

constexpr std::size_t ReadBufferSize = 64 * 1024;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsBlankOrCR(char c) { return c == ' ' || c == '\t' || c == '\r'; }

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

IniLineScanner::IniLineScanner(int fd) : fd_(fd), buffer_(ReadBufferSize, '\0') {}

bool IniLineScanner::Fill() {
  if (eof_) return false;
  for (;;) {
    ssize_t n = ::read(fd_, buffer_.data(), buffer_.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw std::runtime_error(std::strerror(errno));
    pos_ = 0;
    end_ = static_cast<std::size_t>(n);
    if (n == 0) eof_ = true;
    return n > 0;
  }
}

bool IniLineScanner::Next(IniLine& line) {
  if (!started_) {
    // A UTF-8 byte-order mark at the start belongs to no line: the first
    // line begins after it, so a rewrite keeps it where it is.
    started_ = true;
    if ((pos_ < end_ || Fill()) && end_ - pos_ >= 3 &&
        std::memcmp(buffer_.data() + pos_, "\xEF\xBB\xBF", 3) == 0) {
      pos_ += 3;
      offset_ += 3;
    }
  }
  line.offset = offset_;
  line.length = 0;
  line.head.clear();
  line.clipped = false;
  line.lastNonBlank = 0;
  line.terminator = {};
  bool any = false;
  bool lineFeed = false;
  while (!lineFeed) {
    if (pos_ == end_ && !Fill()) break;
    any = true;
    const char* start = buffer_.data() + pos_;
    std::size_t avail = end_ - pos_;
    const void* nl = std::memchr(start, '\n', avail);
    std::size_t take = nl ? static_cast<std::size_t>(static_cast<const char*>(nl) - start) : avail;
    // Content bytes of this piece: [start, start + take).
    for (std::size_t i = take; i > 0; --i) {
      if (!IsBlankOrCR(start[i - 1])) {
        line.lastNonBlank = start[i - 1];
        break;
      }
    }
    std::size_t room = LineHeadLimit + 1 - line.head.size();  // one extra to notice a CR
    line.head.append(start, take < room ? take : room);
    line.length += take;
    pos_ += take;
    if (nl) {
      lineFeed = true;
      ++pos_;
      ++line.length;
    }
  }
  if (!any) return false;
  offset_ += line.length;
  // A CR right before the LF belongs to the terminator.
  bool crlf = false;
  if (lineFeed && !line.head.empty() && line.head.back() == '\r' &&
      line.length - 1 == line.head.size()) {
    line.head.pop_back();
    crlf = true;
  }
  if (line.head.size() > LineHeadLimit) {
    line.head.resize(LineHeadLimit);
    line.clipped = true;
  }
  if (line.length - (lineFeed ? 1 : 0) - (crlf ? 1 : 0) > line.head.size()) line.clipped = true;
  line.terminator = lineFeed ? (crlf ? std::string_view("\r\n") : std::string_view("\n"))
                             : std::string_view();
  return true;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool SameName(std::string_view a, std::string_view b) {
  a = TrimBlanks(a);
  b = TrimBlanks(b);
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

std::string_view CutAtLineBreak(std::string_view text) {
  std::size_t cut = text.find_first_of(std::string_view("\r\n\0", 3));
  return cut == std::string_view::npos ? text : text.substr(0, cut);
}

ParsedIniLine ParseIniLine(const IniLine& line) {
  ParsedIniLine parsed;
  std::string_view head(line.head);
  std::string_view trimmed = TrimBlanks(head);
  if (trimmed.empty()) {
    parsed.kind = line.clipped ? IniLineKind::Other : IniLineKind::Blank;
    return parsed;
  }
  if (trimmed.front() == ';' || trimmed.front() == '#') {
    parsed.kind = IniLineKind::Comment;
    return parsed;
  }
  if (trimmed.front() == '[') {
    std::size_t close = trimmed.rfind(']');
    if (!line.clipped && close != std::string_view::npos) {
      parsed.kind = IniLineKind::Section;
      parsed.name = TrimBlanks(trimmed.substr(1, close - 1));
      return parsed;
    }
  }
  std::size_t eq = head.find('=');
  if (eq == std::string_view::npos) return parsed;
  parsed.kind = IniLineKind::Key;
  parsed.name = TrimBlanks(head.substr(0, eq));
  parsed.valueStart = eq + 1;
  return parsed;
}

std::string KeyValue(const IniLine& line, const ParsedIniLine& parsed, std::size_t maxLength) {
  std::string_view value(line.head);
  value.remove_prefix(parsed.valueStart);
  while (!value.empty() && IsBlank(value.front())) value.remove_prefix(1);
  if (line.clipped) {
    // Only the start of a long value is at hand; its end is known by the
    // last non-blank byte of the line.
    if (!value.empty() && value.front() == '"' && line.lastNonBlank == '"') value.remove_prefix(1);
  } else {
    value = TrimBlanks(value);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
  }
  if (value.size() > maxLength) value = value.substr(0, maxLength);
  return std::string(value);
}

std::string EncodeValue(std::string_view value) {
  bool quote = !value.empty() &&
               (IsBlank(value.front()) || IsBlank(value.back()) ||
                (value.size() >= 2 && value.front() == '"' && value.back() == '"'));
  if (!quote) return std::string(value);
  std::string out;
  out.reserve(value.size() + 2);
  out += '"';
  out += value;
  out += '"';
  return out;
}
