#include "batch/BatchUpload.h"

#include "batch/PathHelpers.h"
#include "ftp/Session.h"

bool ControlConnectionLost(const FtpEngine& engine) {
  return !engine.Connected || engine.ControlClosed || engine.Sockets1.ConnectionSocket() == -1;
}

namespace {
void UploadName(FtpEngine& engine, const BatchRun& run, const std::string& path) {
  if (!IsDirectory(path)) {
    if (!LocalFileExists(path)) return;  // passed over without a message
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
      engine.ShowLine("Could not enter remote directory %s, passed over", {name});
      engine.WriteLog("Passed over directory " + name);
      return;
    }
    // The tree's own CDUP brings the remote side back where it started.
    UploadDirectory(engine, run.typeCommand, path);
    return;
  }

  engine.WriteLog("MakeDirectory " + name);
  engine.SendCommand("MKD %s", {name});
  engine.SendCommand("CWD %s", {name});
  engine.WriteLog("ChangeDirectory " + name);
  const std::string dir = AddBackslash(path);
  for (const DirEntry& entry : ListDirectory(dir)) {
    if (!entry.regular || entry.hidden) continue;
    if (ControlConnectionLost(engine)) return;
    engine.WriteLog("Putfile " + entry.name);
    engine.StoreFile(run.typeCommand, dir + entry.name, entry.name);
  }
}
}  // namespace

BatchResult BatchUpload(FtpEngine& engine, const BatchRun& run) {
  engine.Memo.Clear();
  engine.UseLowerCase = run.useLowerCase;
  engine.Passive = run.passive;
  engine.Tls = TlsSettings{};
  engine.Tls.Security = run.security;
  engine.Tls.TrustedCertificate = run.trustedCertificate;
  engine.Tls.Unattended = true;

  if (!OpenControlConnection(engine, run.host, run.port)) {
    engine.WriteLog("Connection to " + run.host + " failed");
    engine.UI().ShowMessageBox("Connection to " + run.host + " failed", "Tarnex", BoxIcon::None,
                               BoxOK);
    return BatchResult::ConnectFailed;
  }
  engine.Connected = true;
  ShowConnectionAddresses(engine);
  engine.WriteLog("Connected to " + run.host + " as " + run.user);

  // A failed TLS step has closed the connection and logged why.
  if (!TlsBeforeGreeting(engine)) return BatchResult::ConnectFailed;
  ReadGreeting(engine);
  if (!TlsAfterGreeting(engine)) return BatchResult::ConnectFailed;
  Login(engine, run.user, run.password, run.account);
  if (!TlsAfterLogin(engine)) return BatchResult::ConnectionLost;
  if (!run.directory.empty())
    engine.SendCommand("CWD %s", {run.useLowerCase ? LowerName(run.directory) : run.directory});
  CheckInitialDirectory(engine, run.directory);
  if (!run.initializeCommand.empty()) engine.SendCommand("%s", {run.initializeCommand});
  CheckLoginFailure(engine, run.user);

  if (ControlConnectionLost(engine)) {
    engine.WriteLog("Connection Failed");
    return BatchResult::ConnectionLost;
  }
  for (const std::string& name : run.names) {
    UploadName(engine, run, name);
    if (ControlConnectionLost(engine)) {
      engine.WriteLog("Connection Failed");
      return BatchResult::ConnectionLost;
    }
  }
  return BatchResult::Finished;
}
