#pragma once
// Where TARNEX.INI and TARNEX.LOG live, decided once at start-up: beside the
// program when the user may create files in its folder (or a TARNEX.INI is
// already there), otherwise in the user's configuration folder,
// $XDG_CONFIG_HOME/tarnex/ (~/.config/tarnex/ when the variable is unset or
// empty or relative). Temporary listing and view files are not affected.
#include <functional>
#include <string>

struct SettingsFolder {
  std::string Folder;  // ends in '/'
  // Empty, or "Cannot create the settings folder <folder>: <reason>" when the
  // configuration folder could not be made; Folder is then that folder all
  // the same, and writing the settings file will fail with its own error.
  std::string Error;
};

// Whether the user may create files in a folder (write and search access).
bool CanCreateFilesIn(const std::string& folder);

// Decides the folder for programDir (ending in '/') and creates the
// configuration folder, mode 0700, when it is chosen and missing. `writable`
// answers CanCreateFilesIn's question; tests pass their own answer.
SettingsFolder ChooseSettingsFolder(
    const std::string& programDir,
    const std::function<bool(const std::string&)>& writable = CanCreateFilesIn);
