// Fuzz target: the transcript's line assembly. The input is cut into texts
// (the first byte chooses the cut length) and handed to ShowText one by one.
// Lines must hold no LF and no NUL, and the lines with the pending line
// must be exactly the texts of two or more characters without their NULs.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ftp/Transcript.h"

namespace {
void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "transcript: %s\n", what);
  std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t cut = 1 + data[0] % 64;
  const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);

  std::vector<std::string> lines;
  Transcript memo([&](const std::string& line) {
    lines.push_back(line);
    return true;
  }, [&] { lines.clear(); });

  std::string expected;
  for (size_t at = 0; at < input.size(); at += cut) {
    std::string text = input.substr(at, cut);
    memo.ShowText(text);
    if (text.size() < 2) continue;
    for (char c : text)
      if (c != '\0') expected += c;
  }
  std::string joined;
  for (const std::string& line : lines) {
    Check(line.find('\n') == std::string::npos, "a line holds an LF");
    Check(line.find('\0') == std::string::npos, "a line holds a NUL");
    joined += line + "\n";
  }
  Check(memo.PendingLine.find('\n') == std::string::npos, "the pending line holds an LF");
  joined += memo.PendingLine;
  Check(joined == expected, "text lost or changed");
  if (!lines.empty()) Check(memo.LastLine() == lines.back(), "last line differs");

  // A text area that runs full now and then: the note replaces its lines.
  int count = 0;
  Transcript full([&](const std::string&) { return ++count % 5 != 0; }, [] {});
  full.ShowText(input);
  Check(full.PendingLine.find('\n') == std::string::npos, "pending line holds an LF");
  (void)full.LastReplyCode();
  return 0;
}
