#include "ftp/LocalFile.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

bool LocalFile::Create(const std::string& path) {
  Close();
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  path_ = path;
  return fd_ >= 0;
}

bool LocalFile::OpenForReplace(const std::string& path) {
  Close();
  path_ = path;
  fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  madeHere_ = fd_ >= 0;
  if (fd_ < 0 && errno == EEXIST) fd_ = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  return fd_ >= 0;
}

bool LocalFile::Truncate() {
  // A file made here is empty already and is not truncated: on ext4 a
  // truncation to zero makes the close flush all the data written after it,
  // which holds the window for a while after a large retrieval.
  if (fd_ < 0 || (!madeHere_ && ::ftruncate(fd_, 0) != 0)) return false;
  madeHere_ = false;
  return true;
}

bool LocalFile::CreateTemporary(const std::string& prefix) {
  Close();
  std::string pattern = prefix + "XXXXXX.TMP";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  fd_ = ::mkstemps(name.data(), 4);
  if (fd_ < 0) return false;
  ::fcntl(fd_, F_SETFD, FD_CLOEXEC);
  path_ = name.data();
  return true;
}

bool LocalFile::OpenForReading(const std::string& path) {
  Close();
  path_ = path;
  bytesRead_ = 0;
  // O_NONBLOCK keeps a FIFO from blocking the open; it is refused below.
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st{};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  int flags = ::fcntl(fd, F_GETFL);
  ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  fd_ = fd;
  return true;
}

bool LocalFile::WriteAll(const char* data, size_t size) {
  if (fd_ < 0) return false;
  while (size > 0) {
    ssize_t n = ::write(fd_, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

long LocalFile::Read(char* data, size_t size) {
  if (fd_ < 0) return -1;
  for (;;) {
    ssize_t n = ::read(fd_, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n > 0) bytesRead_ += n;
    return static_cast<long>(n);
  }
}

bool LocalFile::SkipTo(int64_t offset) {
  if (fd_ < 0 || ::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) != offset) return false;
  bytesRead_ = offset;
  return true;
}

int64_t LocalFile::Size() const {
  struct stat st{};
  if (fd_ < 0 || ::fstat(fd_, &st) != 0) return 0;
  return static_cast<int64_t>(st.st_size);
}

void LocalFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  if (fd_ >= 0 && madeHere_) ::unlink(path_.c_str());
  fd_ = -1;
  madeHere_ = false;
}
