#include "settings/FileRewrite.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Owns a file descriptor.
class Fd {
public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { Close(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  bool Close() {
    if (fd_ < 0) return true;
    int rc = ::close(fd_);
    fd_ = -1;
    return rc == 0;
  }

private:
  int fd_;
};

// A new file that is removed again unless Keep() is called.
class TempFile {
public:
  ~TempFile() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  bool Create(const std::string& target) {
    std::random_device seed;
    std::mt19937_64 random(seed() ^ (static_cast<uint64_t>(::getpid()) << 32));
    for (int attempt = 0; attempt < 100; ++attempt) {
      char suffix[32];
      std::snprintf(suffix, sizeof suffix, ".new%012llx",
                    static_cast<unsigned long long>(random() & 0xffffffffffffULL));
      std::string candidate = target + suffix;
      int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
      if (fd >= 0) {
        path_ = candidate;
        fd_ = std::make_unique<Fd>(fd);
        return true;
      }
      if (errno != EEXIST) return false;
    }
    return false;
  }
  int fd() const { return fd_->get(); }
  const std::string& path() const { return path_; }
  bool Close() { return fd_->Close(); }
  void Keep() { path_.clear(); }

private:
  std::string path_;
  std::unique_ptr<Fd> fd_;
};

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// Copies old bytes from offset `from` up to `to` (or to the end of the file
// when `to` is UINT64_MAX).
bool CopyRange(int in, int out, uint64_t from, uint64_t to, std::string& buffer) {
  while (from < to) {
    std::size_t want = buffer.size();
    if (to != UINT64_MAX && to - from < want) want = static_cast<std::size_t>(to - from);
    ssize_t n = ::pread(in, buffer.data(), want, static_cast<off_t>(from));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return to == UINT64_MAX;  // the old file is shorter than it was
    if (!WriteAll(out, buffer.data(), static_cast<std::size_t>(n))) return false;
    from += static_cast<uint64_t>(n);
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The path that is really replaced: the target of a symbolic link.
std::string ResolveTarget(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) == nullptr) return path;
  return resolved;
}

}  // namespace

bool RewriteFile(const std::string& path, int oldFd, const std::vector<FileEdit>& edits) {
  const std::string target = ResolveTarget(path);

  struct stat old {};
  bool exists = ::stat(target.c_str(), &old) == 0;
  if (!exists && errno != ENOENT) return false;
  if (exists) {
    if (!S_ISREG(old.st_mode)) return false;
    // A file that refuses writes (read-only for this user) is not replaced
    // either, although the folder would allow the rename.
    Fd probe(::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
    if (probe.get() < 0) return false;
  }

  TempFile temp;
  if (!temp.Create(target)) return false;

  std::string buffer(64 * 1024, '\0');
  uint64_t from = 0;
  for (const FileEdit& edit : edits) {
    if (oldFd >= 0 && !CopyRange(oldFd, temp.fd(), from, edit.begin, buffer)) return false;
    if (!WriteAll(temp.fd(), edit.text.data(), edit.text.size())) return false;
    from = edit.end;
  }
  if (oldFd >= 0 && !CopyRange(oldFd, temp.fd(), from, UINT64_MAX, buffer)) return false;

  if (exists) {
    if (old.st_uid != ::geteuid() || old.st_gid != ::getegid())
      (void)!::fchown(temp.fd(), old.st_uid, old.st_gid);  // allowed only to some users
    if (::fchmod(temp.fd(), old.st_mode & 07777) != 0) return false;
  }
  if (::fsync(temp.fd()) != 0) return false;
  if (!temp.Close()) return false;
  if (::rename(temp.path().c_str(), target.c_str()) != 0) return false;
  temp.Keep();

  // Make the rename itself durable; a failure here changes nothing.
  Fd folder(::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() >= 0) ::fsync(folder.get());
  return true;
}
