// Where the settings and the log live, and the mode of the files the program
// creates there. The program folder's "writable" answer is given by the row,
// so read-only rows hold when the tests run as root too.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <fstream>
#include <optional>
#include <sys/stat.h>

#include "ftp/LogFile.h"
#include "settings/SettingsLocation.h"
#include "settings/TIniFile.h"

namespace {
struct Row {
  const char* name;
  std::optional<bool> writable;  // none: ask the system
  bool iniBeside;
  const char* prog;    // the program folder; $R/gone/ is missing
  const char* xdg;     // XDG_CONFIG_HOME, nullptr: unset; $R is the test's root
  const char* folder;  // the chosen folder
  bool fails;          // the configuration folder cannot be made
};

mode_t Mode(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST(SettingsLocation, ChosenOnceAtStartup) {
  const Row rows[] = {
      {"writable program folder", true, false, "$R/prog/", "$R/xdg", "$R/prog/", false},
      {"asked of the system: writable", std::nullopt, false, "$R/prog/", "$R/xdg", "$R/prog/", false},
      {"asked of the system: missing", std::nullopt, false, "$R/gone/", "$R/xdg", "$R/xdg/tarnex/", false},
      {"read-only, no INI: folders made", false, false, "$R/prog/", "$R/a/b", "$R/a/b/tarnex/", false},
      {"read-only with an INI stays beside", false, true, "$R/prog/", "$R/xdg", "$R/prog/", false},
      {"XDG_CONFIG_HOME unset", false, false, "$R/prog/", nullptr, "$R/home/.config/tarnex/", false},
      {"XDG_CONFIG_HOME empty", false, false, "$R/prog/", "", "$R/home/.config/tarnex/", false},
      {"XDG_CONFIG_HOME relative", false, false, "$R/prog/", "rel", "$R/home/.config/tarnex/", false},
      {"config folder cannot be made", false, false, "$R/prog/", "$R/file", "$R/file/tarnex/", true},
  };
  const mode_t mask = ::umask(0);  // the modes must not come from the umask
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    QTemporaryDir tmp;
    auto at = [&](std::string s) {
      return s.rfind("$R", 0) ? s : s.replace(0, 2, tmp.path().toStdString());
    };
    const std::string prog = at(row.prog), folder = at(row.folder);
    ::mkdir(at("$R/prog").c_str(), 0755);
    std::ofstream(at("$R/file")) << "x";
    if (row.iniBeside) std::ofstream(prog + "TARNEX.INI") << "[Fixed]\nOK=1\n";
    ::setenv("HOME", at("$R/home").c_str(), 1);
    row.xdg ? ::setenv("XDG_CONFIG_HOME", at(row.xdg).c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");

    const SettingsFolder got = row.writable
        ? ChooseSettingsFolder(prog, [&](const std::string&) { return *row.writable; })
        : ChooseSettingsFolder(prog);
    EXPECT_EQ(got.Folder, folder);
    EXPECT_EQ(got.Error.rfind("Cannot create the settings folder " + folder + ": ", 0),
              row.fails ? 0u : std::string::npos) << got.Error;
    if (row.fails) continue;
    EXPECT_EQ(Mode(folder), folder == prog ? 0755u : 0700u);
    TIniFile(folder + "TARNEX.INI").WriteText("a", "x", "1");
    LogFile(folder + "TARNEX.LOG").Write("started");
    // An existing file keeps its mode (0666: made by the test under umask 0).
    EXPECT_EQ(Mode(folder + "TARNEX.INI"), row.iniBeside ? 0666u : 0600u);
    EXPECT_EQ(Mode(folder + "TARNEX.LOG"), 0600u);
  }
  ::umask(mask);
}
}  // namespace
