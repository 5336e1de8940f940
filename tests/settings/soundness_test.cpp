// A settings file that starts with a UTF-8 byte-order mark: its first section
// is read, and every rewrite keeps the mark in front.
#include <gtest/gtest.h>

#include "settings/Options.h"
#include "settings/Startup.h"
#include "settings/TIniFile.h"
#include "support/TempProgramDir.h"

TEST(SettingsSoundness, ByteOrderMarkBeforeTheFirstSection) {
  const std::string bom = "\xEF\xBB\xBF";
  TempProgramDir dir;
  dir.WriteIni(bom + "[options]\nDirSep=1\nViewSep=0\nEditor=vi\n");
  EXPECT_EQ(ReadStartupSettings(dir.IniPath(), 0).Options.Editor, "vi");  // no defaults added
  WriteDirSep(dir.IniPath(), "0");
  EXPECT_EQ(dir.ReadIni(), bom + "[options]\nDirSep=0\nViewSep=0\nEditor=vi\n");
  TIniFile(dir.IniPath()).ClearSection("options");
  EXPECT_EQ(dir.ReadIni(), bom);
  WriteEditor(dir.IniPath(), "vi");
  EXPECT_EQ(dir.ReadIni(), bom + "[options]\nEditor=vi\n");
}
