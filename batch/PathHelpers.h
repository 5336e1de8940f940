#pragma once
// Small path helpers of the batch run. Paths use '/'; a name starting with
// '.' counts as hidden; anything that is neither a regular file nor a
// directory (FIFO, socket, device) counts as a system entry and is never
// opened.
#include <string>
#include <vector>

#include "ftp/Session.h"  // LowerName

// The path followed by '/', unless it ends with one already.
std::string AddBackslash(const std::string& path);
// Whether the path names an existing directory.
bool IsDirectory(const std::string& path);
// Whether a regular file of that name exists (the name exactly as passed).
bool LocalFileExists(const std::string& path);
// The text after the last '/', trailing '/' ignored.
std::string NamePart(const std::string& path);
// The name of a directory as the server should get it: its name part, or,
// for "." and ".." (as in "tarnex ." or "../.."), the name part of the
// directory they stand for. Empty for the root directory.
std::string DirectoryName(const std::string& path);

struct DirEntry {
  std::string name;
  int error = 0;           // errno when the entry could not be examined
  bool directory = false;  // a real directory; a link to one is not
  bool regular = false;    // a regular file (or a link to one)
  bool hidden = false;     // the name starts with '.'
};
// The entries of a directory in the order the file system gives them,
// without "." and ".."; empty when it cannot be listed, and then *ok (when
// given) is false.
std::vector<DirEntry> ListDirectory(const std::string& dir, bool* ok = nullptr);
// The regular files in a directory (and, with `tree`, in its sub-directories,
// links to directories not followed) that a batch run would upload.
int CountFiles(const std::string& dir, bool tree);
// Why a local name cannot be uploaded, from an errno value.
std::string LocalError(int error);
