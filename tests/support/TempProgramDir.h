#pragma once
// Temporary folders for tests.
//
//   TempProgramDir dir;                  // also the current directory
//   dir.WriteFile("TARNEX.INI", "[Fixed]\r\nOK=1\r\n");
//   FtpEngine engine(ui, dir.Dir());     // Dir() ends in "/"
//   EXPECT_NE(dir.ReadLog().find("Error"), std::string::npos);
//   EXPECT_EQ(dir.LogLines(), "Connected to 127.0.0.1\n");  // without the time stamps
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>

// A new folder in the system's temporary folder; the destructor removes it
// with everything in it.
class TempFolder {
public:
  explicit TempFolder(const std::string& prefix = "tarnex-tmp") {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("cannot make " + pattern);
    path_ = std::filesystem::canonical(pattern);
  }
  ~TempFolder() { std::filesystem::remove_all(path_, ignored_); }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }  // absolute
  // Files by a name relative to the folder (parent folders are made).
  void WriteFile(const std::string& name, const std::string& bytes) const {
    std::filesystem::create_directories((path_ / name).parent_path());
    std::ofstream out(path_ / name, std::ios::binary | std::ios::trunc);
    if (!out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())))
      throw std::runtime_error("cannot write " + (path_ / name).string());
  }
  std::string ReadFile(const std::string& name) const {  // "" when missing
    std::ifstream in(path_ / name, std::ios::binary);
    std::ostringstream text;
    if (in) text << in.rdbuf();  // a folder reads as ""
    return text.str();
  }
  bool Exists(const std::string& name) const { return std::filesystem::exists(path_ / name); }

protected:
  std::error_code ignored_;

private:
  std::filesystem::path path_;
};

// The program folder (ProgramDir), and the current directory for the
// lifetime of the object; the destructor restores the previous one.
class TempProgramDir : public TempFolder {
public:
  TempProgramDir() : TempFolder("tarnex-prog") { std::filesystem::current_path(Path()); }
  ~TempProgramDir() { std::filesystem::current_path(previous_, ignored_); }

  const std::string& Dir() const { return dir_; }  // ends in "/"
  std::string FilePath(const std::string& name) const { return dir_ + name; }
  // The settings file TARNEX.INI and the log file TARNEX.LOG.
  std::string IniPath() const { return FilePath("TARNEX.INI"); }
  std::string ReadLog() const { return ReadFile("TARNEX.LOG"); }
  // The log's lines without their date and time, each ended by "\n".
  std::string LogLines() const { return std::regex_replace(ReadLog(), std::regex("[^ \n]+ [^ \n]+ ([^\r]*)\r\n"), "$1\n"); }

private:
  std::filesystem::path previous_ = std::filesystem::current_path();
  std::string dir_ = Path().string() + "/";
};
