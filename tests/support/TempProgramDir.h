#pragma once
// Temporary folders for tests.
//
//   TempProgramDir dir;                  // also the current directory
//   dir.WriteIni("[Fixed]\r\nOK=1\r\n");
//   FtpEngine engine(ui, dir.Dir());     // Dir() ends in "/"
//   EXPECT_NE(dir.ReadLog().find("Error"), std::string::npos);
#include <filesystem>
#include <string>

// A new folder in the system's temporary folder; the destructor removes it
// with everything in it.
class TempFolder {
public:
  explicit TempFolder(const std::string& prefix = "tarnex-tmp");  // throws std::runtime_error
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }  // absolute
  // Files by a name relative to the folder (parent folders are made).
  void WriteFile(const std::string& name, const std::string& bytes) const;
  std::string ReadFile(const std::string& name) const;  // "" when missing
  bool Exists(const std::string& name) const { return std::filesystem::exists(path_ / name); }

private:
  std::filesystem::path path_;
};

// The program folder (ProgramDir), and the current directory for the
// lifetime of the object; the destructor restores the previous one.
class TempProgramDir : public TempFolder {
public:
  TempProgramDir();
  ~TempProgramDir() { std::filesystem::current_path(previous_, ignored_); }

  const std::string& Dir() const { return dir_; }  // ends in "/"
  std::string FilePath(const std::string& name) const { return dir_ + name; }
  // The settings file TARNEX.INI and the log file TARNEX.LOG.
  std::string IniPath() const { return FilePath("TARNEX.INI"); }
  std::string LogPath() const { return FilePath("TARNEX.LOG"); }
  void WriteIni(const std::string& text) const { WriteFile("TARNEX.INI", text); }
  std::string ReadIni() const { return ReadFile("TARNEX.INI"); }
  std::string ReadLog() const { return ReadFile("TARNEX.LOG"); }

private:
  std::filesystem::path previous_ = std::filesystem::current_path();
  std::string dir_ = Path().string() + "/";
  std::error_code ignored_;
};
