#pragma once
// A temporary folder that serves as the program folder (ProgramDir) and as
// the current directory for the lifetime of the object. The destructor
// restores the previous current directory and removes the folder.
//
//   TempProgramDir dir;
//   dir.WriteIni("[Fixed]\r\nOK=1\r\n");
//   FtpEngine engine(ui, dir.Dir());   // Dir() ends in "/"
//   EXPECT_NE(dir.ReadLog().find("Error"), std::string::npos);
#include <filesystem>
#include <string>

class TempProgramDir {
public:
  TempProgramDir();   // throws std::runtime_error when it cannot
  ~TempProgramDir();
  TempProgramDir(const TempProgramDir&) = delete;
  TempProgramDir& operator=(const TempProgramDir&) = delete;

  const std::string& Dir() const { return dir_; }  // absolute, ends in "/"
  const std::filesystem::path& Path() const { return path_; }
  std::string FilePath(const std::string& name) const { return dir_ + name; }

  // Files by a name relative to the folder (parent folders are made).
  void WriteFile(const std::string& name, const std::string& bytes) const;
  std::string ReadFile(const std::string& name) const;  // "" when missing
  bool Exists(const std::string& name) const;

  // The settings file TARNEX.INI and the log file TARNEX.LOG.
  std::string IniPath() const { return FilePath("TARNEX.INI"); }
  std::string LogPath() const { return FilePath("TARNEX.LOG"); }
  void WriteIni(const std::string& text) const { WriteFile("TARNEX.INI", text); }
  std::string ReadIni() const { return ReadFile("TARNEX.INI"); }
  std::string ReadLog() const { return ReadFile("TARNEX.LOG"); }

private:
  std::filesystem::path previous_;
  std::filesystem::path path_;
  std::string dir_;
};
