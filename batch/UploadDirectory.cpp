#include "batch/BatchUpload.h"
#include "batch/PathHelpers.h"

std::vector<DirEntry> StoreFilesOf(BatchWalk& walk, const std::string& path, bool hidden) {
  FtpEngine& engine = walk.engine;
  const std::string dir = AddBackslash(path);
  bool listed = true;
  const std::vector<DirEntry> entries = ListDirectory(dir, &listed);
  if (!listed) PassedOver(engine, path, "cannot be read");
  // FIFOs, sockets and devices are never sent.
  for (const DirEntry& entry : entries) {
    if (entry.hidden && !hidden) continue;
    if (engine.ControlGone()) break;
    if (entry.error != 0) PassedOver(engine, dir + entry.name, LocalError(entry.error));
    if (!entry.regular) continue;
    engine.WriteLog("Putfile " + entry.name);
    if (!StoreRecovering(walk, dir + entry.name, entry.name)) break;
  }
  return entries;
}

void PassedOverDirectory(FtpEngine& engine, const std::string& remoteName, const std::string& localDir,
                         bool tree) {
  engine.ShowLine("Could not enter remote directory %s, passed over", {remoteName});
  engine.WriteLog("Passed over directory " + remoteName);
  engine.FilesAttempted += CountFiles(localDir, tree);
}

void UploadDirectory(BatchWalk& walk, const std::string& dirIn) {
  FtpEngine& engine = walk.engine;
  const std::string dir = AddBackslash(dirIn);
  // Files first, hidden ones included.
  const std::vector<DirEntry> entries = StoreFilesOf(walk, dir, true);

  // Then every sub-directory that is not hidden.
  for (const DirEntry& entry : entries) {
    if (!entry.directory || entry.hidden) continue;
    if (engine.ControlGone()) return;
    const std::string sub = engine.UseLowerCase ? LowerName(entry.name) : entry.name;
    int entered = 5;
    if (!Recovering(walk, [&] {
          engine.SendCommand("MKD %s", {sub});
          engine.UI().SetStatusText("MakingDirectory: " + sub);
          engine.WriteLog("Makedirectory " + sub);
          entered = engine.SendCommand("CWD %s", {sub});
          engine.UI().SetStatusText("ChangingDirectory: " + sub);
          engine.WriteLog("Changedirectory " + sub);
        }))
      return;
    if (entered != 2) {
      // Its files must not land in the wrong remote directory, and the
      // closing CDUP would leave the caller one level too high.
      PassedOverDirectory(engine, sub, dir + entry.name, true);
      continue;
    }
    walk.remoteDirs.push_back(sub);
    // The local path is built from the entry's own name: only the remote
    // name is lower-cased.
    UploadDirectory(walk, dir + entry.name + "/");
  }
  if (engine.ControlGone()) return;

  if (!Recovering(walk, [&] {
        engine.SendCommand("CDUP");
        engine.WriteLog("CDUP");
      }))
    return;
  if (!walk.remoteDirs.empty()) walk.remoteDirs.pop_back();
}
