#include "TempProgramDir.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

TempProgramDir::TempProgramDir() {
  std::string pattern = (fs::temp_directory_path() / "tarnex-prog-XXXXXX").string();
  if (!::mkdtemp(pattern.data()))
    throw std::runtime_error("TempProgramDir: cannot create a temporary folder: " +
                             std::string(std::strerror(errno)));
  try {
    path_ = fs::canonical(pattern);
    dir_ = path_.string() + "/";
    previous_ = fs::current_path();
    fs::current_path(path_);
  } catch (...) {
    std::error_code ignored;
    fs::remove_all(pattern, ignored);
    throw;
  }
}

TempProgramDir::~TempProgramDir() {
  std::error_code ignored;
  fs::current_path(previous_, ignored);
  fs::remove_all(path_, ignored);
}

void TempProgramDir::WriteFile(const std::string& name, const std::string& bytes) const {
  fs::path path = path_ / name;
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("TempProgramDir: cannot write " + path.string());
}

std::string TempProgramDir::ReadFile(const std::string& name) const {
  std::ifstream in(path_ / name, std::ios::binary);
  if (!in) return {};
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool TempProgramDir::Exists(const std::string& name) const { return fs::exists(path_ / name); }
