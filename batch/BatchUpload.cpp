#include "batch/BatchUpload.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "batch/PathHelpers.h"
#include "ftp/Session.h"

bool ControlConnectionLost(const FtpEngine& engine) {
  return engine.ControlGone();
}

void PassedOver(FtpEngine& engine, const std::string& name, const std::string& why) {
  engine.NotStored(name, why);
  ++engine.FilesAttempted;
}

namespace {
void UploadName(FtpEngine& engine, const BatchRun& run, const std::string& path) {
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0) {
    // A name that is not there is passed over without a word; one that
    // is there but cannot be reached is not stored, and says so.
    if (errno != ENOENT && errno != ENOTDIR) PassedOver(engine, path, LocalError(errno));
    return;
  }
  if (!IsDirectory(path)) {
    if (!LocalFileExists(path)) return;  // FIFOs, sockets and devices, without a word
    const std::string part = NamePart(path);
    engine.WriteLog("Putfile " + part);
    engine.StoreFile(run.typeCommand, path, part);
    return;
  }
  if (!run.includeDirs) return;

  // "." or ".." would make the MKD and CWD below stay in (or leave) the
  // current remote directory, so such a directory goes by its real name.
  const std::string part = DirectoryName(path);
  const std::string name = run.useLowerCase ? LowerName(part) : part;
  if (name.empty()) {
    engine.ShowLine("The root directory %s is not uploaded, passed over", {path});
    engine.WriteLog("Passed over directory " + path);
    return;
  }

  if (run.includeSubDirs) {
    engine.SendCommand("PWD");
    engine.WriteLog("PWD");
    engine.WriteLog("MakeDirectory " + name);
    engine.SendCommand("MKD %s", {name});
    int entered = engine.SendCommand("CWD %s", {name});
    engine.WriteLog("ChangeDirectory " + name);
    if (entered != 2) {
      if (!ControlConnectionLost(engine)) PassedOverDirectory(engine, name, path, true);
      return;
    }
    // The tree's own CDUP brings the remote side back where it started.
    UploadDirectory(engine, run.typeCommand, path);
    return;
  }

  engine.WriteLog("MakeDirectory " + name);
  engine.SendCommand("MKD %s", {name});
  const int entered = engine.SendCommand("CWD %s", {name});
  engine.WriteLog("ChangeDirectory " + name);
  if (ControlConnectionLost(engine)) return;
  // Its files would land in the current remote directory instead.
  if (entered != 2) PassedOverDirectory(engine, name, AddBackslash(path), false);
  else StoreFilesOf(engine, run.typeCommand, path, false);
}

// ": " and the control socket's error, when it gave one.
std::string Reason(const FtpEngine& engine) {
  return engine.ControlError.empty() ? "" : ": " + engine.ControlError;
}

// The one line that ends a run whose control connection failed, with the
// reason when the socket gave one.
BatchResult Lost(FtpEngine& engine) {
  engine.ShowAndLog("Connection Failed" + Reason(engine));
  return BatchResult::ConnectionLost;
}
}  // namespace

BatchResult BatchUpload(FtpEngine& engine, const BatchRun& run) {
  engine.Memo.Clear();
  engine.UseLowerCase = run.useLowerCase;
  engine.Unattended = true;
  engine.FilesAttempted = 0;
  engine.FilesStored = 0;
  engine.Passive = run.passive;
  engine.Tls = TlsSettings{};
  engine.Tls.Security = run.security;
  engine.Tls.TrustedCertificate = run.trustedCertificate;
  engine.Tls.Unattended = true;

  if (!OpenControlConnection(engine, run.host, run.port)) {
    // No box: nobody is there to close it, and the run must end.
    engine.ShowAndLog("Connection to " + run.host + " failed" + Reason(engine));
    return BatchResult::ConnectFailed;
  }
  engine.Connected = true;
  ShowConnectionAddresses(engine);
  engine.WriteLog("Connected to " + run.host + " as " + run.user);

  // A failed TLS step has closed the connection and logged why.
  const SessionStart start = StartSession(engine, run.user, run.password, run.account);
  if (start != SessionStart::Ready)
    return start == SessionStart::StoppedBeforeLogin ? BatchResult::ConnectFailed : BatchResult::ConnectionLost;
  CheckLoginFailure(engine, run.user);  // nothing more is sent after a refused login
  if (!run.directory.empty())
    engine.SendCommand("CWD %s", {run.useLowerCase ? LowerName(run.directory) : run.directory});
  CheckInitialDirectory(engine, run.directory);
  // Files stored anywhere else could replace others of the same name.
  if (!run.directory.empty() && !ControlConnectionLost(engine) && engine.Memo.LastReplyCode() / 100 != 2) {
    engine.ShowAndLog("Could not enter the remote directory " + EscapeControls(run.directory) +
                      ": nothing stored");
    return BatchResult::Stopped;
  }
  if (!run.initializeCommand.empty()) engine.SendCommand("%s", {run.initializeCommand});

  if (ControlConnectionLost(engine)) return Lost(engine);
  for (const std::string& name : run.names) {
    if (std::find(run.unplaced.begin(), run.unplaced.end(), name) != run.unplaced.end())
      PassedOver(engine, name, "relative to a start folder that cannot be named");
    else
      UploadName(engine, run, name);
    if (ControlConnectionLost(engine)) return Lost(engine);
  }
  engine.ShowAndLog("Stored " + std::to_string(engine.FilesStored) + " of " +
                    std::to_string(engine.FilesAttempted) + " files");
  return engine.FilesStored == engine.FilesAttempted ? BatchResult::Finished
                                                     : BatchResult::NotAllStored;
}

int ExitCode(BatchResult result) {
  switch (result) {
    case BatchResult::Finished: return 0;
    case BatchResult::NotAllStored: return 3;
    case BatchResult::ConnectFailed:
    case BatchResult::ConnectionLost:
    case BatchResult::Stopped: return 2;
  }
  return 2;
}
