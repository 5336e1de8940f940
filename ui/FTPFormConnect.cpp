// File menu: Setup, Connect, Disconnect, Exit.
#include "ftp/Session.h"
#include "ui/FTPForm.h"
#include "ui/LoginDLG.h"
#include "ui/Text.h"

#include <QCheckBox>
#include <QLineEdit>

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
  e.Memo.Clear();
  e.LastSocketError = 0;

  TLoginDLG dialog(this, *this, IniPath(), CurrentTransferType, ActiveProfile);
  if (dialog.exec() != QDialog::Accepted) return;

  const std::string host = FromQ(dialog.HostName->text());
  e.Passive = dialog.CheckBox7->isChecked();
  if (!OpenControlConnection(e, host, ActiveProfile.Port)) {
    e.ShowLine("Connection to %s failed", {host});
    e.WriteLog("Connected to " + host + " Failed");
    return;
  }
  e.Connected = true;
  ShowConnectionAddresses(e);
  e.WriteLog("Connected to " + e.Sockets1.IPAddr);
  e.ShowLine("Connected to %s", {e.Sockets1.IPAddr});

  ReadGreeting(e);
  Login(e, FromQ(dialog.UserName->text()), FromQ(dialog.Password->text()),
        FromQ(dialog.Account->text()));
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
