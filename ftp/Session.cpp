#include "ftp/Session.h"

#include <exception>

#include "ftp/Tls.h"

std::string LowerName(const std::string& text) {
  std::string lower = text;
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

bool OpenControlConnection(FtpEngine& engine, const std::string& host, const std::string& port) {
  TSockets& control = engine.Sockets1;
  control.Port = port;
  control.IPAddr = host;
  control.SetNonBlocking(false);
  engine.ResetControl();
  try {
    BusyCursor busy(engine);
    control.SConnect();
  } catch (const std::exception& error) {
    // A port that is no number: the window's guard shows it; an unattended
    // run gives it as the reason of its closing line.
    if (!engine.Unattended) throw;
    engine.LoseControl(FtpEngine::ControlState::Failed, error.what());
  }
  if (engine.AbortFlag || engine.LastSocketError != 0 || control.ConnectionSocket() == -1) {
    // A failed connect leaves its socket behind; it is of no further use.
    if (control.ConnectionSocket() != -1) control.Disconnect();
    return false;
  }
  return true;
}

void ShowConnectionAddresses(FtpEngine& engine) {
  TSockets& control = engine.Sockets1;
  int socket = control.ConnectionSocket();
  engine.ShowLine("Local port: %s IP: %s connected to rmt port: %s IP: %s",
                  {control.GetLocalPort(socket), control.GetLocalIPAddr(socket),
                   control.GetPeerPort(socket), control.GetPeerIPAddr(socket)});
}

void ReadGreeting(FtpEngine& engine) {
  // Preliminary lines without end cannot hold the start for ever.
  TSockets& control = engine.Sockets1;
  const TSockets::Deadline bound(control, control.Timeout > 0 ? control.Timeout * 1000LL : -1);
  while (engine.ReadReply() == 1 && !engine.AbortFlag) {
  }
}

void Login(FtpEngine& engine, const std::string& user, const std::string& password,
           const std::string& account) {
  int result = engine.SendCommand("USER %s", {user});
  if (result != 3 || password.empty()) return;
  result = engine.SendCommand("PASS %s", {password});
  if (result == 3 && !account.empty()) engine.SendCommand("ACCT %s", {account});
}

SessionStart StartSession(FtpEngine& engine, const std::string& user, const std::string& password,
                          const std::string& account) {
  const FtpEngine::OneBoxScope oneBox(engine);
  if (!TlsBeforeGreeting(engine)) return SessionStart::StoppedBeforeLogin;
  engine.LastReply.clear();  // so a greeting that never came is told
  ReadGreeting(engine);
  if (!TlsAfterGreeting(engine)) return SessionStart::StoppedBeforeLogin;
  Login(engine, user, password, account);
  return TlsAfterLogin(engine) ? SessionStart::Ready : SessionStart::StoppedAfterLogin;
}

void CheckInitialDirectory(FtpEngine& engine, const std::string& remoteDirectory) {
  if (engine.Memo.LastReplyCode() != 550) return;
  engine.WriteLog("error Changing Directory");
  // Nobody answers for an unattended run: the directory is made.
  if (!engine.Unattended &&
      engine.UI().ShowMessageBox("Directory: " + remoteDirectory + " Doesn't Exists, Create?",
                                 "Warning", BoxIcon::Warning, BoxYes | BoxNo) != BoxAnswer::Yes)
    return;
  std::string name = engine.UseLowerCase ? LowerName(remoteDirectory) : remoteDirectory;
  engine.SendCommand("MKD %s", {name});
  engine.WriteLog("Make Directory " + name);
  engine.SendCommand("CWD %s", {name});
  engine.WriteLog("Change Directory " + name);
}

void CheckLoginFailure(FtpEngine& engine, const std::string& user) {
  if (engine.Memo.LastReplyCode() != 530) return;
  std::string text = "Error loggin in as " + user + " access denied or password incorrect";
  engine.WriteLog(text);
  // Nobody watches an unattended run: it ends at once.
  if (!engine.Unattended) engine.UI().ShowMessageBox(text, "Warning", BoxIcon::Warning, BoxOK);
  engine.UI().EndProgram(1);
}
