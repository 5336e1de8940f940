#include "settings/Options.h"

#include "settings/SettingsNames.h"
#include "settings/TIniFile.h"

using namespace SettingsNames;

DisplayOptions DefaultDisplayOptions() { return {"0", "1", "xdg-open"}; }

std::string ToggledSeparateValue(const std::string& value) { return value != "0" ? "0" : "1"; }

DisplayOptions ReadDisplayOptions(const std::string& iniPath) {
  TIniFile ini(iniPath);
  DisplayOptions o;
  o.DirSep = ini.ReadText(OptionsSection, DirSepKey, "");
  o.ViewSep = ini.ReadText(OptionsSection, ViewSepKey, "");
  o.Editor = ini.ReadText(OptionsSection, EditorKey, "");
  return o;
}

std::string ReadEditor(const std::string& iniPath) {
  return TIniFile(iniPath).ReadText(OptionsSection, EditorKey, "");
}

void WriteDirSep(const std::string& iniPath, const std::string& value) {
  TIniFile(iniPath).WriteText(OptionsSection, DirSepKey, value);
}

void WriteViewSep(const std::string& iniPath, const std::string& value) {
  TIniFile(iniPath).WriteText(OptionsSection, ViewSepKey, value);
}

void WriteEditor(const std::string& iniPath, const std::string& value) {
  TIniFile(iniPath).WriteText(OptionsSection, EditorKey, value);
}

void WriteFastTransfers(const std::string& iniPath, bool on) {
  TIniFile(iniPath).WriteFlag(OptionsSection, FastTransfersKey, on);
}
