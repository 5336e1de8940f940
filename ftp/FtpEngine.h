#pragma once
// The protocol engine: the control channel with its shared flags, the
// transcript and the log, the data connection, retrieval, store, progress
// and cancel. It reaches the user only through EngineUI.
#include <cstdint>
#include <string>

#include <QElapsedTimer>

#include "ftp/EngineUI.h"
#include "ftp/Format.h"
#include "ftp/LogFile.h"
#include "ftp/Tls.h"
#include "ftp/Transcript.h"
#include "net/TSleeper.h"
#include "net/TSockets.h"

// The six numbers of a PORT command for an IPv4 address and a port, or an
// empty text when the address is not a dotted IPv4 address.
std::string PortArguments(const std::string& address, int port);

// The data port of a 229 reply ("229 Entering Extended Passive Mode
// (|||port|)") or of a 227 reply ("227 Entering Passive Mode
// (h1,h2,h3,h4,p1,p2)", brackets optional); -1 when the reply holds no
// usable port (none, garbage, 0, above 65535). The address a 227 names is
// not returned: the data connection goes to the control connection's peer.
int ExtendedPassivePort(const std::string& reply);
int PassivePort(const std::string& reply);

class FtpEngine;

// The busy cursor from construction to the end of the scope, on every way out.
class BusyCursor {
public:
  explicit BusyCursor(FtpEngine& engine);
  ~BusyCursor();
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;

private:
  FtpEngine& engine_;
};

class FtpEngine {
public:
  FtpEngine(EngineUI& ui, const std::string& programDir);
  ~FtpEngine();
  FtpEngine(const FtpEngine&) = delete;
  FtpEngine& operator=(const FtpEngine&) = delete;

  EngineUI& UI() { return ui_; }

  // Components.
  TSockets Sockets1;  // control connection
  TSockets Sockets2;  // data connections
  TSleeper Sleeper1;
  Transcript Memo;    // the transcript's line assembly and last line

  // Shared state.
  bool Connected = false;
  bool CommandBusy = false;
  bool AbortFlag = false;
  int LastSocketError = 0;
  std::string LastReply;
  std::string ReplyText;  // every line of the last reply ReadReply read
  bool LogEnabled = true;
  bool RetryFlag = false;
  // The state of the control connection, one value that every path asks:
  // Open while commands may go into it. Once it is gone (closed by the
  // server, failed, timed out in an unattended run, or closed by this
  // program after a failed TLS step or an unanswered ABOR) nothing more is
  // sent into it, and ControlError says why ("Error 10054 Connection reset
  // by peer"). A new connection opens it again.
  enum class ControlState { Open, Closed, Failed, TimedOut, Dropped };
  ControlState Control = ControlState::Open;
  std::string ControlError;
  bool ControlGone() const { return Control != ControlState::Open; }
  // Marks the connection gone; the first cause and its words are kept.
  void LoseControl(ControlState why, const std::string& reason);
  // A new control connection: open, with nothing known of its server yet.
  void ResetControl();
  // One operation (a transfer, a login) tells a failed socket in one box;
  // what fails after it in the same operation goes to the transcript.
  struct OneBoxScope {
    FtpEngine& e;
    const bool outer = !e.oneBox_;
    explicit OneBoxScope(FtpEngine& engine) : e(engine) {
      if (outer) e.oneBox_ = true, e.boxShown_ = false;
    }
    ~OneBoxScope() {
      if (outer) e.oneBox_ = false;
    }
  };
  // An unattended (batch) run: no person answers boxes, so socket failures
  // and unreadable files are reported in the transcript and the log only,
  // and no command follows a lost control connection.
  bool Unattended = false;

  // Options handed in by the window.
  std::string DirSep;
  std::string ViewSep;
  std::string Editor;
  bool UseLowerCase = false;   // the profile's lower-case option
  bool VerifyDataPeer = true;  // data connection only from the server's address
  // A binary store counts only when the server's SIZE equals the bytes read
  // (the window turns it on unless the settings say otherwise).
  bool VerifyUploads = false;
  // Whether the server offers SIZE: -1 not yet asked (FEAT is sent once per
  // connection), 0 no, 1 yes.
  int ServerHasSize = -1;
  bool ServerHasRestStream = false;  // from the same FEAT: REST STREAM offered
  // Whether the server goes on from a byte on (REST STREAM; FEAT asked once).
  bool ServerOffersRestart() { return ServerOffersSize() && ServerHasRestStream; }

  // The server's size of a remote file by SIZE, or -1 when it gives none.
  int64_t RemoteSize(const std::string& remoteName);
  bool ServerOffersSize();

  // The outcome of the last StoreFile, and the counts of a run. Broken: it
  // failed because a connection broke (not refused, not unreadable).
  bool LastStoreOK = false;
  bool LastStoreBroken = false;
  // The caller takes a broken store up again and tells how it ended, so the
  // engine does not call it not stored.
  bool ResumesBrokenStores = false;
  int FilesAttempted = 0;
  int FilesStored = 0;
  // Records a file that was not stored: one transcript and one log line
  // "Not stored NAME: WHY" (the name with control characters escaped).
  void NotStored(const std::string& name, const std::string& why);
  // Passive mode: this program opens each data connection (EPSV, or PASV
  // once a server has refused EPSV) instead of waiting for the server's.
  bool Passive = false;
  TlsSettings Tls;             // FTP over TLS, from the profile

  // Fast mode: data in large blocks, the progress shown at most about 20
  // times a second, no pause after a store (its close proves the data
  // taken), and in an unattended run the type command only when it changes
  // on a connection.
  bool FastTransfers = false;
  // The bytes one read or send of a transfer moves.
  size_t RetrieveBlock() const { return FastTransfers ? kFastBlock : 255; }
  size_t StoreBlock() const { return FastTransfers ? kFastBlock : 512; }
  // Sends the type command of a transfer, unless a fast unattended run
  // knows it is in force on this connection already. The reply's digit, 2
  // when not sent.
  int SendTypeCommand(const std::string& typeCommand);
  std::string TypeInForce;  // the last type command accepted on this connection

  // Seconds the data connection may wait, for a retrieval and for a store.
  int RetrieveTimeout = 30;
  int StoreTimeout = 60;

  // Repeats of a store after a 426 reply before it is given up.
  static constexpr int MaxStoreRetries = 3;
  // How long a cancelled transfer waits for the server's replies to ABOR.
  static constexpr int AbortDeadlineMs = 3000;
  // Fast mode's block, chosen by measurement on loopback (plain and TLS).
  static constexpr size_t kFastBlock = 256 * 1024;

  // Control channel.
  int SendCommand(const std::string& format, FormatArgs args = {});
  int SendCommandLine(const std::string& line);
  int ReadReply();
  bool TakeAbort();
  void SetBusyCursor();
  void SetNormalCursor();
  void Sockets1ErrorOccurred(TSockets* sender, int socket, int error, const std::string& msg);

  // Transcript and log.
  void ShowText(const std::string& text) { Memo.ShowText(text); }
  void ShowLine(const std::string& format, FormatArgs args = {});
  void WriteLog(const std::string& text);
  // One line, as it stands, in the transcript and in the log.
  void ShowAndLog(const std::string& line);
  const LogFile& Log() const { return log_; }

  // Data connection and transfers.
  int SendPort();
  void Retrieve(const std::string& source, const std::string& localName,
                const std::string& typeCommand);
  void ListRemote(const std::string& format, FormatArgs args = {});
  int64_t ReplyFileSize() const;
  // from > 0: the server's copy holds the first `from` bytes already; REST
  // asks it to go on there, and only the rest is sent.
  void StoreFile(const std::string& typeCommand, const std::string& localName,
                 const std::string& remoteName, int64_t from = 0);
  void CheckStoreRetry(const std::string& typeCommand, const std::string& localName,
                       const std::string& remoteName);

  // Progress and cancel.
  void ShowProgress(int64_t done, int64_t size);
  void HideProgress();
  void CancelTransfer();  // the body of Cancel Transfer
  // Voids a cancel left from before: at the start of a transfer or a connect.
  void ClearCancel();

private:
  // Closes the data connection on every way out of a transfer; closing it
  // earlier by hand is fine, a second close does nothing.
  struct DataScope {
    FtpEngine& e;
    ~DataScope() { e.CloseDataConnection(); }
  };
  void ReadStaleReplies();  // shows reply lines that no command awaits
  // The connection is gone (why, reason as for LoseControl): the session
  // ends with the lost-connection line.
  void ConnectionLost(ControlState why, const std::string& reason);
  // The session is over: Connected cleared, the menus follow, and the
  // user is told with one line (an unattended run tells it in its own
  // closing line). CloseControl closes the control socket as well.
  void EndSession(const std::string& line);
  void CloseControl(const std::string& line);
  // True, with a transcript line, when a command or transfer is under way.
  bool RefuseTransfer();
  // Ends a transfer that was cancelled or timed out: the data connection
  // is closed first, then ABOR goes to the server and its replies are read
  // under AbortDeadlineMs. No box; a server that cannot be kept in step
  // ends the session.
  void AbortTransfer();
  struct TransferScope {
    FtpEngine& e;
    OneBoxScope oneBox{e};
    explicit TransferScope(FtpEngine& engine) : e(engine) { e.transferRunning_ = true; }
    ~TransferScope() { e.transferRunning_ = false; }
  };
  int AcceptDataConnection();
  // abandon: the connection is reset, so the server sees the transfer cut.
  void CloseDataConnection(bool abandon = false);
  // Passive mode: asks for the server's data port and connects to it.
  // Returns 2 with the data connection open, 5 when it could not be opened
  // (the transcript says why; nothing further is sent for the transfer).
  int OpenPassiveConnection();
  int AskPassivePort();  // EPSV or PASV and its reply: the port, or -1

  // Watches the reports of Sockets2 while one of its calls waits: notes a
  // time-out and the first other error, and passes them on to the engine's
  // handler unless quiet. The handler is restored on every way out.
  struct DataErrors {
    DataErrors(TSockets& sockets, bool quiet);
    ~DataErrors();
    DataErrors(const DataErrors&) = delete;
    DataErrors& operator=(const DataErrors&) = delete;
    TSockets& s;
    TSockets::ErrorEvent saved;
    bool timedOut = false;
    int error = 0;
  };

  void StoreOnce(const std::string& typeCommand, const std::string& localName,
                 const std::string& remoteName, int64_t from = 0);
  void StoreAborted();
  // Judges a store by its final reply code and, for a binary one, by SIZE.
  void VerifyStore(const std::string& typeCommand, const std::string& remoteName,
                   int64_t bytesRead, int code);

  EngineUI& ui_;
  LogFile log_;
  std::string replyLine_;  // a reply line whose LF has not arrived yet
  std::string statusText_; // the status text last shown
  std::string dataServer_; // the control connection's peer when PORT was sent
  bool passiveData_ = false;   // this transfer's data connection is passive
  // The control connection (its local port) on which the server refused
  // EPSV: PASV is used for the rest of that session.
  std::string pasvSession_;
  int storeRetries_ = 0;
  bool transferRunning_ = false;
  bool oneBox_ = false;    // within an operation that shows one socket error box
  bool boxShown_ = false;  // and it has been shown
  QElapsedTimer progressShown_;  // fast mode: when the progress was last shown
  bool cancelRequested_ = false;  // Cancel Transfer interrupted a waiting call
};
