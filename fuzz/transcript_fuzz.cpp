// Fuzz target: the transcript's line assembly. The input is cut into texts
// (the first byte chooses the cut length) and shown one by one: no line and
// not the pending line holds an LF or a NUL, and with a text area that runs
// full now and then nothing breaks.
#include <cstdlib>
#include <string>

#include "ftp/Transcript.h"

static bool Clean(const std::string& line) {
  return line.find('\n') == std::string::npos && line.find('\0') == std::string::npos;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t cut = 1 + data[0] % 64;
  const std::string input(reinterpret_cast<const char*>(data) + 1, size - 1);
  int count = 0;
  Transcript memo([&](const std::string& line) { return Clean(line) ? ++count % 5 != 0 : (std::abort(), false); },
                  [] {});
  for (size_t at = 0; at < input.size(); at += cut) memo.ShowText(input.substr(at, cut));
  if (!Clean(memo.PendingLine)) std::abort();
  (void)memo.LastReplyCode();
  return 0;
}
