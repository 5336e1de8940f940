#include "batch/BatchUpload.h"
#include "batch/PathHelpers.h"

void UploadDirectory(FtpEngine& engine, const std::string& typeCommand, const std::string& dirIn) {
  const std::string dir = AddBackslash(dirIn);
  bool listed = true;
  const std::vector<DirEntry> entries = ListDirectory(dir, &listed);
  if (!listed) PassedOver(engine, dir, "cannot be read");

  // Files first, hidden ones included; FIFOs, sockets and devices never.
  for (const DirEntry& entry : entries) {
    if (ControlConnectionLost(engine)) return;
    if (entry.error != 0) PassedOver(engine, dir + entry.name, LocalError(entry.error));
    if (!entry.regular) continue;
    engine.WriteLog("Putfile " + entry.name);
    engine.StoreFile(typeCommand, dir + entry.name, entry.name);
  }

  // Then every sub-directory that is not hidden.
  for (const DirEntry& entry : entries) {
    if (!entry.directory || entry.hidden) continue;
    if (ControlConnectionLost(engine)) return;
    const std::string sub = engine.UseLowerCase ? LowerName(entry.name) : entry.name;
    engine.SendCommand("MKD %s", {sub});
    engine.UI().SetStatusText("MakingDirectory: " + sub);
    engine.WriteLog("Makedirectory " + sub);
    int entered = engine.SendCommand("CWD %s", {sub});
    engine.UI().SetStatusText("ChangingDirectory: " + sub);
    engine.WriteLog("Changedirectory " + sub);
    if (ControlConnectionLost(engine)) return;
    if (entered != 2) {
      engine.FilesAttempted += CountFiles(dir + entry.name, true);
      // Its files must not land in the wrong remote directory, and the
      // closing CDUP would leave the caller one level too high.
      engine.ShowLine("Could not enter remote directory %s, passed over", {sub});
      engine.WriteLog("Passed over directory " + sub);
      continue;
    }
    // The local path is built from the entry's own name: only the remote
    // name is lower-cased.
    UploadDirectory(engine, typeCommand, dir + entry.name + "/");
  }
  if (ControlConnectionLost(engine)) return;

  engine.SendCommand("CDUP");
  engine.WriteLog("CDUP");
}
