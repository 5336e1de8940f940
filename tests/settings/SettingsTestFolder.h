#pragma once
// Settings rows: the settings file before, a script of steps on it, what the
// steps return, and the file after.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>

#include "support/TempProgramDir.h"

using Op = std::function<std::string(const std::string& path)>;

// "verb arg|verb arg|...": what step(verb, arg, path) returns for each, run
// together; a step that throws gives "{message}". "file NAME" turns the steps
// after it to the file NAME in the same folder.
template <typename Step> Op Script(Step step, std::string script) {
  return [=](std::string path) {
    std::istringstream steps(script);
    std::string out, text;
    while (std::getline(steps, text, '|')) {
      const std::size_t space = std::min(text.find(' '), text.size());
      const std::string verb = text.substr(0, space), arg = text.substr(std::min(space + 1, text.size()));
      if (verb == "file") path = path.substr(0, path.rfind('/') + 1) + arg;
      try {
        out += verb == "file" ? "" : step(verb, arg, path);
      } catch (const std::runtime_error& e) {
        out += "{" + std::string(e.what()) + "}";
      }
    }
    return out;
  };
}

inline const std::string AsBefore = "(as before)";
struct SettingsRow {
  std::string name;
  std::optional<std::string> before;  // nullopt: no file
  Op op;
  std::string result;
  std::optional<std::string> after = AsBefore;  // nullopt: no regular file there
};
inline void PrintTo(const SettingsRow& row, std::ostream* os) { *os << row.name; }

// Each row in a program folder of its own. Paths in the result read relative
// to it, and no copy of the file may be left behind, whatever the row did.
inline void RunSettingsRow(const SettingsRow& row) {
  TempProgramDir dir;
  if (row.before) dir.WriteIni(*row.before);
  std::string result = row.op(dir.IniPath());
  for (auto at = result.find(dir.Dir()); at != std::string::npos; at = result.find(dir.Dir())) result.erase(at, dir.Dir().size());
  EXPECT_EQ(result, row.result);
  if (const auto after = row.after == AsBefore ? row.before : row.after; after) EXPECT_EQ(dir.ReadIni(), *after);
  else EXPECT_FALSE(std::filesystem::is_regular_file(dir.IniPath()));
  for (const auto& entry : std::filesystem::directory_iterator(dir.Dir()))
    EXPECT_EQ(entry.path().filename().string().find(".new"), std::string::npos) << "a copy left behind";
}
class SettingsRows : public ::testing::TestWithParam<SettingsRow> {};
