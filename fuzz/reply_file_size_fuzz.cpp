// Fuzz target: the expected size taken from a 150 reply is never negative,
// and a size other than 0 stands in the reply after a "(".
#include <QCoreApplication>
#include <string>

#include "support/RecordingUI.h"  // a UI that ends the input on EndProgram
#include "ftp/FtpEngine.h"

static FtpEngine* g_engine = nullptr;

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  new QCoreApplication(*argc, *argv);
  g_engine = new FtpEngine(*new RecordingUI, "/nonexistent/");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& reply = g_engine->LastReply.assign(reinterpret_cast<const char*>(data), size);
  const int64_t value = g_engine->ReplyFileSize();
  const size_t open = reply.find('(');
  if (value < 0 || (value > 0 && (open == std::string::npos || reply.find(std::to_string(value), open) == std::string::npos)))
    std::abort();
  return 0;
}
