#pragma once
// TSockets: one TCP connection socket and one listening socket over the
// system's IPv4 and IPv6 sockets, with Windows Sockets 1.1 behaviour.
//
// IPAddr may be a dotted IPv4 address, an IPv6 address (brackets allowed)
// or a host name; a name's addresses, IPv4 and IPv6, are tried in order
// until one connects. Addresses are told in their usual text form.
//
// Blocking mode (NonBlocking false): an operation looks blocking to its caller
// but waits in a nested event loop, so menus, timers and repaints go on. The
// Timeout timer cancels a waiting call (time-out notice 10060, then the call
// fails with 10004). Disconnect run from a nested handler cancels the waiting
// call too. Only one blocking call waits at a time in the whole program: a
// blocking call started from a handler while another one waits fails at once
// with 10036 ("Operation now in progress"), as Windows Sockets 1.1 does.
// A blocking send delivers the whole buffer or fails. When a call never has
// to wait, pending events are still processed every 20 ms.
//
// Non-blocking mode: readiness becomes the events OnDataAvailable,
// OnDataNeeded, OnSessionAvailable, OnSessionConnected and OnSessionClosed.
//
// Every failed socket call goes to ReportError: to OnErrorOccurred when set,
// otherwise to the "WINSOCK ERROR" box, after which the program ends (code 0).
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>
#include <QDeadlineTimer>
#include <QObject>
#include <sys/socket.h>

#include "net/MessageBoxes.h"
#include "net/TlsSession.h"

class QTimer;
class QSocketNotifier;

class TSockets : public QObject {
  Q_OBJECT
public:
  using SocketEvent = std::function<void(TSockets* sender, int socket)>;
  using ErrorEvent =
      std::function<void(TSockets* sender, int socket, int error, const std::string& msg)>;

  // Notification event kinds (the low word of a notification).
  enum : int { FD_READ = 1, FD_WRITE = 2, FD_OOB = 4, FD_ACCEPT = 8, FD_CONNECT = 16, FD_CLOSE = 32 };

  explicit TSockets(MessageBoxes& boxes, QObject* parent = nullptr);
  // Closes the sockets that are still open, quietly (nothing is reported).
  ~TSockets() override;

  // Properties.
  int MaximumReceiveLength = 8192;
  std::string IPAddr;  // IPv4 or IPv6 address, or host name
  int ListenFamily = AF_INET;  // what Listen binds: AF_INET or AF_INET6, any address
  std::string Port;    // service name or decimal port
  int Timeout = 30;    // seconds a blocking call may wait; 0 or less: no limit
  bool NonBlocking() const { return blockingFlag_ == 1; }
  void SetNonBlocking(bool on) { blockingFlag_ = on ? 1u : 0u; }

  // Events.
  SocketEvent OnDataAvailable;
  SocketEvent OnDataNeeded;
  SocketEvent OnSessionClosed;
  SocketEvent OnSessionAvailable;
  SocketEvent OnSessionConnected;
  ErrorEvent OnErrorOccurred;
  // The component's own refusals (no port, no address, a host address that
  // does not convert) go here when set; true: told, so no box is shown.
  std::function<bool(const std::string& text)> OnRefused;

  // Operations.
  void SConnect();
  // SConnect's trying: the addresses (ports set) in order, within the one
  // Timeout, until one connects; the last failure is reported.
  void ConnectToFirst(const std::vector<sockaddr_storage>& addresses);
  void Listen();
  void CancelListen();
  int Accept();
  // Closes the connection socket hard. With abandon, the peer gets a reset
  // only, never an orderly end first: an upload it was taking is cut, not
  // complete.
  void Disconnect(bool abandon = false);
  void SetText(const std::string& text);
  void SetOutOfBandText(const std::string& text);
  std::string PeekData();
  // Like PeekData, but every byte peeked, NUL included. Returns the count,
  // 0 when the peer has closed, -1 on failure (reported) or with no socket.
  int PeekRaw(std::string& bytes);
  // Bytes already waiting on the connection socket, without waiting; 0 when
  // none, or with no socket.
  int BytesWaiting() const;
  int SReceive(int socket, char* buffer, int len);
  int SSend(int socket, const char* buffer, int& len);
  std::string GetLocalPort(int socket);
  std::string GetLocalIPAddr(int socket);
  std::string GetPeerPort(int socket);
  std::string GetPeerIPAddr(int socket);
  // AF_INET or AF_INET6 of a socket's local address; 0 when it has none.
  int GetAddressFamily(int socket);

  // Closes the sending side of the connection socket and waits, bounded by
  // Timeout, until the peer has closed its side, so every byte sent has
  // reached it before the socket is closed. Bytes the peer still sends are
  // read and dropped. False when there is no connection socket or the wait
  // failed (reported with the context "FinishSending"). In non-blocking mode
  // it only closes the sending side; OnSessionClosed tells the rest.
  bool FinishSending();

  // TLS on the connection socket (blocking mode): binds the session and runs
  // its handshake in the nested-loop wait, bounded by Timeout and ended by
  // a cancel. The session stays attached either way, and from then on every
  // send, receive and peek of the connection socket goes through it, until
  // Disconnect drops it. Returns 0, or the error number that ended the
  // handshake (10004 for a cancelled or timed-out wait); nothing is
  // reported. The session's Error() words a TLS failure.
  int StartTls(std::unique_ptr<TlsSession> session);
  TlsSession* Tls() const { return tls_.get(); }

  int ConnectionSocket() const { return connSocket_; }
  int ListeningSocket() const { return listenSocket_; }

  // Bounds every blocking call of this component made while it lives by one
  // deadline, ms from now (none when ms < 0), beside each call's Timeout:
  // the earlier of this and an enclosing one holds. A call that must wait
  // after the deadline has passed times out at once, as by Timeout.
  class Deadline {
  public:
    Deadline(TSockets& sockets, qint64 ms);
    ~Deadline() { s_.deadline_ = saved_; }
    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;

  private:
    TSockets& s_;
    QDeadlineTimer saved_;
  };
  bool DeadlinePassed() const { return deadline_.hasExpired(); }

  // True while a blocking call of this program waits (any component).
  static bool WSAIsBlocking();
  // Cancels the waiting blocking call; it then fails with 10004.
  static void WSACancelBlockingCall();

  // The notification message handler: socket, event kind, error word.
  void Notify(int socket, int eventKind, int error);
  // The time-out timer's handler (public so a test can send a late tick).
  void TimerFired();

  // Failure report: to OnErrorOccurred, or the fatal box. The text is the
  // error number's, or for a failure of the TLS session "TLS: " and its
  // words (the number is then 10053, the connection aborted).
  void ReportError(int socket, const std::string& context, int error);

private:
  struct Watcher;
  enum class Wait { Read, Write };
  // Waits in a nested event loop until the socket is ready. Returns 0, or
  // the Windows Sockets error that ended the wait (10004 when cancelled).
  int WaitFor(int socket, Wait what);
  // A blocking socket call inside the time-out bracket. The step is tried
  // again and again: a result >= 0 ends the call, -2 means "progress made,
  // go on", -1 with errno would-block waits for readiness, any other errno
  // fails. Returns the result; error_ holds the error number.
  // what is read at every wait, so a step may change it (a TLS step may
  // need the other direction).
  template <typename Step>
  long Blocking(int socket, const Wait& what, Step step);
  bool TlsOn(int socket) const { return tls_ && socket == connSocket_ && socket != -1; }
  long TlsStep(long result, Wait& what);
  long Send(int socket, const char* data, size_t len, int flags);
  long Receive(int socket, char* buffer, size_t len, int flags);
  void SendText(const std::string& text, int flags);
  void StartBlockingTimer();
  void StopBlockingTimer();
  uint16_t ResolvePort();  // network byte order; throws on a bad text
  // The addresses IPAddr stands for, in the order they are tried.
  bool ResolveHost(std::vector<sockaddr_storage>& addresses);
  // One attempt of SConnect; a failed connect is left to the caller. A
  // connection socket still open is closed first.
  bool ConnectTo(const sockaddr_storage& address);
  // Closes the connection socket without a word.
  void DropConnection();
  void Watch(int socket, bool listening, bool connecting, const char* context);
  void ReadReady(Watcher* w);
  void WriteReady(Watcher* w);
  void Rearm(int socket, bool read);
  Watcher* WatcherOf(int socket);
  void OwnBox(const std::string& text);

  MessageBoxes& boxes_;
  uint32_t blockingFlag_ = 1;
  int connSocket_ = -1;
  int listenSocket_ = -1;
  int error_ = 0;
  QTimer* timer_ = nullptr;
  std::unique_ptr<Watcher> connWatch_;
  std::unique_ptr<Watcher> listenWatch_;
  std::unique_ptr<TlsSession> tls_;
  QDeadlineTimer deadline_{QDeadlineTimer::Forever};
  // The time-out ends this connect attempt only: it is not reported, and
  // SConnect goes on to the next address.
  bool quietTimeout_ = false;
  bool attemptExpired_ = false;
};
