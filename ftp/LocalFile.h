#pragma once
// A local file handle that closes itself, for the transfers.
#include <cstdint>
#include <string>

class LocalFile {
public:
  LocalFile() = default;
  ~LocalFile() { Close(); }
  LocalFile(const LocalFile&) = delete;
  LocalFile& operator=(const LocalFile&) = delete;

  // Creates (or truncates) a file for writing.
  bool Create(const std::string& path);
  // Opens a file for writing without changing it: an existing file keeps
  // its bytes until Truncate, a file made here is removed again when the
  // handle closes before Keep or Truncate.
  bool OpenForReplace(const std::string& path);
  // Empties the file opened for replacing; it is kept from now on.
  bool Truncate();
  void Keep() { madeHere_ = false; }
  // Makes a new file in the current directory named prefix + unique part +
  // ".TMP" and opens it for writing.
  bool CreateTemporary(const std::string& prefix);
  // Opens an existing regular file for reading; anything else is refused,
  // so a FIFO or a device is never read.
  bool OpenForReading(const std::string& path);

  bool IsOpen() const { return fd_ >= 0; }
  const std::string& Path() const { return path_; }
  // Writes all bytes; false on failure.
  bool WriteAll(const char* data, size_t size);
  // Reads up to size bytes: the count, 0 at the end, -1 on failure.
  long Read(char* data, size_t size);
  // Goes to byte `offset` of a file opened for reading, counted as read.
  bool SkipTo(int64_t offset);
  int64_t Size() const;
  // The bytes Read has returned since the file was opened.
  int64_t BytesRead() const { return bytesRead_; }
  void Close();

private:
  int fd_ = -1;
  int64_t bytesRead_ = 0;
  std::string path_;
  bool madeHere_ = false;  // removed on close unless kept
};
