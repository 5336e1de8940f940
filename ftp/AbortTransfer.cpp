// Cancel of a running transfer (or its time-out): the data phase ends first,
// then the server is told and its replies are read under one deadline.
#include <algorithm>

#include <QScopedValueRollback>
#include <QTimer>

#include "ftp/FtpEngine.h"
#include "net/SocketErrors.h"

namespace {
// Once one reply to the ABOR has come, how long a second one is awaited.
// Servers send the pair back to back; one that sends a single reply is not
// held for the whole deadline.
constexpr int kSecondReplyMs = 1000;
}  // namespace

void FtpEngine::AbortTransfer() {
  // A server blocked writing into the data connection (or waiting for more
  // of a store) reads nothing on the control connection until that
  // connection is gone. It is reset, never ended in order, so a server
  // taking a store sees it cut rather than complete.
  CloseDataConnection(true);
  if (!Connected || ControlGone() || Sockets1.ConnectionSocket() == -1) return;

  // The commands of the menu wait until the replies are read.
  const QScopedValueRollback<bool> busy(CommandBusy, true);

  // The user asked for this stop: a wait it ends, or one more click on
  // Cancel Transfer, is no error to show. A broken connection still ends
  // the session, with one line.
  bool expired = false;
  int failure = 0;
  const QScopedValueRollback<TSockets::ErrorEvent> quiet(
      Sockets1.OnErrorOccurred, [&](TSockets*, int, int error, const std::string&) {
        LastSocketError = error;
        if (error != wsa::EINTR_ && failure == 0) failure = error;
      });
  // The deadline below bounds the whole exchange.
  const QScopedValueRollback<int> noTimeout(Sockets1.Timeout, 0);
  QTimer deadline;
  deadline.setSingleShot(true);
  QObject::connect(&deadline, &QTimer::timeout, [&expired] {
    expired = true;
    if (TSockets::WSAIsBlocking()) TSockets::WSACancelBlockingCall();
  });
  deadline.start(AbortDeadlineMs);

  // With the data connection gone every server reads the control
  // connection again, so ABOR goes as an ordinary line. Telnet's interrupt
  // and Synch in front of it are not sent: some servers drop a line that
  // begins with Telnet bytes and never answer it, and urgent data cuts the
  // line in two for others.
  Sockets1.SetText("ABOR\r\n");

  // 426 (or another refusal) for the transfer and then 226 or 225 for the
  // ABOR, or a single reply. What comes after the wait is shown before the
  // next command.
  int replies = 0;
  while (replies < 2) {
    AbortFlag = false;
    LastSocketError = 0;
    const int result = ReadReply();
    if (expired || failure != 0 || ControlGone()) break;
    if (LastSocketError != 0 || result == 1) continue;  // a second cancel, or a 1xx
    if (++replies == 1) deadline.start(std::min(deadline.remainingTime(), kSecondReplyMs));
  }
  deadline.stop();
  AbortFlag = false;
  cancelRequested_ = false;
  LastSocketError = 0;
  // The server closed (the lost-connection path has run), or answered.
  if (ControlGone() || (failure == 0 && replies > 0)) return;
  // A broken connection, or no reply at all: whatever the server sends from
  // now on could be taken for the reply of the next command, so the session
  // ends rather than run out of step.
  LoseControl(failure != 0 ? ControlState::Failed : ControlState::Dropped,
              failure != 0 ? "Error " + std::to_string(failure) + " " + GetErrorText(failure)
                           : "no reply to ABOR");
  CloseControl(failure != 0 ? "Connection to " + Sockets1.IPAddr + " lost: " + ControlError
                            : "No reply to ABOR within " + std::to_string(AbortDeadlineMs / 1000) +
                                  " seconds: connection to " + Sockets1.IPAddr + " closed");
}
