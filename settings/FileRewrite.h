#pragma once
// Replacing a file safely: the new contents go to a new file in the same
// folder, which is flushed to the disk and then renamed over the old one, so
// the file is at every moment either wholly old or wholly new. The new file
// gets the old one's permission bits (and owner, where allowed); a file that
// did not exist is readable and writable by its user only (0600), since the
// settings file holds passwords. A symbolic link is followed: the file it points to is replaced and
// the link stays.
//
// The write is refused, and nothing changes, when the file exists but is not
// a regular file or cannot be opened for writing, when the folder does not
// exist or does not let a file be created in it, or when writing, flushing or
// renaming fails (a full disk, for instance).
#include <cstdint>
#include <string>
#include <vector>

// Bytes [begin, end) of the old file are replaced by text. begin == end
// inserts; begin == end == old size appends.
struct FileEdit {
  uint64_t begin = 0;
  uint64_t end = 0;
  std::string text;
};

// Writes a new version of the file at path: the old contents (read from
// oldFd, or none when oldFd is -1) with the edits applied, which must be in
// ascending order and must not overlap. Returns false when the write was
// refused or failed; the old file is then untouched and no stray file is left.
bool RewriteFile(const std::string& path, int oldFd, const std::vector<FileEdit>& edits);
