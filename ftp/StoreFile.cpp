// Storing a local file on the server, with the repeat after a 426 reply.
#include <cerrno>
#include <stdexcept>
#include <vector>

#include "ftp/FtpEngine.h"
#include "ftp/LineEnds.h"
#include "ftp/LocalFile.h"
#include "ftp/Session.h"

void FtpEngine::StoreFile(const std::string& typeCommand, const std::string& localName,
                          const std::string& remoteName, int64_t from) {
  if (RefuseTransfer()) return;
  TransferScope running(*this);
  ClearCancel();
  storeRetries_ = 0;
  LastStoreBroken = false;
  StoreOnce(typeCommand, localName, remoteName, from);
  if (!LastStoreOK && ControlGone()) LastStoreBroken = true;
  ++FilesAttempted;
  if (LastStoreOK) ++FilesStored;
}

// The way out after Cancel Transfer (or a time-out) during the data phase.
void FtpEngine::StoreAborted() {
  AbortTransfer();
  SetNormalCursor();
  WriteLog("Transfer aborted due to you're request");
  ShowLine("%sTransfer aborted due to you're request", {"\r\n"});
}

void FtpEngine::StoreOnce(const std::string& typeCommand, const std::string& localName,
                          const std::string& remoteNameIn, int64_t from) {
  LastStoreOK = false;
  // A name with CR, LF or NUL cannot go into a STOR line: nothing is started.
  if (remoteNameIn.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
    NotStored(remoteNameIn, "its name holds a line break");
    return;
  }
  LocalFile file;
  if (!file.OpenForReading(localName)) {
    const bool tooLong = errno == ENAMETOOLONG;
    WriteLog("Could not open local file,open error");
    if (!Unattended)
      ui_.ShowMessageBox("Could not open local file", "open error", BoxIcon::Exclamation, BoxOK);
    NotStored(localName, tooLong ? "path too long" : "cannot read the local file");
    return;
  }
  const std::string remoteName = UseLowerCase ? LowerName(remoteNameIn) : remoteNameIn;
  const int64_t size = file.Size();
  statusText_.clear();  // others may have changed the status line meanwhile

  ShowLine("Transferring local file: %s to remote file: %s", {localName, remoteName});
  const auto couldNot = [&] {
    if (Unattended && ControlGone()) return;  // the run ends with its own line
    ShowLine("Could not store file");
    WriteLog("Could not store file " + remoteName);
  };
  // A command that got no reply at all (its box has said why) ends the
  // store: the server would not answer the next ones either.
  if (SendTypeCommand(typeCommand) == 5 && LastSocketError != 0 && !Unattended) return couldNot();
  if (Unattended && ControlGone()) return;  // the run ends with its own line
  if (!TlsBeforeData(*this)) {
    NotStored(remoteName, "its data would not be protected");
    return;
  }
  Sockets2.SetNonBlocking(false);
  Sockets2.Timeout = StoreTimeout;
  // A passive data connection that could not be opened ends the store
  // before STOR: the transcript has said why.
  if (SendPort() != 2 && (passiveData_ || LastSocketError != 0)) return couldNot();
  // REST goes right before the STOR it is for.
  if (from > 0 && (!file.SkipTo(from) || SendCommand("REST %s", {std::to_string(from)}) != 3)) {
    CloseDataConnection();
    NotStored(remoteName, "the server does not go on from byte " + std::to_string(from));
    return;
  }
  const int stored = SendCommand("STOR %s", {remoteName});

  // The data connection is closed on every way out, the normal one included.
  DataScope data{*this};

  // A refused STOR (or one that could not be sent) brings no data
  // connection: waiting for one would only end at the time-out, with an
  // error box that halts an unattended run. Its reply has said why.
  if (stored == 4 || stored == 5 || stored == -1) return couldNot();

  // Without a data connection (or with one whose TLS failed) nothing reached
  // the server, whatever its reply says.
  bool sendFailed = AcceptDataConnection() == -1;

  int64_t total = 0;
  long count;
  {
    BusyCursor busy(*this);
    const std::string sending = "Sending file: " + remoteName;
    const std::string retrying = "Retrying to Send file: " + remoteName;
    std::vector<char> buffer(StoreBlock());
    char* const block = buffer.data();
    count = file.Read(block, buffer.size());
    // A text file goes with CR LF line ends; the total counts the bytes
    // sent, the progress the bytes of the file they carry.
    LineEndsToWire toWire;
    int64_t carried = from;
    while (count > 0) {
      std::string_view wire(block, static_cast<size_t>(count));
      if (typeCommand == "TYPE A") wire = toWire.Convert(block, static_cast<size_t>(count));
      int length = static_cast<int>(wire.size());
      int sent = Sockets2.SSend(Sockets2.ConnectionSocket(), wire.data(), length);
      if (sent > 0) {
        total += sent;
        carried += count;
      }
      // The status text is built once, not per block.
      const std::string* status = &sending;
      if (RetryFlag) {
        status = &retrying;
        RetryFlag = false;
      }
      if (*status != statusText_) {
        statusText_ = *status;
        ui_.SetStatusText(*status);
      }
      ShowProgress(carried, size);
      if (sent <= 0 && !AbortFlag) {
        // The data connection has failed and said so once: the rest of the
        // file is not sent into it, the transfer ends the normal way, and
        // the final reply is still read.
        sendFailed = true;
        LastSocketError = 0;
        break;
      }
      count = file.Read(block, buffer.size());
      if (TakeAbort()) {
        file.Close();
        StoreAborted();
        return;
      }
    }
    if (count < 0) {
      WriteLog("File Error, File transfer may be incomplete");
      ShowLine("File Error, File transfer may be incomplete");
    }
    // Fast mode has no pause: the close below proves the data taken.
    if (!FastTransfers) Sleeper1.SleepFor(350);
    // Every byte sent must reach the server before the close, so the sending
    // side is shut down first and the server's close awaited (within the
    // store's time-out). A connection that failed is only closed.
    if (!sendFailed && !AbortFlag && Sockets2.ConnectionSocket() != -1)
      Sockets2.FinishSending();
    file.Close();
    // A cancel (or time-out) during the pause or the close ends the store
    // like one during the data phase.
    if (TakeAbort()) {
      StoreAborted();
      return;
    }
    CloseDataConnection();
  }

  WriteLog("Total bytes written to remote host :" + std::to_string(total));
  ShowLine("Total bytes written to remote host: %s", {std::to_string(total)});
  ReadReply();
  HideProgress();
  // A 426 that will be repeated is judged by the repeat.
  const int finalCode = Memo.LastReplyCode();
  const bool repeated = finalCode == 426 && storeRetries_ < MaxStoreRetries;
  CheckStoreRetry(typeCommand, localName, remoteName);
  if (repeated) return;
  LastStoreBroken = sendFailed;
  if (count < 0)
    NotStored(remoteName, "cannot read the local file");
  else if (sendFailed && !ResumesBrokenStores)
    NotStored(remoteName, "incomplete, the data connection failed");
  else if (!sendFailed)
    VerifyStore(typeCommand, remoteName, file.BytesRead(), finalCode);
  // A STOR answered at once with a final reply was never started by the
  // server: whatever reply came after the data belongs to something else.
  if (LastStoreOK && stored != 1) NotStored(remoteName, "the server did not start the transfer");
}

bool FtpEngine::ServerOffersSize() {
  if (ServerHasSize < 0) {
    ServerHasSize = 0;
    if (SendCommand("FEAT") == 2) {
      // The features come one a line, each after a blank: " SIZE".
      size_t start = 0;
      while (start < ReplyText.size()) {
        size_t end = ReplyText.find('\n', start);
        if (end == std::string::npos) end = ReplyText.size();
        std::string line = ReplyText.substr(start, end - start);
        start = end + 1;
        const size_t at = line.find_first_not_of(' ');
        if (line.empty() || line[0] != ' ' || at == std::string::npos) continue;  // not a feature, or blanks only
        std::string word = LowerName(line.substr(at));
        if (word.compare(0, 11, "rest stream") == 0) ServerHasRestStream = true;
        word = word.substr(0, word.find_first_of(" \r"));
        if (word == "size") ServerHasSize = 1;
      }
    }
  }
  return ServerHasSize == 1;
}

void FtpEngine::VerifyStore(const std::string& typeCommand, const std::string& remoteName,
                            int64_t bytesRead, int code) {
  if (ControlGone()) {
    if (!Unattended) NotStored(remoteName, "no final reply, the connection was lost");
    return;
  }
  if (code < 200 || code > 299) {
    NotStored(remoteName, "refused");
    return;
  }
  // Text transfers may change line ends on the way, so only the reply counts.
  if (typeCommand != "TYPE I" || !VerifyUploads || !ServerOffersSize()) {
    LastStoreOK = true;
    return;
  }
  const int64_t has = RemoteSize(remoteName);
  if (has < 0) {
    NotStored(remoteName, "not verified, the server gives no size");
    return;
  }
  if (has != bytesRead) {
    NotStored(remoteName, "incomplete, the server has " + std::to_string(has) + " of " +
                              std::to_string(bytesRead) + " bytes");
    return;
  }
  LastStoreOK = true;
}

int64_t FtpEngine::RemoteSize(const std::string& remoteName) {
  if (SendCommand("SIZE %s", {remoteName}) != 2 || Memo.LastReplyCode() != 213) return -1;
  const std::string sizeText = LastReply.size() > 4 ? LastReply.substr(4) : std::string();
  try {
    size_t used = 0;
    const int64_t has = std::stoll(sizeText, &used);
    return sizeText.find_first_not_of(" \r\n", used) == std::string::npos ? has : -1;
  } catch (const std::exception&) {
    return -1;
  }
}

void FtpEngine::CheckStoreRetry(const std::string& typeCommand, const std::string& localName,
                                const std::string& remoteName) {
  if (Memo.LastReplyCode() != 426) return;
  if (storeRetries_ >= MaxStoreRetries) {
    std::string note = "Sending " + remoteName + " given up after " +
                       std::to_string(MaxStoreRetries) + " repeats";
    ShowLine("%s", {note});
    WriteLog(note);
    return;
  }
  ++storeRetries_;
  RetryFlag = true;
  StoreOnce(typeCommand, localName, remoteName);
}
