// Where the settings and the log live, and the mode of the files the program
// creates there. The program folder's "writable" answer is given by the row,
// so read-only rows hold when the tests run as root too.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdlib>
#include <fstream>
#include <sys/stat.h>

#include "ftp/LogFile.h"
#include "settings/SettingsLocation.h"
#include "settings/TIniFile.h"

namespace {
enum class Writable { Yes, No, AskSystem };
enum class Where { Beside, Xdg, HomeConfig, Fails };
struct Row {
  const char* name;
  Writable writable;
  bool iniBeside;
  const char* xdg;  // nullptr: unset; "XDG": <root>/xdg; "FILE": a regular file
  Where where;
};

mode_t Mode(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST(SettingsLocation, ChosenOnceAtStartup) {
  const Row rows[] = {
      {"writable program folder", Writable::Yes, false, "XDG", Where::Beside},
      {"read-only, no INI: config folder made", Writable::No, false, "XDG", Where::Xdg},
      {"read-only with an INI stays beside", Writable::No, true, "XDG", Where::Beside},
      {"XDG_CONFIG_HOME unset", Writable::No, false, nullptr, Where::HomeConfig},
      {"XDG_CONFIG_HOME empty", Writable::No, false, "", Where::HomeConfig},
      {"XDG_CONFIG_HOME relative", Writable::No, false, "rel", Where::HomeConfig},
      {"missing program folder", Writable::AskSystem, false, "XDG", Where::Xdg},
      {"config folder cannot be made", Writable::No, false, "FILE", Where::Fails},
  };
  const mode_t mask = ::umask(0);  // the modes must not come from the umask
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    QTemporaryDir tmp;
    const std::string root = tmp.path().toStdString() + "/";
    const std::string prog = root + (row.writable == Writable::AskSystem ? "gone/" : "prog/");
    if (row.writable != Writable::AskSystem) ::mkdir(prog.c_str(), 0755);
    if (row.iniBeside) std::ofstream(prog + "TARNEX.INI") << "[Fixed]\nOK=1\n";
    std::ofstream(root + "FILE") << "x";
    ::setenv("HOME", (root + "home").c_str(), 1);
    const bool inRoot = row.xdg && (std::string(row.xdg) == "XDG" || std::string(row.xdg) == "FILE");
    const std::string xdg = inRoot ? root + row.xdg : "";
    if (row.xdg) ::setenv("XDG_CONFIG_HOME", xdg.empty() ? row.xdg : xdg.c_str(), 1);
    else ::unsetenv("XDG_CONFIG_HOME");

    const SettingsFolder got =
        row.writable == Writable::AskSystem
            ? ChooseSettingsFolder(prog)
            : ChooseSettingsFolder(prog, [&](const std::string&) { return row.writable == Writable::Yes; });
    const std::string want[] = {prog, xdg + "/tarnex/", root + "home/.config/tarnex/",
                                xdg + "/tarnex/"};
    EXPECT_EQ(got.Folder, want[static_cast<int>(row.where)]);
    if (row.where == Where::Fails) {
      EXPECT_EQ(got.Error.rfind("Cannot create the settings folder " + got.Folder + ": ", 0), 0u)
          << got.Error;
      continue;
    }
    EXPECT_EQ(got.Error, "");
    if (row.where != Where::Beside) {
      EXPECT_EQ(Mode(got.Folder), 0700u);
    }
    TIniFile(got.Folder + "TARNEX.INI").WriteText("a", "x", "1");
    LogFile(got.Folder + "TARNEX.LOG").Write("started");
    EXPECT_EQ(Mode(got.Folder + "TARNEX.INI"), row.iniBeside ? 0666u : 0600u);
    EXPECT_EQ(Mode(got.Folder + "TARNEX.LOG"), 0600u);
  }
  ::umask(mask);
}
}  // namespace
