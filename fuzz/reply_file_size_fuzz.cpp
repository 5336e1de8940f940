// Fuzz target: the expected size taken from a 150 reply. The size is 0 or
// the decimal number that stands right after the first "(" and runs up to a
// blank or the end of the line.
#include <QCoreApplication>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "FuzzUI.h"
#include "ftp/FtpEngine.h"

namespace {
FuzzUI* g_ui = nullptr;
FtpEngine* g_engine = nullptr;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  static QCoreApplication* app = new QCoreApplication(*argc, *argv);
  (void)app;
  g_ui = new FuzzUI;
  g_engine = new FtpEngine(*g_ui, "/nonexistent/");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  g_engine->LastReply.assign(reinterpret_cast<const char*>(data), size);
  const std::string& reply = g_engine->LastReply;
  int64_t value = g_engine->ReplyFileSize();
  bool ok = value >= 0;
  if (ok && value > 0) {
    size_t open = reply.find('(');
    ok = open != std::string::npos;
    if (ok) {
      size_t start = open + 1;
      while (start < reply.size() && reply[start] == '0') ++start;  // leading zeros
      std::string digits = std::to_string(value);
      size_t after = start + digits.size();
      ok = reply.compare(start, digits.size(), digits) == 0 &&
           (after == reply.size() || reply[after] == ' ');
    }
  }
  if (!ok) {
    std::fprintf(stderr, "reply_file_size: %lld does not stand after the '('\n",
                 static_cast<long long>(value));
    std::abort();
  }
  return 0;
}
