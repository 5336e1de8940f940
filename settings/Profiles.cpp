#include "settings/Profiles.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <stdexcept>
#include <utility>

#include "settings/IniLines.h"
#include "settings/IntegerText.h"
#include "settings/SettingsNames.h"
#include "settings/TIniFile.h"

using namespace SettingsNames;

namespace {

// A profile is a section of its own: a name that is one of the file's other
// sections (in any letter case) would write into it, or delete it.
void RefuseSectionName(const std::string& name) {
  for (const char* section : {IndexSection, OptionsSection, LastUsedSection, FixedSection})
    if (SameName(CutAtLineBreak(name), section))
      throw std::runtime_error("'" + name +
                               "' is a section of the settings file and cannot be a profile name");
}

// [index] next as a number; an absent or empty value is written as "0".
int32_t ReadNextSlot(const TIniFile& ini) {
  std::string next = ini.ReadText(IndexSection, NextKey, "");
  if (next.empty()) {
    ini.WriteText(IndexSection, NextKey, "0");
    next = "0";
  }
  return StrToInt(next);
}

// The slot number of a key "Profile<k>" as the slot keys are named: the
// prefix in any letter case and k in decimal without leading zeros.
std::optional<int64_t> SlotNumber(const std::string& key) {
  const std::string prefix = SlotKeyPrefix;
  if (key.size() <= prefix.size() || key.size() > prefix.size() + 10) return std::nullopt;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(key[i])) !=
        std::tolower(static_cast<unsigned char>(prefix[i])))
      return std::nullopt;
  std::string digits = key.substr(prefix.size());
  if (digits.size() > 1 && digits[0] == '0') return std::nullopt;
  int64_t k = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    k = k * 10 + (c - '0');
  }
  return k;
}

// The slots 0..last of [index], read in one pass: slot number -> value. The
// first key of a slot counts, as for a single read. Reading the section once
// keeps a huge stored next from turning into as many file reads.
std::map<int64_t, std::string> ReadSlots(const TIniFile& ini, int64_t last) {
  std::map<int64_t, std::string> slots;
  for (auto& [key, value] : ini.ReadSection(IndexSection)) {
    std::optional<int64_t> k = SlotNumber(key);
    if (k && *k <= last) slots.emplace(*k, std::move(value));
  }
  return slots;
}

// The TLS keys stand only in profiles that use (or once used) them.
void WriteTlsKeys(const TIniFile& ini, const ConnectionProfile& p) {
  const std::string absent(1, '\x01');
  auto present = [&](const char* key) { return ini.ReadText(p.Name, key, absent) != absent; };
  if (p.Security != 0 || present(SecurityKey)) ini.WriteNumber(p.Name, SecurityKey, p.Security);
  if (!p.TrustedCertificate.empty() || present(TrustedCertificateKey))
    ini.WriteText(p.Name, TrustedCertificateKey, p.TrustedCertificate);
}

// The fifteen profile keys in their order (fourteen without TransferType),
// then Passive.
void WriteProfileKeys(const TIniFile& ini, const ConnectionProfile& p,
                      int32_t* currentTransferType) {
  const std::string& s = p.Name;
  ini.WriteText(s, HostNameKey, p.HostName);
  ini.WriteText(s, UserNameKey, p.UserName);
  ini.WriteText(s, PasswordKey, p.Password);
  ini.WriteText(s, AccountKey, p.Account);
  ini.WriteText(s, DirectoryKey, p.Directory);
  ini.WriteNumber(s, PortKey, StrToInt(p.Port));
  ini.WriteText(s, LocaldirKey, p.Localdir);
  ini.WriteFlag(s, AnonymousKey, p.Anonymous);
  ini.WriteFlag(s, AutoSaveKey, p.AutoSave);
  ini.WriteFlag(s, UseLogFileKey, p.UseLogFile);
  ini.WriteFlag(s, IncludeDirsKey, p.IncludeDirs);
  ini.WriteFlag(s, IncludeSubDirsKey, p.IncludeSubDirs);
  ini.WriteFlag(s, UseLowerCaseKey, p.UseLowerCase);
  ini.WriteText(s, InitializeCommandKey, p.InitializeCommand);
  WriteTlsKeys(ini, p);
  if (currentTransferType) {
    if (p.TransferType >= 1 && p.TransferType <= 3) *currentTransferType = p.TransferType;
    ini.WriteNumber(s, TransferTypeKey, *currentTransferType);
  }
  // A profile that never had passive mode keeps its section as it was.
  if (p.Passive || !ini.ReadText(s, PassiveKey, "").empty()) ini.WriteFlag(s, PassiveKey, p.Passive);
}

}  // namespace

ProfileList LoadProfileList(const std::string& iniPath) {
  TIniFile ini(iniPath);
  ProfileList list;
  int32_t next = ReadNextSlot(ini);
  for (auto& [slot, name] : ReadSlots(ini, next))
    if (!name.empty()) list.Names.push_back(name);
  list.LastUsed = ini.ReadText(LastUsedSection, LastUsedNameKey, "");
  return list;
}

ConnectionProfile ReadProfile(const std::string& iniPath, const std::string& section,
                              const ProfileDefaults& d) {
  TIniFile ini(iniPath);
  ConnectionProfile p;
  p.Name = section;
  p.HostName = ini.ReadText(section, HostNameKey, "");
  p.UserName = ini.ReadText(section, UserNameKey, "");
  p.Password = ini.ReadText(section, PasswordKey, "");
  p.Account = ini.ReadText(section, AccountKey, "");
  p.Directory = ini.ReadText(section, DirectoryKey, "");
  p.Port = ini.ReadText(section, PortKey, "");
  p.Localdir = ini.ReadText(section, LocaldirKey, d.Localdir);
  p.Anonymous = ini.ReadFlag(section, AnonymousKey, d.Anonymous);
  p.AutoSave = ini.ReadFlag(section, AutoSaveKey, d.AutoSave);
  p.TransferType = ini.ReadNumber(section, TransferTypeKey, d.TransferType);
  p.UseLogFile = ini.ReadFlag(section, UseLogFileKey, d.UseLogFile);
  p.IncludeDirs = ini.ReadFlag(section, IncludeDirsKey, d.IncludeDirs);
  p.IncludeSubDirs = ini.ReadFlag(section, IncludeSubDirsKey, d.IncludeSubDirs);
  p.UseLowerCase = ini.ReadFlag(section, UseLowerCaseKey, d.UseLowerCase);
  p.InitializeCommand = ini.ReadText(section, InitializeCommandKey, "");
  p.Passive = ini.ReadFlag(section, PassiveKey, false);
  const int32_t security = ini.ReadNumber(section, SecurityKey, 0);
  p.Security = security >= 0 && security <= 2 ? security : 0;
  p.TrustedCertificate = NormalFingerprint(ini.ReadText(section, TrustedCertificateKey, ""));
  return p;
}

ConnectionProfile LoadProfile(const std::string& iniPath, const std::string& section,
                              const std::string& localdirText, int32_t currentTransferType) {
  return ReadProfile(iniPath, section, SetupDialogDefaults(localdirText, currentTransferType));
}

void AddProfile(const std::string& iniPath, const ConnectionProfile& profile,
                int32_t& currentTransferType) {
  RefuseSectionName(profile.Name);
  TIniFile ini(iniPath);
  int32_t next = ReadNextSlot(ini);
  ini.WriteText(IndexSection, SlotKey(next), profile.Name);
  ini.WriteText(LastUsedSection, LastUsedNameKey, profile.Name);
  ini.WriteFlag(FixedSection, FixedOKKey, true);
  WriteProfileKeys(ini, profile, &currentTransferType);
  // Widened: a hand-edited next of 2147483647 must not wrap to a negative
  // slot; the stored 2147483648 then fails to convert with a clear message.
  ini.WriteText(IndexSection, NextKey, std::to_string(int64_t{next} + 1));
}

void SaveProfile(const std::string& iniPath, const ConnectionProfile& profile,
                 int32_t& currentTransferType) {
  RefuseSectionName(profile.Name);
  TIniFile ini(iniPath);
  WriteProfileKeys(ini, profile, &currentTransferType);
  ini.WriteText(LastUsedSection, LastUsedNameKey, profile.Name);
}

void SaveProfileOnOK(const std::string& iniPath, const ConnectionProfile& profile) {
  RefuseSectionName(profile.Name);
  TIniFile ini(iniPath);
  WriteProfileKeys(ini, profile, nullptr);
  ini.WriteFlag(FixedSection, FixedOKKey, true);
  ini.WriteText(LastUsedSection, LastUsedNameKey, profile.Name);
}

void SaveTrustedCertificate(const std::string& iniPath, const std::string& section,
                            const std::string& fingerprint) {
  TIniFile(iniPath).WriteText(section, TrustedCertificateKey, fingerprint);
}

std::string NormalFingerprint(const std::string& text) {
  std::string hex;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
    if (std::isxdigit(static_cast<unsigned char>(c))) {
      hex += c;
    } else if (c != ':' || i % 3 != 2) {
      return std::string();
    }
  }
  return hex.size() == 64 ? hex : std::string();
}

std::optional<std::string> DeleteProfile(const std::string& iniPath, const std::string& name) {
  RefuseSectionName(name);
  TIniFile ini(iniPath);
  ini.ClearSection(name);
  std::string nextText = ini.ReadText(IndexSection, NextKey, "");
  if (nextText.empty()) return std::nullopt;
  int32_t next = StrToInt(nextText);
  std::map<int64_t, std::string> slots = ReadSlots(ini, next);
  auto found = std::find_if(slots.begin(), slots.end(), [&](const auto& slot) {
    return !slot.second.empty() && slot.second == name;
  });
  if (found == slots.end()) {
    ini.WriteText(LastUsedSection, LastUsedNameKey, "");
    return std::string();
  }
  int64_t k = found->first;
  std::string previous;
  if (auto before = slots.find(k - 1); before != slots.end()) previous = before->second;
  ini.WriteText(LastUsedSection, LastUsedNameKey, previous);
  ini.WriteText(IndexSection, SlotKey(k), "");
  return previous;
}
