// File menu: Setup, Connect, Disconnect, Exit.
#include "ftp/Session.h"
#include "ui/FTPForm.h"
#include "ui/LoginDLG.h"
#include "ui/Text.h"
#include "settings/Profiles.h"

#include <exception>

#include <QLineEdit>

void TFTPForm::Setup1Click() {
  TLoginDLG dialog(this, *this, IniPath(), CurrentTransferType, ActiveProfile);
  dialog.exec();
}

void TFTPForm::ConnectMNUClick() {
  FtpEngine& e = *engine_;
  if (e.Connected) {
    e.ShowLine("Already connected to remote host: %s", {e.Sockets1.IPAddr});
    return;
  }
  e.Memo.Clear();
  e.LastSocketError = 0;

  TLoginDLG dialog(this, *this, IniPath(), CurrentTransferType, ActiveProfile);
  if (dialog.exec() != QDialog::Accepted) return;

  const std::string host = FromQ(dialog.HostName->text());
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
  if (!TlsBeforeGreeting(e)) return EnableDisableMenus();
  ReadGreeting(e);
  if (!TlsAfterGreeting(e)) return EnableDisableMenus();
  Login(e, FromQ(dialog.UserName->text()), FromQ(dialog.Password->text()),
        FromQ(dialog.Account->text()));
  if (!TlsAfterLogin(e)) return EnableDisableMenus();
  const std::string directory = FromQ(dialog.Directory->text());
  if (!directory.empty()) e.SendCommand("CWD %s", {directory});
  CheckInitialDirectory(e, ActiveProfile.Directory);
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
