#include "ftp/FtpEngine.h"

#include <algorithm>
#include <climits>
#include <exception>

FtpEngine::FtpEngine(EngineUI& ui, const std::string& programDir)
    : Sockets1(ui),
      Sockets2(ui),
      Memo([&ui](const std::string& line) { return ui.AppendTranscriptLine(line); },
           [&ui] { ui.ClearTranscript(); }),
      ui_(ui),
      log_(programDir + "TARNEX.LOG") {
  Sockets1.SetNonBlocking(false);
  Sockets2.SetNonBlocking(false);
  Sockets1.MaximumReceiveLength = 255;
  Sockets2.MaximumReceiveLength = 255;
  auto handler = [this](TSockets* sender, int socket, int error, const std::string& msg) {
    Sockets1ErrorOccurred(sender, socket, error, msg);
  };
  Sockets1.OnErrorOccurred = handler;
  Sockets2.OnErrorOccurred = handler;
  // Nobody answers a box in an unattended run: the refusal becomes the
  // reason its closing line gives.
  Sockets1.OnRefused = [this](const std::string& text) {
    if (Unattended) LoseControl(ControlState::Failed, text);
    return Unattended;
  };
  Sleeper1.SetInterval(1000);
}

FtpEngine::~FtpEngine() = default;

BusyCursor::BusyCursor(FtpEngine& engine) : engine_(engine) { engine_.SetBusyCursor(); }
BusyCursor::~BusyCursor() { engine_.SetNormalCursor(); }

void FtpEngine::SetBusyCursor() { ui_.SetBusyCursor(); }
void FtpEngine::SetNormalCursor() { ui_.SetNormalCursor(); }

void FtpEngine::ShowLine(const std::string& format, FormatArgs args) {
  ShowText(Format(format, args) + "\r\n");
}

void FtpEngine::WriteLog(const std::string& text) {
  if (!LogEnabled) return;
  log_.Write(text);
}

void FtpEngine::ShowAndLog(const std::string& line) {
  ShowLine("%s", {line});
  WriteLog(line);
}

namespace {
// Errors that say the connection itself is gone.
bool EndsConnection(int error) {
  return error == 10053 || error == 10054 || error == 10057 || error == 10058;
}
}  // namespace

void FtpEngine::Sockets1ErrorOccurred(TSockets* sender, int, int error, const std::string& msg) {
  LastSocketError = error;
  const std::string reason = "Error " + std::to_string(error) + " " + msg.substr(0, 255);
  if (Unattended && sender == &Sockets1) {
    // Nobody is there to click a box or wait for a slow server: the run
    // sends nothing more, reports the loss once, in its closing line, and
    // ends. The first failure is the cause; a cancelled call's report
    // follows it.
    LoseControl(error == 10060 ? ControlState::TimedOut : ControlState::Failed, reason);
    if (error == 10060) AbortFlag = true;
    LastSocketError = error == 10060 ? 0 : error;
    if (EndsConnection(error)) ConnectionLost(ControlState::Failed, reason);
    return;
  }
  if (error == 10060) {
    // The component's own time-out: a quiet cancel request.
    AbortFlag = true;
    LastSocketError = 0;
    return;
  }
  if (error == 10004 && cancelRequested_) {
    // The call that Cancel Transfer interrupted: the request itself is the
    // message, the transfer ends through its abort path.
    cancelRequested_ = false;
    LastSocketError = 0;
    return;
  }
  std::string text = "Error: " + std::to_string(error) + "\r\n" + msg.substr(0, 255);
  if (Unattended || (oneBox_ && boxShown_))
    ShowLine("%s", {text});
  else
    ui_.ShowMessageBox(text, "Error", BoxIcon::Exclamation, BoxOK);
  boxShown_ = oneBox_;
  try {
    WriteLog(text + " Error");
  } catch (const std::exception& e) {
    // This runs inside a socket call; an exception must not unwind through
    // it, so a log that cannot be written is shown here instead.
    ui_.ShowMessageBox(e.what(), "Error", BoxIcon::Exclamation, BoxOK);
  }
  if (sender == &Sockets1 && EndsConnection(error)) ConnectionLost(ControlState::Failed, reason);
}

void FtpEngine::ShowProgress(int64_t done, int64_t size) {
  if (size <= 0) return;  // no size given, or an empty file: no progress
  // Fast mode shows the figure about 20 times a second, and the last one.
  if (FastTransfers && done < size && progressShown_.isValid() && progressShown_.elapsed() < 50) return;
  progressShown_.start();
  if (!ui_.ProgressVisible()) ui_.ShowProgressDialog();
  int old = ui_.ProgressPosition();
  // More bytes than announced give more than 100; the value is kept within
  // what an int holds before it is converted.
  double exact = 100.0 * static_cast<double>(done) / static_cast<double>(size);
  int percent = done <= 0 ? 0 : static_cast<int>(std::min(exact, static_cast<double>(INT_MAX)));
  ui_.SetProgress(percent, std::to_string(percent) + "% Complete");
  if (percent != old) ui_.RepaintProgress();
}

void FtpEngine::HideProgress() {
  progressShown_.invalidate();
  ui_.HideProgress();
}

int FtpEngine::SendTypeCommand(const std::string& typeCommand) {
  if (FastTransfers && Unattended && !typeCommand.empty() && typeCommand == TypeInForce) return 2;
  return SendCommand(typeCommand);
}

void FtpEngine::CancelTransfer() {
  AbortFlag = true;
  WriteLog("Something Aborted");
  // A step that waits (a reply, the data connection, the store's close) is
  // ended at once, as its time-out would end it.
  if (TSockets::WSAIsBlocking()) {
    cancelRequested_ = true;
    TSockets::WSACancelBlockingCall();
  }
}

void FtpEngine::ClearCancel() {
  AbortFlag = false;
  cancelRequested_ = false;
}

bool FtpEngine::RefuseTransfer() {
  if (CommandBusy) {
    ShowLine("Command already in progress, request ignored");
    return true;
  }
  if (transferRunning_) {
    ShowLine("Transfer already in progress, request ignored");
    return true;
  }
  return false;
}

void FtpEngine::NotStored(const std::string& name, const std::string& why) {
  LastStoreOK = false;
  ShowAndLog("Not stored " + EscapeControls(name) + ": " + why);
}
