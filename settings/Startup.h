#pragma once
// What the program reads from the settings file when it starts.
#include <cstdint>
#include <string>

#include "settings/ConnectionProfile.h"
#include "settings/Options.h"

// The entry routine's question: [Fixed] OK as a flag, default true (so an
// absent file or key reads true; only a value reading as 0 turns it off).
bool ReadConfiguredFlag(const std::string& iniPath);

struct StartupSettings {
  // [options]; when all three read empty, the defaults (DefaultDisplayOptions)
  // are used and stored, DirSep, ViewSep, Editor in that order.
  DisplayOptions Options;
  bool OptionDefaultsWritten = false;  // all three defaults were stored
  // "Unable to write to <path>" when storing the defaults was refused (empty
  // otherwise). Options holds the defaults all the same; the caller shows the
  // text in its error box and carries on.
  std::string OptionDefaultsError;

  // The last-used profile, read with StartupDefaults: Name ([LastUsed] NAME),
  // HostName, UserName, Password, Account, Directory, Port, Localdir,
  // UseLogFile, IncludeDirs, IncludeSubDirs, UseLowerCase, InitializeCommand,
  // TransferType. Anonymous and AutoSave are not read (left false).
  ConnectionProfile Profile;
  BatchOptions Batch;           // the profile's batch options
  int32_t TransferType = 0;     // becomes CurrentTransferType
  bool LogEnabled = true;       // the profile's UseLogFile
  bool ConfiguredFlag = true;   // [Fixed] OK, default true
  // [options] VerifyDataPeer and VerifyUploads, both on unless they read 0:
  // data connections only from the server's own address, and binary uploads
  // checked by SIZE.
  bool VerifyDataPeer = true;
  bool VerifyUploads = true;
  // [options] Reconnect (default 3, never below 0) and Notify (on unless 0)
  // for unattended runs.
  int32_t Reconnect = 3;
  bool Notify = true;
  bool FastTransfers = false;  // [options] FastTransfers, off unless it reads 1 or more
};

// Reads [options] DirSep, ViewSep, Editor; [LastUsed] NAME; the profile
// keys of the section so named with the start-up defaults (TransferType
// defaulting to currentTransferType); then [Fixed] OK, [options]
// VerifyDataPeer and VerifyUploads; last, when the three
// options were all empty, stores their defaults. Entering Localdir is left to the caller. Never throws for a
// refused write (see OptionDefaultsError).
StartupSettings ReadStartupSettings(const std::string& iniPath, int32_t currentTransferType);
