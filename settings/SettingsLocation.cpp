#include "settings/SettingsLocation.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "settings/SettingsNames.h"

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// $XDG_CONFIG_HOME/tarnex/, or ~/.config/tarnex/ when the variable is unset,
// empty or not an absolute path; the home folder comes from the user
// database when HOME is empty.
std::string ConfigFolder() {
  std::string base = Env("XDG_CONFIG_HOME");
  if (base.empty() || base[0] != '/') {
    std::string home = Env("HOME");
    if (home.empty()) {
      if (const passwd* user = ::getpwuid(::getuid())) home = user->pw_dir ? user->pw_dir : "";
    }
    base = home + "/.config";
  }
  if (base.back() != '/') base += '/';
  return base + "tarnex/";
}

// Makes every missing folder of `folder` (ending in '/') with mode 0700;
// returns errno of the failure, or 0.
int MakeFolders(const std::string& folder) {
  for (size_t slash = folder.find('/', 1); slash != std::string::npos;
       slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return errno;
  }
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0) return errno;
  return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

}  // namespace

bool CanCreateFilesIn(const std::string& folder) {
  return !folder.empty() && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

SettingsFolder ChooseSettingsFolder(const std::string& programDir,
                                    const std::function<bool(const std::string&)>& writable) {
  struct stat st {};
  if (writable(programDir) || ::stat(SettingsFilePath(programDir).c_str(), &st) == 0)
    return {programDir, ""};
  SettingsFolder chosen{ConfigFolder(), ""};
  if (int error = MakeFolders(chosen.Folder))
    chosen.Error = "Cannot create the settings folder " + chosen.Folder + ": " + std::strerror(error);
  return chosen;
}
