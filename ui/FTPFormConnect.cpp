// File menu: Setup, Connect, Disconnect, Exit.
#include "ftp/Session.h"
#include "ui/FTPForm.h"
#include "ui/LoginDLG.h"
#include "settings/Profiles.h"

#include <exception>

#include <QCheckBox>
#include <QLineEdit>
#include <QScopeGuard>

void TFTPForm::Setup1Click() {
  TLoginDLG dialog(this, *this, IniPath(), CurrentTransferType, ActiveProfile);
  // Passive mode, like the boxes Connect uses, applies from the next transfer.
  if (dialog.exec() == QDialog::Accepted) engine_->Passive = dialog.CheckBox7->isChecked();
}

void TFTPForm::ConnectMNUClick() {
  FtpEngine& e = *engine_;
  if (e.Connected) {
    e.ShowLine("Already connected to remote host: %s", {e.Sockets1.IPAddr});
    return;
  }
  // The Setup dialog and the wait for the connection let the menus run: a
  // second Connect would replace the socket the first one waits on.
  if (connecting_) {
    e.ShowLine("Connect already in progress, request ignored");
    return;
  }
  connecting_ = true;
  const auto done = qScopeGuard([this] { connecting_ = false; });
  e.Memo.Clear();
  // A time-out or a cancel left from an earlier attempt must not fail this one.
  e.LastSocketError = 0;
  e.ClearCancel();

  TLoginDLG dialog(this, *this, IniPath(), CurrentTransferType, ActiveProfile);
  if (dialog.exec() != QDialog::Accepted) return;

  const std::string host = TLoginDLG::Text(dialog.HostName);
  e.Passive = dialog.CheckBox7->isChecked();
  const ConnectionProfile chosen = dialog.BoxesProfile();
  e.Tls = TlsSettings{};
  e.Tls.Security = chosen.Security;
  e.Tls.TrustedCertificate = chosen.TrustedCertificate;
  e.Tls.OnTrusted = [this, name = chosen.Name](const std::string& fingerprint) {
    if (ActiveProfile.Name == name) ActiveProfile.TrustedCertificate = fingerprint;
    if (name.empty()) return;
    try {
      SaveTrustedCertificate(IniPath(), name, fingerprint);
    } catch (const std::exception& error) {
      // The connection goes on; the certificate is asked for again next time.
      ShowMessageBox(error.what(), "Tarnex", BoxIcon::Critical, BoxOK);
    }
  };
  if (!OpenControlConnection(e, host, ActiveProfile.Port)) {
    e.ShowLine("Connection to %s failed", {host});
    e.WriteLog("Connected to " + host + " Failed");
    return;
  }
  e.Connected = true;
  ShowConnectionAddresses(e);
  e.WriteLog("Connected to " + e.Sockets1.IPAddr);
  e.ShowLine("Connected to %s", {e.Sockets1.IPAddr});

  // A failed TLS step has closed the connection and said why.
  if (StartSession(e, TLoginDLG::Text(dialog.UserName), TLoginDLG::Text(dialog.Password),
                   TLoginDLG::Text(dialog.Account)) != SessionStart::Ready)
    return EnableDisableMenus();
  const std::string directory = TLoginDLG::Text(dialog.Directory);
  if (!directory.empty()) e.SendCommand("CWD %s", {directory});
  CheckInitialDirectory(e, ActiveProfile.Directory);
  // Not in the profile's directory: the server's own reply says where the session is.
  if (!directory.empty() && e.Connected && e.Memo.LastReplyCode() / 100 != 2) e.SendCommand("PWD");
  EnableDisableMenus();
}

void TFTPForm::QuitMNUClick() {
  FtpEngine& e = *engine_;
  e.SendCommand("QUIT");
  e.WriteLog("QUIT");
  if (e.Sockets1.ConnectionSocket() != -1) e.Sockets1.Disconnect();
  e.Connected = false;
  EnableDisableMenus();
}

void TFTPForm::ExitMNUClick() {
  FtpEngine& e = *engine_;
  if (e.Connected) {
    e.WriteLog("Disconnecting from remote host: " + e.Sockets1.IPAddr);
    e.ShowLine("Disconnecting from remote host: %s", {e.Sockets1.IPAddr});
    QuitMNUClick();
  }
  close();
}
