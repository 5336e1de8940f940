#include "batch/PathHelpers.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

std::string AddBackslash(const std::string& path) {
  if (!path.empty() && path.back() == '/') return path;
  return path + "/";
}

bool IsDirectory(const std::string& path) {
  struct stat st{};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool LocalFileExists(const std::string& path) {
  struct stat st{};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string NamePart(const std::string& path) {
  size_t end = path.find_last_not_of('/');
  if (end == std::string::npos) return "";
  size_t slash = path.rfind('/', end);
  size_t start = slash == std::string::npos ? 0 : slash + 1;
  return path.substr(start, end + 1 - start);
}

std::string DirectoryName(const std::string& path) {
  std::string part = NamePart(path);
  if (part != "." && part != ".." && !part.empty()) return part;
  char resolved[PATH_MAX];
  if (!::realpath(path.c_str(), resolved)) return "";
  return NamePart(resolved);
}

std::vector<DirEntry> ListDirectory(const std::string& dir, bool* ok) {
  std::vector<DirEntry> entries;
  DIR* d = ::opendir(dir.c_str());
  if (ok) *ok = d != nullptr;
  if (!d) return entries;
  const std::string base = AddBackslash(dir);
  while (dirent* e = ::readdir(d)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    DirEntry entry;
    entry.name = name;
    entry.hidden = name[0] == '.';
    struct stat st{};
    // A link is judged by what it points to for files, but never walked
    // into as a directory, so a link loop cannot make the walk endless.
    if (::lstat((base + name).c_str(), &st) != 0) {
      entry.error = errno;
    } else {
      if (S_ISDIR(st.st_mode)) {
        entry.directory = true;
      } else if (S_ISLNK(st.st_mode)) {
        struct stat target{};
        entry.regular = ::stat((base + name).c_str(), &target) == 0 && S_ISREG(target.st_mode);
      } else {
        entry.regular = S_ISREG(st.st_mode);
      }
    }
    entries.push_back(std::move(entry));
  }
  ::closedir(d);
  return entries;
}

int CountFiles(const std::string& dir, bool tree) {
  int count = 0;
  for (const DirEntry& entry : ListDirectory(dir)) {
    if (entry.regular && (tree || !entry.hidden)) ++count;
    if (tree && entry.directory && !entry.hidden) count += CountFiles(AddBackslash(dir) + entry.name, tree);
  }
  return count;
}

std::string LocalError(int error) {
  return error == ENAMETOOLONG ? "path too long" : "cannot be read";
}
