#include "batch/BatchUpload.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "batch/PathHelpers.h"
#include "ftp/Session.h"

void PassedOver(FtpEngine& engine, const std::string& name, const std::string& why) {
  engine.NotStored(name, why);
  ++engine.FilesAttempted;
}

namespace {
// MKD and CWD of a directory the walk goes into; true when it was entered.
bool MakeAndEnter(BatchWalk& walk, const std::string& name, bool pwdFirst) {
  FtpEngine& engine = walk.engine;
  int entered = 5;
  const bool goesOn = Recovering(walk, [&] {
    if (pwdFirst) {
      engine.SendCommand("PWD");
      engine.WriteLog("PWD");
    }
    engine.WriteLog("MakeDirectory " + name);
    engine.SendCommand("MKD %s", {name});
    entered = engine.SendCommand("CWD %s", {name});
    engine.WriteLog("ChangeDirectory " + name);
  });
  if (goesOn && entered == 2) walk.remoteDirs.push_back(name);
  return goesOn && entered == 2;
}

void UploadName(BatchWalk& walk, const std::string& path) {
  FtpEngine& engine = walk.engine;
  const BatchRun& run = walk.run;
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
    StoreRecovering(walk, path, part);
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

  const bool entered = MakeAndEnter(walk, name, run.includeSubDirs);
  if (engine.ControlGone()) return;
  // Its files would land in the current remote directory instead.
  if (!entered) return PassedOverDirectory(engine, name, run.includeSubDirs ? path : AddBackslash(path), run.includeSubDirs);
  // The tree's own CDUP brings the remote side back where it started.
  if (run.includeSubDirs) return UploadDirectory(walk, path);
  StoreFilesOf(walk, path, false);
  if (!engine.ControlGone()) walk.remoteDirs.pop_back();  // no CDUP: the run stays there
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

BatchResult StartRun(BatchWalk& walk, bool again) {
  FtpEngine& engine = walk.engine;
  const BatchRun& run = walk.run;
  if (engine.Sockets1.ConnectionSocket() != -1) engine.Sockets1.Disconnect();
  engine.Connected = false;
  // What failed on the last connection does not fail this one.
  engine.LastSocketError = 0;
  engine.ClearCancel();
  if (!OpenControlConnection(engine, run.host, run.port)) {
    // No box: nobody is there to close it, and the run must end.
    if (!again) engine.ShowAndLog("Connection to " + run.host + " failed" + Reason(engine));
    return BatchResult::ConnectFailed;
  }
  engine.Connected = true;
  ShowConnectionAddresses(engine);
  if (!again) engine.WriteLog("Connected to " + run.host + " as " + run.user);

  // A failed TLS step has closed the connection and logged why.
  const SessionStart start = StartSession(engine, run.user, run.password, run.account);
  // A certificate that changed does not change back by trying again. A
  // TLS step that failed after the login has said why: the run just stops.
  if (again && engine.Tls.CertificateRefused) return BatchResult::Stopped;
  if (start != SessionStart::Ready)
    return start == SessionStart::StoppedBeforeLogin ? BatchResult::ConnectFailed : BatchResult::Stopped;
  CheckLoginFailure(engine, run.user);  // nothing more is sent after a refused login
  if (!run.directory.empty())
    engine.SendCommand("CWD %s", {run.useLowerCase ? LowerName(run.directory) : run.directory});
  CheckInitialDirectory(engine, run.directory);
  // Files stored anywhere else could replace others of the same name.
  const auto notEntered = [&](const std::string& name) {
    engine.ShowAndLog("Could not enter the remote directory " + EscapeControls(name) +
                      (again ? " again" : ": nothing stored"));
    return BatchResult::Stopped;
  };
  if (!run.directory.empty() && !engine.ControlGone() && engine.Memo.LastReplyCode() / 100 != 2)
    return notEntered(run.directory);
  if (!run.initializeCommand.empty()) engine.SendCommand("%s", {run.initializeCommand});
  // A reconnect goes back to where the walk was.
  for (size_t i = 0; again && i < walk.remoteDirs.size() && !engine.ControlGone(); ++i)
    if (engine.SendCommand("CWD %s", {walk.remoteDirs[i]}) != 2 && !engine.ControlGone())
      return notEntered(walk.remoteDirs[i]);
  return engine.ControlGone() ? BatchResult::ConnectionLost : BatchResult::Finished;
}

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

  BatchWalk walk{engine, run, {}};
  const BatchResult started = StartRun(walk, false);
  if (started == BatchResult::ConnectionLost) return Lost(engine);
  if (started != BatchResult::Finished) return started;

  for (const std::string& name : run.names) {
    if (std::find(run.unplaced.begin(), run.unplaced.end(), name) != run.unplaced.end())
      PassedOver(engine, name, "relative to a start folder that cannot be named");
    else
      UploadName(walk, name);
    if (engine.ControlGone()) return Lost(engine);
  }
  engine.ShowAndLog("Stored " + std::to_string(engine.FilesStored) + " of " +
                    std::to_string(engine.FilesAttempted) + " files");
  return engine.FilesStored == engine.FilesAttempted ? BatchResult::Finished
                                                     : BatchResult::NotAllStored;
}

std::string RunSummary(const FtpEngine& engine, const BatchRun& run, BatchResult result) {
  const std::string on = " on " + run.host, see = ": see " + engine.Log().Path();
  const std::string stored = std::to_string(engine.FilesStored), attempted = std::to_string(engine.FilesAttempted);
  switch (result) {
    case BatchResult::Finished: return "Stored " + stored + " of " + attempted + " files" + on;
    case BatchResult::NotAllStored:
      return std::to_string(engine.FilesAttempted - engine.FilesStored) + " of " + attempted +
             " files not stored" + on + see;
    case BatchResult::ConnectFailed: return "Could not connect to " + run.host + see;
    default: return "The run" + on + " ended early, " + stored + " files stored" + see;
  }
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
