#pragma once
// One connection profile: the values one profile section of the settings
// file holds, and the defaults its absent keys take.
#include <cstdint>
#include <string>

struct ConnectionProfile {
  std::string Name;               // the section name, exactly as typed
  std::string HostName;
  std::string UserName;
  std::string Password;           // stored as plain text
  std::string Account;            // empty for none
  std::string Directory;          // initial remote directory, empty for none
  std::string Port;               // the Port box's text; stored as a decimal number
  std::string Localdir;           // initial local directory, empty for none
  bool Anonymous = false;
  bool AutoSave = false;
  bool UseLogFile = false;
  bool IncludeDirs = false;
  bool IncludeSubDirs = false;
  bool UseLowerCase = false;
  std::string InitializeCommand;
  int32_t TransferType = 0;       // 1 ASCII, 2 binary, 3 EBCDIC; 0 none chosen
  bool Passive = false;           // data connections opened by this program
  int32_t Security = 0;           // 0 none, 1 explicit TLS, 2 implicit TLS
  std::string TrustedCertificate{};  // SHA-256 fingerprint, 64 capital hex digits, or empty
};

// The options of batch runs, read from the last-used profile at start-up.
struct BatchOptions {
  bool IncludeDirs = false;
  bool IncludeSubDirs = false;
  bool UseLowerCase = false;
  std::string InitializeCommand;
};

// What a profile key reads as when the section lacks it. The text keys
// (HostName, UserName, Password, Account, Directory, Port, InitializeCommand)
// read as empty for every reader.
struct ProfileDefaults {
  std::string Localdir;
  bool Anonymous = false;
  bool AutoSave = false;
  bool UseLogFile = false;
  bool IncludeDirs = false;
  bool IncludeSubDirs = false;
  bool UseLowerCase = false;
  int32_t TransferType = 0;
};

// Loading a profile into the Setup dialog: Localdir keeps the local-directory
// box's current text, every flag is on, TransferType keeps the current
// transfer type.
ProfileDefaults SetupDialogDefaults(const std::string& localdirText, int32_t currentTransferType);

// Loading the last-used profile at start-up: Localdir empty, UseLogFile on,
// the three batch flags off, TransferType the current transfer type (0 at
// start-up). Anonymous and AutoSave are not read at start-up.
ProfileDefaults StartupDefaults(int32_t currentTransferType);
