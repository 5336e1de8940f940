#pragma once
// The settings file "TARNEX.INI": its name, its sections and its keys.
// Section and key names compare without regard to letter case in the file.
#include <array>
#include <cstdint>
#include <string>

namespace SettingsNames {

inline constexpr const char* FileName = "TARNEX.INI";

// [options]: the display options and the external editor.
inline constexpr const char* OptionsSection = "options";
inline constexpr const char* DirSepKey = "DirSep";
inline constexpr const char* ViewSepKey = "ViewSep";
inline constexpr const char* EditorKey = "Editor";
// "0" lets data connections come from another address than the server's.
inline constexpr const char* VerifyDataPeerKey = "VerifyDataPeer";
// "0" counts a binary upload as stored on the server's reply alone, for
// servers whose SIZE answer is wrong.
inline constexpr const char* VerifyUploadsKey = "VerifyUploads";
// How often an unattended run connects again after a lost connection in a
// row ("0": never, the run ends), and "0" for no desktop notice at its end.
inline constexpr const char* ReconnectKey = "Reconnect";
inline constexpr const char* NotifyKey = "Notify";
// "1": large data blocks, paced progress and no pause after a store.
inline constexpr const char* FastTransfersKey = "FastTransfers";

// [index]: the profile slots Profile0, Profile1, ... and the next free slot.
inline constexpr const char* IndexSection = "index";
inline constexpr const char* NextKey = "next";
inline constexpr const char* SlotKeyPrefix = "Profile";

// [LastUsed] NAME: the profile start-up loads and the Setup dialog selects.
inline constexpr const char* LastUsedSection = "LastUsed";
inline constexpr const char* LastUsedNameKey = "NAME";

// [Fixed] OK: "1" once a profile has been stored.
inline constexpr const char* FixedSection = "Fixed";
inline constexpr const char* FixedOKKey = "OK";

// The keys of a profile section, in the order they are written.
inline constexpr const char* HostNameKey = "HostName";
inline constexpr const char* UserNameKey = "UserName";
inline constexpr const char* PasswordKey = "Password";
inline constexpr const char* AccountKey = "Account";
inline constexpr const char* DirectoryKey = "Directory";
inline constexpr const char* PortKey = "Port";
inline constexpr const char* LocaldirKey = "Localdir";
inline constexpr const char* AnonymousKey = "Anonymous";
inline constexpr const char* AutoSaveKey = "AutoSave";
inline constexpr const char* UseLogFileKey = "UseLogFile";
inline constexpr const char* IncludeDirsKey = "IncludeDirs";
inline constexpr const char* IncludeSubDirsKey = "IncludeSubDirs";
inline constexpr const char* UseLowerCaseKey = "UseLowerCase";
inline constexpr const char* InitializeCommandKey = "InitializeCommand";
inline constexpr const char* TransferTypeKey = "TransferType";
// "1": passive data connections; "0" or absent: active, as the server connects.
inline constexpr const char* PassiveKey = "Passive";
// Written only once they differ from "none" (or stand in the section), so a
// profile that never used TLS keeps the keys it had.
inline constexpr const char* SecurityKey = "Security";
inline constexpr const char* TrustedCertificateKey = "TrustedCertificate";

inline constexpr std::array<const char*, 15> ProfileKeys = {
    HostNameKey,   UserNameKey,   PasswordKey,       AccountKey,           DirectoryKey,
    PortKey,       LocaldirKey,   AnonymousKey,      AutoSaveKey,          UseLogFileKey,
    IncludeDirsKey, IncludeSubDirsKey, UseLowerCaseKey, InitializeCommandKey, TransferTypeKey};

// "Profile" followed by the slot number in decimal: Profile0, Profile1, ...
inline std::string SlotKey(int64_t slot) { return SlotKeyPrefix + std::to_string(slot); }

}  // namespace SettingsNames

// The settings file's full path: the program's folder (ending in '/') and
// "TARNEX.INI". A folder without its final '/' gets one.
inline std::string SettingsFilePath(const std::string& programDir) {
  std::string path = programDir;
  if (!path.empty() && path.back() != '/') path += '/';
  return path + SettingsNames::FileName;
}
