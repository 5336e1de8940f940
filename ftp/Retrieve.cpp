// Retrieval of a file, a listing or a viewed file over a data connection.
#include <climits>
#include <vector>

#include "ftp/FtpEngine.h"
#include "ftp/LineEnds.h"
#include "ftp/LocalFile.h"

void FtpEngine::Retrieve(const std::string& source, const std::string& localName,
                         const std::string& typeCommand) {
  if (RefuseTransfer()) return;
  TransferScope running(*this);
  ClearCancel();
  int64_t received = 0;
  int64_t expected = 0;
  const bool listing = source.compare(0, 4, "LIST") == 0;
  const bool view = !listing && localName.empty();
  const bool separate = (listing && DirSep == "1") || (view && ViewSep == "1");
  const bool toTranscript = (listing || view) && !separate;
  // A text file is kept with this system's line ends; the transcript and
  // the editor's files get the bytes as they came.
  const bool textFile = !listing && !view && typeCommand == "TYPE A";
  LineEndsFromWire fromWire;

  // Nobody answers a box in an unattended run: its text goes to the transcript.
  const auto failed = [this](const std::string& text, const std::string& caption) {
    if (Unattended) ShowLine("%s", {text});
    else ui_.ShowMessageBox(text, caption, BoxIcon::Exclamation, BoxOK);
    WriteLog(text);
  };
  LocalFile file;
  if (separate || !toTranscript) {
    // A file of that name is kept as it is until the server sends the data.
    bool made =
        separate ? file.CreateTemporary(listing ? "LST" : "VIW") : file.OpenForReplace(localName);
    if (!made) {
      failed("Could not open file", "_lopen error");
      return;
    }
  }

  if (SendTypeCommand(typeCommand) == 5 || !TlsBeforeData(*this)) return;

  Sockets2.SetNonBlocking(false);
  Sockets2.Timeout = RetrieveTimeout;
  DataScope data{*this};
  if (SendPort() == 5) return;

  if (listing) {
    if (separate) {
      SendCommand("PWD");
      std::string head = LastReply + source + "\r\n";
      file.WriteAll(head.data(), head.size());
    }
    int result;
    {
      // A listing may take long to start: no time-out until its first reply.
      struct TimeoutScope {
        TSockets& s;
        int saved;
        ~TimeoutScope() { s.Timeout = saved; }
      } noLimit{Sockets1, Sockets1.Timeout};
      Sockets1.Timeout = 0;
      result = SendCommand("%s", {source});
    }
    if (result == 4 || result == 5) {
      ShowLine("Could not list directory");
      return;
    }
  } else {
    int result = SendCommand("RETR %s", {source});
    if (result == 4 || result == 5) {
      ShowLine("Could not retrieve file");
      return;
    }
    expected = ReplyFileSize();
  }

  int socket;
  {
    BusyCursor busy(*this);
    socket = AcceptDataConnection();
  }
  if (TakeAbort() || LastSocketError != 0 || socket == -1) {
    failed("Could not extablish data socket, operation canceled", "ERROR");
    return;
  }
  if (!separate && !toTranscript && !file.Truncate()) {
    ShowLine("%sWrite to file: %s failed, transfer incomplete", {"\r\n", localName});
    AbortFlag = true;
  }

  bool aborted = false;  // Cancel Transfer, a failed write or a time-out
  {
    BusyCursor busy(*this);
    std::vector<char> block(RetrieveBlock());
    char* const buffer = block.data();
    int n;
    do {
      n = Sockets2.SReceive(Sockets2.ConnectionSocket(), buffer, static_cast<int>(block.size()));
      if (n >= 1) {
        if (toTranscript) {
          Memo.ShowData(std::string(buffer, static_cast<size_t>(n)));
        } else {
          std::string_view bytes(buffer, static_cast<size_t>(n));
          if (textFile) bytes = fromWire.Convert(buffer, static_cast<size_t>(n));
          if (!file.WriteAll(bytes.data(), bytes.size())) {
            ShowLine("%sWrite to file: %s failed, transfer incomplete", {"\r\n", localName});
            AbortFlag = true;
          }
        }
        if (!listing) {
          received += n;
          ShowProgress(received, expected);
        }
      }
      if (TakeAbort()) {
        aborted = true;
        break;
      }
    } while (n >= 1);
    if (aborted) {
      // A listing cut in the middle of a line: the replies start a line of their own.
      if (toTranscript && !Memo.PendingLine.empty()) ShowText("\r\n");
      AbortTransfer();
    }
  }
  if (const std::string_view rest = fromWire.Finish(); !rest.empty() && !file.WriteAll(rest.data(), rest.size()))
    ShowLine("%sWrite to file: %s failed, transfer incomplete", {"\r\n", localName});
  file.Keep();
  file.Close();

  if (separate) ui_.StartEditor(Editor, file.Path());

  // Over TLS only the server's close_notify proves the end of the data: a
  // connection that just closed may have been cut by anyone on the way.
  const bool cut = !aborted && Sockets2.Tls() && Sockets2.Tls()->CutShort();
  CloseDataConnection();
  // After an ABOR its replies have been read, the transfer's among them.
  if (!aborted) ReadReply();
  HideProgress();

  // A file that ends short of the announced size is reported even when the
  // server's final reply says all went well.
  if (!listing && !view && typeCommand == "TYPE I" && expected > 0 && received < expected) {
    std::string note = "Transfer incomplete: " + std::to_string(received) + " of " +
                       std::to_string(expected) + " bytes received";
    ShowLine("%s", {note});
    WriteLog(note);
  } else if (cut) {
    ShowAndLog("Transfer incomplete: the data connection ended without the server's TLS close_notify" +
               (listing ? "" : ", " + std::to_string(received) + " bytes received"));
  }
}

void FtpEngine::ListRemote(const std::string& format, FormatArgs args) {
  Retrieve(Format(format, args), "", "TYPE A");
}

int64_t FtpEngine::ReplyFileSize() const {
  size_t open = LastReply.find('(');
  if (open == std::string::npos) return 0;
  size_t start = open + 1;
  size_t end = LastReply.find(' ', start);
  if (end == std::string::npos) end = LastReply.size();
  if (end == start || end - start > 18) return 0;  // nothing, or too long to fit
  int64_t size = 0;
  for (size_t i = start; i < end; ++i) {
    char c = LastReply[i];
    if (c < '0' || c > '9') return 0;
    size = size * 10 + (c - '0');
  }
  return size;
}
