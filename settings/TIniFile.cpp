#include "settings/TIniFile.h"

#include <optional>

#include <cerrno>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "settings/FileRewrite.h"
#include "settings/IniLines.h"
#include "settings/IntegerText.h"

namespace {

class ReadFd {
public:
  explicit ReadFd(int fd) : fd_(fd) {}
  ~ReadFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  ReadFd(const ReadFd&) = delete;
  ReadFd& operator=(const ReadFd&) = delete;
  int get() const { return fd_; }

private:
  int fd_;
};

enum class OpenResult { Opened, Absent, Unusable };

// Opens the file for reading. O_NONBLOCK keeps a pipe from blocking the open;
// anything but a regular file is not read.
OpenResult OpenForReading(const std::string& path, int& fd) {
  fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? OpenResult::Absent : OpenResult::Unusable;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    fd = -1;
    return OpenResult::Unusable;
  }
  return OpenResult::Opened;
}

std::string LineEnd(const IniLine& line) { return std::string(line.terminator); }

}  // namespace

TIniFile::TIniFile(std::string fileName) : fileName_(std::move(fileName)) {}

void TIniFile::ThrowWriteError() const {
  throw std::runtime_error("Unable to write to " + fileName_);
}

// Calls visit(key, line, parsed) for each key of the first section named
// `section`, until visit returns false. A file that cannot be read, or stops
// being readable, yields what could be read.
template <typename Visit>
void TIniFile::ScanSection(const std::string& section, Visit visit) const {
  const std::string_view wantedSection = CutAtLineBreak(section);
  int rawFd = -1;
  if (OpenForReading(fileName_, rawFd) != OpenResult::Opened) return;
  ReadFd fd(rawFd);
  try {
    IniLineScanner scanner(fd.get());
    IniLine line;
    bool inSection = false;
    while (scanner.Next(line)) {
      ParsedIniLine parsed = ParseIniLine(line);
      if (parsed.kind == IniLineKind::Section) {
        if (inSection) break;  // only the first section of that name counts
        inSection = SameName(parsed.name, wantedSection);
      } else if (inSection && parsed.kind == IniLineKind::Key) {
        if (!visit(line, parsed)) return;
      }
    }
  } catch (const std::runtime_error&) {
  }
}

std::string TIniFile::ReadText(const std::string& section, const std::string& key,
                               const std::string& defaultValue) const {
  const std::string_view wantedKey = CutAtLineBreak(key);
  std::optional<std::string> found;
  ScanSection(section, [&](const IniLine& line, const ParsedIniLine& parsed) {
    if (!SameName(parsed.name, wantedKey)) return true;
    found = KeyValue(line, parsed, MaxValueLength);
    return false;
  });
  return found ? *found : defaultValue;
}

std::vector<std::pair<std::string, std::string>> TIniFile::ReadSection(
    const std::string& section) const {
  std::vector<std::pair<std::string, std::string>> entries;
  ScanSection(section, [&](const IniLine& line, const ParsedIniLine& parsed) {
    entries.emplace_back(std::string(parsed.name), KeyValue(line, parsed, MaxValueLength));
    return true;
  });
  return entries;
}

void TIniFile::WriteText(const std::string& section, const std::string& key,
                         const std::string& value) const {
  const std::string_view wantedSection = CutAtLineBreak(section);
  const std::string_view wantedKey = CutAtLineBreak(key);
  const std::string stored = EncodeValue(CutAtLineBreak(value));

  int rawFd = -1;
  OpenResult opened = OpenForReading(fileName_, rawFd);
  if (opened == OpenResult::Unusable) ThrowWriteError();  // its contents could not be kept
  ReadFd fd(rawFd);

  std::string eol = "\n";  // new lines follow the file's own line ends
  bool eolKnown = false;
  uint64_t fileEnd = 0;
  bool lastTerminated = true;
  bool sectionFound = false;
  bool keyFound = false;
  FileEdit edit;
  uint64_t insertAt = 0;
  bool insertAfterTerminated = true;

  if (fd.get() >= 0) {
    try {
      IniLineScanner scanner(fd.get());
      IniLine line;
      bool inSection = false;
      while (scanner.Next(line)) {
        if (!eolKnown && !line.terminator.empty()) {
          eol = LineEnd(line);
          eolKnown = true;
        }
        fileEnd = line.offset + line.length;
        lastTerminated = !line.terminator.empty();
        ParsedIniLine parsed = ParseIniLine(line);
        if (parsed.kind == IniLineKind::Section) {
          if (inSection) break;  // end of the first section of that name
          if (!sectionFound && SameName(parsed.name, wantedSection)) {
            inSection = sectionFound = true;
            insertAt = fileEnd;
            insertAfterTerminated = lastTerminated;
          }
          continue;
        }
        if (!inSection) continue;
        if (parsed.kind == IniLineKind::Key && SameName(parsed.name, wantedKey)) {
          edit.begin = line.offset;
          edit.end = line.offset + line.length;
          edit.text = std::string(parsed.name) + "=" + stored + LineEnd(line);
          keyFound = true;
          break;
        }
        if (parsed.kind == IniLineKind::Key || parsed.kind == IniLineKind::Other) {
          insertAt = fileEnd;
          insertAfterTerminated = lastTerminated;
        }
      }
      // A new section goes after everything, a byte-order mark included.
      if (!sectionFound) fileEnd = scanner.Offset();
    } catch (const std::runtime_error&) {
      ThrowWriteError();
    }
  }

  if (!keyFound) {
    const std::string keyLine = std::string(wantedKey) + "=" + stored + eol;
    if (sectionFound) {
      edit.begin = edit.end = insertAt;
      edit.text = (insertAfterTerminated ? "" : eol) + keyLine;
    } else {
      // The scan went to the end of the file.
      edit.begin = edit.end = fileEnd;
      edit.text = (lastTerminated ? "" : eol) + "[" + std::string(wantedSection) + "]" + eol + keyLine;
    }
  }
  if (!RewriteFile(fileName_, fd.get(), {edit})) ThrowWriteError();
}

int32_t TIniFile::ReadNumber(const std::string& section, const std::string& key,
                             int32_t defaultValue) const {
  return ParseStoredNumber(ReadText(section, key, "")).value_or(defaultValue);
}

void TIniFile::WriteNumber(const std::string& section, const std::string& key, int32_t value) const {
  WriteText(section, key, std::to_string(value));
}

bool TIniFile::ReadFlag(const std::string& section, const std::string& key, bool defaultValue) const {
  return ReadNumber(section, key, defaultValue ? 1 : 0) != 0;
}

void TIniFile::WriteFlag(const std::string& section, const std::string& key, bool value) const {
  WriteText(section, key, value ? "1" : "0");
}

void TIniFile::ClearSection(const std::string& section) const {
  const std::string_view wantedSection = CutAtLineBreak(section);
  int rawFd = -1;
  OpenResult opened = OpenForReading(fileName_, rawFd);
  if (opened == OpenResult::Absent) return;
  if (opened == OpenResult::Unusable) ThrowWriteError();
  ReadFd fd(rawFd);

  std::vector<FileEdit> edits;
  try {
    IniLineScanner scanner(fd.get());
    IniLine line;
    bool inSection = false;
    uint64_t start = 0;
    uint64_t contentEnd = 0;
    while (scanner.Next(line)) {
      ParsedIniLine parsed = ParseIniLine(line);
      if (parsed.kind == IniLineKind::Section) {
        if (inSection) edits.push_back({start, contentEnd, {}});
        inSection = SameName(parsed.name, wantedSection);
        start = line.offset;
        contentEnd = line.offset + line.length;
      } else if (inSection &&
                 (parsed.kind == IniLineKind::Key || parsed.kind == IniLineKind::Other)) {
        contentEnd = line.offset + line.length;
      }
    }
    if (inSection) edits.push_back({start, contentEnd, {}});
  } catch (const std::runtime_error&) {
    ThrowWriteError();
  }
  if (edits.empty()) return;
  if (!RewriteFile(fileName_, fd.get(), edits)) ThrowWriteError();
}
