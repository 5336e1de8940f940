// Fuzz target: the settings-file reader over arbitrary file bytes. The input
// is the whole file. Reads must not fail, and a value written into such a
// file must read back as written while every other section stays readable.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "settings/TIniFile.h"

namespace {
std::string g_path;

// A last line that ends in a bare CR gets its line end completed when a
// section is added after it, and its value then loses that CR. That is the
// only change a write may make to another value.
// (and, the CR gone, the blanks that stood before it).
bool SameValue(const std::string& after, std::string before) {
  if (after == before) return true;
  if (before.empty() || before.back() != '\r') return false;
  before.pop_back();
  while (!before.empty() && (before.back() == ' ' || before.back() == '\t')) before.pop_back();
  return after == before;
}

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "ini_file: %s\n", what);
  std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* base = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  g_path = std::string(base) + "/tarnex-ini-fuzz-" + std::to_string(::getpid()) + ".INI";
  std::atexit([] { ::unlink(g_path.c_str()); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  {
    std::ofstream out(g_path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  TIniFile ini(g_path);
  const std::string before = ini.ReadText("options", "Editor", "default");
  (void)ini.ReadNumber("Fixed", "OK", 7);
  (void)ini.ReadFlag("options", "VerifyDataPeer", true);
  (void)ini.ReadSection("index");
  (void)ini.ReadSection("LastUsed");
  Check(before.size() <= TIniFile::MaxValueLength, "value longer than the limit");

  // Only small files are rewritten: a write copies the whole file.
  if (size <= 4096) {
    ini.WriteText("Fuzz Section", "Key", "value one");
    Check(ini.ReadText("fuzz section", "key", "") == "value one", "written value not read back");
    Check(SameValue(ini.ReadText("options", "Editor", "default"), before), "another value changed");
    ini.WriteNumber("Fuzz Section", "Number", -12345);
    Check(ini.ReadNumber("Fuzz Section", "Number", 0) == -12345, "written number not read back");
    Check(ini.ReadText("fuzz section", "key", "") == "value one", "first value lost");
    ini.ClearSection("Fuzz Section");
    Check(ini.ReadText("Fuzz Section", "Key", "gone") == "gone", "cleared section still read");
    Check(SameValue(ini.ReadText("options", "Editor", "default"), before),
          "clear changed another value");
  }
  return 0;
}
