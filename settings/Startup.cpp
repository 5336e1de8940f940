#include "settings/Startup.h"

#include <stdexcept>

#include "settings/SettingsNames.h"
#include "settings/TIniFile.h"

using namespace SettingsNames;

bool ReadConfiguredFlag(const std::string& iniPath) {
  return TIniFile(iniPath).ReadFlag(FixedSection, FixedOKKey, true);
}

StartupSettings ReadStartupSettings(const std::string& iniPath, int32_t currentTransferType) {
  TIniFile ini(iniPath);
  StartupSettings s;
  s.Options = ReadDisplayOptions(iniPath);

  const ProfileDefaults d = StartupDefaults(currentTransferType);
  ConnectionProfile& p = s.Profile;
  p.Name = ini.ReadText(LastUsedSection, LastUsedNameKey, "");
  const std::string& section = p.Name;
  p.Localdir = ini.ReadText(section, LocaldirKey, d.Localdir);
  p.HostName = ini.ReadText(section, HostNameKey, "");
  p.UserName = ini.ReadText(section, UserNameKey, "");
  p.Password = ini.ReadText(section, PasswordKey, "");
  p.Account = ini.ReadText(section, AccountKey, "");
  p.Directory = ini.ReadText(section, DirectoryKey, "");
  p.Port = ini.ReadText(section, PortKey, "");
  p.IncludeDirs = ini.ReadFlag(section, IncludeDirsKey, d.IncludeDirs);
  p.IncludeSubDirs = ini.ReadFlag(section, IncludeSubDirsKey, d.IncludeSubDirs);
  p.UseLowerCase = ini.ReadFlag(section, UseLowerCaseKey, d.UseLowerCase);
  p.InitializeCommand = ini.ReadText(section, InitializeCommandKey, "");
  p.TransferType = ini.ReadNumber(section, TransferTypeKey, d.TransferType);
  p.UseLogFile = ini.ReadFlag(section, UseLogFileKey, d.UseLogFile);

  s.Batch = {p.IncludeDirs, p.IncludeSubDirs, p.UseLowerCase, p.InitializeCommand};
  s.TransferType = p.TransferType;
  s.LogEnabled = p.UseLogFile;
  s.ConfiguredFlag = ini.ReadFlag(FixedSection, FixedOKKey, true);

  if (s.Options.DirSep.empty() && s.Options.ViewSep.empty() && s.Options.Editor.empty()) {
    s.Options = DefaultDisplayOptions();
    try {
      ini.WriteText(OptionsSection, DirSepKey, s.Options.DirSep);
      ini.WriteText(OptionsSection, ViewSepKey, s.Options.ViewSep);
      ini.WriteText(OptionsSection, EditorKey, s.Options.Editor);
      s.OptionDefaultsWritten = true;
    } catch (const std::runtime_error& e) {
      s.OptionDefaultsError = e.what();
    }
  }
  return s;
}
