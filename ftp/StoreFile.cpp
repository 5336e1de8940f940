// Storing a local file on the server, with the repeat after a 426 reply.
#include "ftp/FtpEngine.h"
#include "ftp/LocalFile.h"
#include "ftp/Session.h"

void FtpEngine::StoreFile(const std::string& typeCommand, const std::string& localName,
                          const std::string& remoteName) {
  if (RefuseTransfer()) return;
  TransferScope running(*this);
  ClearCancel();
  storeRetries_ = 0;
  StoreOnce(typeCommand, localName, remoteName);
}

// The way out after Cancel Transfer (or a time-out) during the data phase.
void FtpEngine::StoreAborted() {
  SendAbor();
  CloseDataConnection();
  SetNormalCursor();
  WriteLog("Transfer aborted due to you're request");
  ShowLine("%sTransfer aborted due to you're request", {"\r\n"});
}

void FtpEngine::StoreOnce(const std::string& typeCommand, const std::string& localName,
                          const std::string& remoteNameIn) {
  LocalFile file;
  if (!file.OpenForReading(localName)) {
    WriteLog("Could not open local file,open error");
    ui_.ShowMessageBox("Could not open local file", "open error", BoxIcon::Exclamation, BoxOK);
    return;
  }
  const std::string remoteName = UseLowerCase ? LowerName(remoteNameIn) : remoteNameIn;
  const int64_t size = file.Size();
  statusText_.clear();  // others may have changed the status line meanwhile

  ShowLine("Transferring local file: %s to remote file: %s", {localName, remoteName});
  SendCommand(typeCommand);
  Sockets2.SetNonBlocking(false);
  Sockets2.Timeout = StoreTimeout;
  // A passive data connection that could not be opened ends the store
  // before STOR: the transcript has said why.
  if (SendPort() != 2 && passiveData_) {
    ShowLine("Could not store file");
    WriteLog("Could not store file " + remoteName);
    return;
  }
  const int stored = SendCommand("STOR %s", {remoteName});

  // The data connection is closed on every way out, the normal one included.
  DataScope data{*this};

  // A refused STOR (or one that could not be sent) brings no data
  // connection: waiting for one would only end at the time-out, with an
  // error box that halts an unattended run. Its reply has said why.
  if (stored == 4 || stored == 5 || stored == -1) {
    ShowLine("Could not store file");
    WriteLog("Could not store file " + remoteName);
    return;
  }

  AcceptDataConnection();

  int64_t total = 0;
  long count;
  {
    BusyCursor busy(*this);
    const std::string sending = "Sending file: " + remoteName;
    const std::string retrying = "Retrying to Send file: " + remoteName;
    char block[512];
    count = file.Read(block, sizeof block);
    bool sendFailed = false;
    while (count > 0) {
      int length = static_cast<int>(count);
      int sent = Sockets2.SSend(Sockets2.ConnectionSocket(), block, length);
      if (sent > 0) total += sent;
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
      ShowProgress(total, size);
      if (sent <= 0 && !AbortFlag) {
        // The data connection has failed and said so once: the rest of the
        // file is not sent into it, the transfer ends the normal way, and
        // the final reply is still read.
        sendFailed = true;
        LastSocketError = 0;
        break;
      }
      count = file.Read(block, sizeof block);
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
    Sleeper1.SleepFor(350);
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
  CheckStoreRetry(typeCommand, localName, remoteName);
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
