// Fuzz target: the settings file over arbitrary bytes. The input is the whole
// file. Reads must not fail; a value written (the input's first bytes, line
// breaks made dots) reads back exactly, and a cleared section reads as absent.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "settings/TIniFile.h"

// The file, in the temporary folder; removed at exit.
static const struct IniPath : std::string {
  IniPath() : std::string("/tmp/tarnex-ini-fuzz-" + std::to_string(::getpid()) + ".INI") {}
  ~IniPath() { ::unlink(c_str()); }
} g_path;

static void Check(bool ok, const char* what) {
  if (!ok) std::fprintf(stderr, "ini_file: %s\n", what), std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::ofstream(g_path, std::ios::binary | std::ios::trunc) << bytes;
  TIniFile ini(g_path);
  Check(ini.ReadText("options", "Editor", "").size() <= TIniFile::MaxValueLength, "value longer than the limit");
  (void)ini.ReadSection("index");
  if (size > 4096) return 0;  // a write copies the whole file
  std::string value = bytes.substr(0, 64);
  for (char& c : value)
    if (c == '\r' || c == '\n' || c == '\0') c = '.';
  ini.WriteText("Fuzz Section", "Key", value);
  Check(ini.ReadText("fuzz section", "key", "") == value, "written value not read back");
  ini.ClearSection("Fuzz Section");
  Check(ini.ReadText("Fuzz Section", "Key", "gone") == "gone", "cleared section still read");
  return 0;
}
