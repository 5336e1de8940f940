#include "settings/Startup.h"

#include <algorithm>
#include <stdexcept>

#include "settings/Profiles.h"
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

  // Start-up reads the last-used profile with its own defaults; Anonymous
  // and AutoSave mean nothing to it and stay off.
  const std::string name = ini.ReadText(LastUsedSection, LastUsedNameKey, "");
  s.Profile = ReadProfile(iniPath, name, StartupDefaults(currentTransferType));
  s.Profile.Anonymous = false;
  s.Profile.AutoSave = false;
  const ConnectionProfile& p = s.Profile;

  s.Batch = {p.IncludeDirs, p.IncludeSubDirs, p.UseLowerCase, p.InitializeCommand};
  s.TransferType = p.TransferType;
  s.LogEnabled = p.UseLogFile;
  s.ConfiguredFlag = ini.ReadFlag(FixedSection, FixedOKKey, true);
  s.VerifyDataPeer = ini.ReadFlag(OptionsSection, VerifyDataPeerKey, true);
  s.VerifyUploads = ini.ReadFlag(OptionsSection, VerifyUploadsKey, true);
  s.Reconnect = std::max<int32_t>(0, ini.ReadNumber(OptionsSection, ReconnectKey, 3));
  s.Notify = ini.ReadFlag(OptionsSection, NotifyKey, true);
  s.FastTransfers = ini.ReadFlag(OptionsSection, FastTransfersKey, false);

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
