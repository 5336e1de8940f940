// Commands and replies on the control connection.
#include "ftp/FtpEngine.h"
#include "net/SocketErrors.h"

namespace {
// A reply line longer than this without a line end is taken as complete, so
// a server that never sends LF cannot make the line grow without bound.
constexpr size_t kMaxReplyLine = Transcript::kMaxLine;

bool HoldsLineBreak(FormatArgs args) {
  for (const FormatArg& a : args)
    if (const auto* s = std::get_if<std::string>(&a.value))
      if (s->find_first_of(std::string("\r\n\0", 3)) != std::string::npos) return true;
  return false;
}
}  // namespace

int FtpEngine::SendCommand(const std::string& format, FormatArgs args) {
  // After the control connection failed, an unattended run sends nothing
  // more: each command would only wait for its own time-out.
  if (Unattended && ControlGone()) return 5;
  if (CommandBusy) {
    ShowLine("Command already in progress, request ignored");
    return -1;
  }
  // A command chosen while a transfer waits (for its data, its pause, its
  // close) cannot go out now: the control connection's one call is busy.
  if (transferRunning_ && (TSockets::WSAIsBlocking() || Sleeper1.Sleeping())) {
    ShowLine("Transfer already in progress, request ignored");
    return -1;
  }
  // An argument with CR, LF or NUL would put a second command on the wire.
  if (HoldsLineBreak(args)) {
    ShowLine("Command not sent: its text holds a line break or a NUL character");
    return 5;
  }
  struct BusyScope {
    FtpEngine& e;
    explicit BusyScope(FtpEngine& engine) : e(engine) {
      e.CommandBusy = true;
      e.LastSocketError = 0;
      e.SetBusyCursor();
    }
    ~BusyScope() {
      e.SetNormalCursor();
      e.CommandBusy = false;
    }
  } busy(*this);
  return SendCommandLine(Format(format, args));
}

int FtpEngine::SendCommandLine(const std::string& line) {
  if (Connected && Sockets1.ConnectionSocket() != -1) ReadStaleReplies();
  if (line.compare(0, 5, "PASS ") == 0)
    ShowText("PASS xxxxxx\r\n");
  else
    ShowText(line + "\r\n");
  if (Sockets1.ConnectionSocket() == -1 || !Connected) {
    ShowText("Not Connected\r\n");
    return 5;
  }
  Sockets1.SetText(line + "\r\n");
  if (TakeAbort() || LastSocketError != 0) return 5;
  const int result = ReadReply();
  if (line.compare(0, 5, "TYPE ") == 0) TypeInForce = result == 2 ? line : "";
  return result;
}

int FtpEngine::ReadReply() {
  // A reply that failed ends here: the line it left unfinished is shown
  // now, not glued to the start of the next reply.
  const auto failed = [this] {
    if (!replyLine_.empty()) ShowLine("%s", {replyLine_});
    replyLine_.clear();
    return 5;
  };
  ReplyText.clear();
  std::string opened;  // the code of a multi-line reply under way
  // The whole reply, not each read of it, must come within the time-out: a
  // server that sends a byte now and then cannot hold a command for ever.
  const TSockets::Deadline bound(Sockets1, Sockets1.Timeout > 0 ? Sockets1.Timeout * 1000LL : -1);
  for (;;) {
    if (Sockets1.DeadlinePassed()) {
      // Lines that come without pause never make a read wait for its timer.
      Sockets1ErrorOccurred(&Sockets1, Sockets1.ConnectionSocket(), wsa::ETIMEDOUT_,
                            "Blocking call timed out");
      TakeAbort();
      return failed();
    }
    // Wait for data; a peek that finds the connection closed ends the read.
    std::string peeked;
    int available = Sockets1.PeekRaw(peeked);
    if (TakeAbort() || LastSocketError != 0) return failed();
    if (available <= 0) {
      // The server closed the connection, or it failed.
      ConnectionLost(ControlState::Closed, "closed by the server");
      return failed();
    }

    size_t lf = peeked.find('\n');
    size_t take = lf == std::string::npos ? peeked.size() : lf + 1;
    char buffer[256];
    if (take > 255) take = 255;
    int got = Sockets1.SReceive(Sockets1.ConnectionSocket(), buffer, static_cast<int>(take));
    if (TakeAbort() || LastSocketError != 0) return failed();
    if (got <= 0) return failed();
    // A line without its LF yet is kept and the read waits for the rest.
    replyLine_.append(buffer, static_cast<size_t>(got));
    if (lf == std::string::npos && replyLine_.size() < kMaxReplyLine) continue;

    std::string line;
    line.swap(replyLine_);
    LastReply = line;
    ReplyText += line;
    ShowText(line);
    // A multi-line reply ends only at a line of its own code without the
    // '-': a line such as "250 bytes kept" inside it is text.
    if (!opened.empty()) {
      if (line.compare(0, 3, opened) == 0 && (line.size() < 4 || line[3] != '-')) return line[0] - '0';
      continue;
    }
    if (line.size() >= 4 && line[3] == '-') {
      opened = line.substr(0, 3);
      continue;
    }
    if (line[0] >= '1' && line[0] <= '5') return line[0] - '0';
  }
}

// Reply lines can arrive while no command waits for them: the 226 that
// follows the 426 of an aborted store, a late 426 after ABOR, the final reply
// of a transfer whose data connection failed. Taken for the reply of the next
// command they would put every later reply one behind. So before a command
// is sent, the complete lines already waiting are read and shown; a line
// still on its way is left for the command's own read.
void FtpEngine::ReadStaleReplies() {
  for (;;) {
    if (Sockets1.BytesWaiting() <= 0) return;
    const int socket = Sockets1.ConnectionSocket();
    std::string peeked;
    if (Sockets1.PeekRaw(peeked) <= 0) return;
    const size_t lf = peeked.find('\n');
    if (lf == std::string::npos || lf >= 255) return;
    char buffer[256];
    int got = Sockets1.SReceive(socket, buffer, static_cast<int>(lf + 1));
    if (got <= 0) return;
    std::string line;
    line.swap(replyLine_);
    line.append(buffer, static_cast<size_t>(got));
    LastReply = line;
    ShowText(line);
  }
}

// The control connection is gone: nothing more is sent into it, and the
// user is told once. The socket itself stays until the user disconnects.
void FtpEngine::LoseControl(ControlState why, const std::string& reason) {
  if (ControlGone()) return;
  Control = why;
  ControlError = reason;
}

void FtpEngine::ResetControl() {
  Control = ControlState::Open;
  ControlError.clear();
  ServerHasSize = -1;  // a new server, asked anew
  ServerHasRestStream = false;
  TypeInForce.clear();
  replyLine_.clear();  // a line cut on the last connection
}

void FtpEngine::ConnectionLost(ControlState why, const std::string& reason) {
  LoseControl(why, reason);
  EndSession("Connection to " + Sockets1.IPAddr + " lost");
}

void FtpEngine::EndSession(const std::string& line) {
  if (!Connected) return;
  Connected = false;
  if (!Unattended) ShowLine("%s", {line});
  ui_.ConnectionChanged();
}

void FtpEngine::CloseControl(const std::string& line) {
  if (Sockets1.ConnectionSocket() != -1) Sockets1.Disconnect();
  EndSession(line);
}

bool FtpEngine::TakeAbort() {
  if (!AbortFlag) return false;
  AbortFlag = false;
  return true;
}
