#include "net/TSockets.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <stdexcept>
#include <vector>

#include <arpa/inet.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QScopedValueRollback>
#include <QTimer>

#include "net/SocketErrors.h"

namespace {

// The blocking call in progress. There is at most one in the whole program;
// it lives on the stack of the call and is published here so that the
// time-out notice and Disconnect can cancel it.
struct BlockingCall {
  int socket = -1;
  QEventLoop* loop = nullptr;           // set while the call waits
  QSocketNotifier* notifier = nullptr;  // set while the call waits
  bool cancelled = false;
};
BlockingCall* g_call = nullptr;

// When a blocking call never has to wait, pending events are still
// processed at least this often.
constexpr qint64 kPumpIntervalMs = 20;
QElapsedTimer g_sincePump;

void PumpEventsIfDue() {
  if (!g_sincePump.isValid()) {
    g_sincePump.start();
    return;
  }
  if (g_sincePump.elapsed() < kPumpIntervalMs) return;
  if (QCoreApplication::instance()) QCoreApplication::processEvents();
  g_sincePump.restart();
}

bool WouldBlock(int e) { return e == EAGAIN || e == EWOULDBLOCK || e == EINPROGRESS; }

int TcpProtocol() {
  // Without a protocols database the number is still the well-known one.
  const protoent* entry = getprotobyname("tcp");
  return entry ? entry->p_proto : IPPROTO_TCP;
}

int NewSocket(int family = AF_INET) {
  return ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, TcpProtocol());
}

socklen_t AddressLength(const sockaddr_storage& a) {
  return a.ss_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
}

void SetPort(sockaddr_storage& a, uint16_t netPort) {
  if (a.ss_family == AF_INET6) reinterpret_cast<sockaddr_in6&>(a).sin6_port = netPort;
  else reinterpret_cast<sockaddr_in&>(a).sin_port = netPort;
}

std::string ConversionError(const std::string& text) {
  return "'" + text + "' is not a valid integer value";
}

// A decimal integer: leading blanks, an optional sign, then digits only.
bool ParseDecimal(const std::string& text, long& value) {
  size_t i = text.find_first_not_of(' ');
  if (i == std::string::npos) return false;
  bool negative = false;
  if (text[i] == '+' || text[i] == '-') negative = text[i++] == '-';
  if (i == text.size()) return false;
  long result = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    result = result * 10 + (text[i] - '0');
    if (result > INT_MAX) return false;
  }
  value = negative ? -result : result;
  return true;
}

enum class AddressOf { Local, Peer };

bool QueryAddress(int socket, AddressOf which, sockaddr_storage& address) {
  socklen_t length = sizeof address;
  std::memset(&address, 0, sizeof address);
  int result = which == AddressOf::Local
                   ? ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length)
                   : ::getpeername(socket, reinterpret_cast<sockaddr*>(&address), &length);
  return result == 0 && (address.ss_family == AF_INET || address.ss_family == AF_INET6);
}

std::string PortText(int socket, AddressOf which) {
  sockaddr_storage a;
  if (!QueryAddress(socket, which, a)) return std::string();
  return std::to_string(ntohs(a.ss_family == AF_INET6
                                  ? reinterpret_cast<const sockaddr_in6&>(a).sin6_port
                                  : reinterpret_cast<const sockaddr_in&>(a).sin_port));
}

std::string AddressText(int socket, AddressOf which) {
  sockaddr_storage a;
  if (!QueryAddress(socket, which, a)) return std::string();
  char text[INET6_ADDRSTRLEN] = {};
  const void* raw = a.ss_family == AF_INET6
                        ? static_cast<const void*>(&reinterpret_cast<const sockaddr_in6&>(a).sin6_addr)
                        : static_cast<const void*>(&reinterpret_cast<const sockaddr_in&>(a).sin_addr);
  if (!inet_ntop(a.ss_family, raw, text, sizeof text)) return std::string();
  // A link-local address means nothing without its interface: "fe80::1%eth0".
  const uint32_t scope = a.ss_family == AF_INET6 ? reinterpret_cast<const sockaddr_in6&>(a).sin6_scope_id : 0;
  if (scope == 0) return text;
  char name[IF_NAMESIZE] = {};
  return std::string(text) + "%" + (if_indextoname(scope, name) ? std::string(name) : std::to_string(scope));
}

}  // namespace

// The notifications of one socket in non-blocking mode.
struct TSockets::Watcher {
  int fd = -1;
  bool listening = false;
  bool connecting = false;  // a connect in progress: writable means it ended
  bool closed = false;      // FD_CLOSE delivered; the socket is not read again
  std::unique_ptr<QSocketNotifier> read;
  std::unique_ptr<QSocketNotifier> write;
  // Cleared when the watcher goes, so a dispatch whose handler removed it
  // does not touch it afterwards.
  std::shared_ptr<bool> alive = std::make_shared<bool>(true);
  ~Watcher() { *alive = false; }
};

TSockets::TSockets(MessageBoxes& boxes, QObject* parent) : QObject(parent), boxes_(boxes) {
  timer_ = new QTimer(this);
  timer_->setSingleShot(true);
  connect(timer_, &QTimer::timeout, this, &TSockets::TimerFired);
}

TSockets::~TSockets() {
  // A call still waiting on one of these sockets must not go on with a
  // handle that is about to be closed.
  if (g_call && g_call->socket >= 0 &&
      (g_call->socket == connSocket_ || g_call->socket == listenSocket_))
    WSACancelBlockingCall();
  connWatch_.reset();
  listenWatch_.reset();
  if (connSocket_ >= 0) ::close(connSocket_);
  if (listenSocket_ >= 0) ::close(listenSocket_);
}

// ---------------------------------------------------------------------------
// Blocking calls

bool TSockets::WSAIsBlocking() { return g_call != nullptr; }

void TSockets::WSACancelBlockingCall() {
  if (!g_call) return;
  g_call->cancelled = true;
  if (g_call->notifier) g_call->notifier->setEnabled(false);
  if (g_call->loop) g_call->loop->quit();
}

TSockets::Deadline::Deadline(TSockets& sockets, qint64 ms) : s_(sockets), saved_(sockets.deadline_) {
  if (ms >= 0 && QDeadlineTimer(ms) < s_.deadline_) s_.deadline_ = QDeadlineTimer(ms);
}

void TSockets::StartBlockingTimer() {
  qint64 ms = Timeout > 0 ? std::min(Timeout, INT_MAX / 1000) * 1000LL : -1;
  if (!deadline_.isForever()) {
    const qint64 left = deadline_.remainingTime();
    ms = ms < 0 ? left : std::min(ms, left);
  }
  if (ms >= 0) timer_->start(static_cast<int>(ms));
}

void TSockets::StopBlockingTimer() { timer_->stop(); }

template <typename Step>
long TSockets::Blocking(int socket, const Wait& what, Step step) {
  error_ = 0;
  if (g_call) {
    // Another blocking call is in progress (this one was started from a
    // handler running inside its wait).
    error_ = wsa::EINPROGRESS_;
    return -1;
  }
  BlockingCall call;
  call.socket = socket;
  g_call = &call;
  // The time-out matters only to a call that waits, so the timer is armed
  // when the call first has to wait: a fast transfer pays nothing for it.
  bool timerArmed = false;
  struct Bracket {
    TSockets* self;
    const bool& armed;
    ~Bracket() {
      if (armed) self->StopBlockingTimer();
      g_call = nullptr;
    }
  } bracket{this, timerArmed};

  for (;;) {
    PumpEventsIfDue();
    if (call.cancelled) {
      error_ = wsa::EINTR_;
      return -1;
    }
    errno = 0;
    long result = step();
    if (result >= 0) return result;
    if (result == -2) continue;
    int e = errno;
    if (e == EINTR) continue;
    if (!WouldBlock(e)) {
      error_ = WinsockErrorFromErrno(e);
      return -1;
    }
    if (!timerArmed) {
      StartBlockingTimer();
      timerArmed = true;
    }
    int waitError = WaitFor(socket, what);
    if (waitError != 0) {
      error_ = waitError;
      return -1;
    }
  }
}

int TSockets::WaitFor(int socket, Wait what) {
  BlockingCall& call = *g_call;
  const auto type = what == Wait::Read ? QSocketNotifier::Read : QSocketNotifier::Write;

  // A socket made in non-blocking mode has its own notifier of this type;
  // it rests while the call waits.
  QSocketNotifier* resting = nullptr;
  if (Watcher* w = WatcherOf(socket)) {
    QSocketNotifier* own = type == QSocketNotifier::Read ? w->read.get() : w->write.get();
    if (own && own->isEnabled()) {
      own->setEnabled(false);
      resting = own;
    }
  }
  auto alive = resting ? WatcherOf(socket)->alive : std::shared_ptr<bool>();

  int exitCode = 0;
  {
    QSocketNotifier notifier(socket, type);
    QEventLoop loop;
    connect(&notifier, &QSocketNotifier::activated, &loop, &QEventLoop::quit);
    call.loop = &loop;
    call.notifier = &notifier;
    if (!call.cancelled) exitCode = loop.exec();
    call.loop = nullptr;
    call.notifier = nullptr;
  }
  if (resting && *alive) resting->setEnabled(true);
  g_sincePump.restart();

  // The loop also ends when the application quits; from then on no loop
  // waits any more, so the call is cancelled rather than tried in a spin.
  if (exitCode != 0) call.cancelled = true;
  return call.cancelled ? wsa::EINTR_ : 0;
}

void TSockets::TimerFired() {
  timer_->stop();
  if (!WSAIsBlocking()) return;
  WSACancelBlockingCall();
  if (quietTimeout_) {
    attemptExpired_ = true;
    return;
  }
  const int error = wsa::ETIMEDOUT_;
  if (OnErrorOccurred) {
    ErrorEvent handler = OnErrorOccurred;
    handler(this, connSocket_, error, "Blocking call timed out");
  } else {
    boxes_.ShowMessageBox("Error " + std::to_string(error) + "\r\nBlocking call timed out",
                          "WINSOCK CALL CANCELED", BoxIcon::Warning, BoxOK | BoxCancel);
  }
}

long TSockets::TlsStep(long result, Wait& what) {
  what = tls_->WantsWrite() ? Wait::Write : Wait::Read;
  return result;
}

long TSockets::Send(int socket, const char* data, size_t len, int flags) {
  if (TlsOn(socket)) {
    // Urgent data has no place inside a TLS stream: it goes in line.
    if (NonBlocking()) return tls_->Write(data, len);
    size_t done = 0;
    Wait what = Wait::Write;
    return Blocking(socket, what, [&]() -> long {
      long sent = TlsStep(tls_->Write(data + done, len - done), what);
      if (sent < 0) return -1;
      done += static_cast<size_t>(sent);
      return done < len ? -2 : static_cast<long>(done);
    });
  }
  flags |= MSG_NOSIGNAL;
  if (NonBlocking()) {
    error_ = 0;
    long sent = ::send(socket, data, len, flags);
    if (sent < 0) {
      int e = errno;
      error_ = WinsockErrorFromErrno(e);
      if (WouldBlock(e)) Rearm(socket, false);  // FD_WRITE comes when there is room again
    }
    return sent;
  }
  size_t done = 0;
  return Blocking(socket, Wait::Write, [&]() -> long {
    long sent = ::send(socket, data + done, len - done, flags);
    if (sent < 0) return -1;
    done += static_cast<size_t>(sent);
    return done < len ? -2 : static_cast<long>(done);
  });
}

long TSockets::Receive(int socket, char* buffer, size_t len, int flags) {
  if (TlsOn(socket)) {
    const bool peek = (flags & MSG_PEEK) != 0;
    if (NonBlocking()) return tls_->Read(buffer, len, peek);
    Wait what = Wait::Read;
    return Blocking(socket, what,
                    [&]() -> long { return TlsStep(tls_->Read(buffer, len, peek), what); });
  }
  if (NonBlocking()) {
    error_ = 0;
    long got = ::recv(socket, buffer, len, flags | MSG_DONTWAIT);
    if (got < 0) error_ = WinsockErrorFromErrno(errno);
    Rearm(socket, true);  // the owner has read: FD_READ may come again
    return got;
  }
  return Blocking(socket, Wait::Read, [&]() -> long { return ::recv(socket, buffer, len, flags); });
}

// ---------------------------------------------------------------------------
// Reports

void TSockets::ReportError(int socket, const std::string& context, int error) {
  // A failure of the TLS session is told in its own words.
  const std::string text = tls_ && socket == connSocket_ && !tls_->Error().empty()
                               ? "TLS: " + tls_->Error()
                               : GetErrorText(error);
  if (OnErrorOccurred) {
    ErrorEvent handler = OnErrorOccurred;
    handler(this, socket, error, text);
    return;
  }
  std::string message = "Error " + std::to_string(error) + " in function " + context + "\r\n" + text;
  if (message.size() > 255) message.resize(255);
  boxes_.ShowMessageBox(message, "WINSOCK ERROR", BoxIcon::Critical, BoxOK | BoxCancel);
  boxes_.EndProgram(0);
}

void TSockets::OwnBox(const std::string& text) {
  if (OnRefused && OnRefused(text)) return;
  boxes_.ShowMessageBox(text, "WINSOCK ERROR", BoxIcon::Exclamation, BoxOK | BoxCancel);
}

// ---------------------------------------------------------------------------
// Names

uint16_t TSockets::ResolvePort() {
  // The text is at most 31 characters; a longer one is refused like any
  // other text that names no port.
  if (Port.size() > 31) throw std::runtime_error(ConversionError(Port));
  if (Port.find('\0') == std::string::npos) {
    if (const servent* service = getservbyname(Port.c_str(), "tcp"))
      return static_cast<uint16_t>(service->s_port);
  }
  long value = 0;
  if (!ParseDecimal(Port, value) || value < 0 || value > 65535)
    throw std::runtime_error(ConversionError(Port));
  return htons(static_cast<uint16_t>(value));
}

bool TSockets::ResolveHost(std::vector<sockaddr_storage>& addresses) {
  addresses.clear();
  // A host is at most 256 characters; a longer text (or one holding a zero
  // byte) is not converted at all rather than cut to some other name.
  if (IPAddr.size() > 256 || IPAddr.find('\0') != std::string::npos) return false;
  sockaddr_storage one{};
  in_addr_t address = inet_addr(IPAddr.c_str());
  if (address != INADDR_NONE) {
    one.ss_family = AF_INET;
    reinterpret_cast<sockaddr_in&>(one).sin_addr.s_addr = address;
    addresses.push_back(one);
    return true;
  }
  // An IPv6 address, also in brackets as in URLs, and with its interface
  // when it is link-local ("fe80::1%eth0").
  std::string v6 = IPAddr;
  if (v6.size() > 2 && v6.front() == '[' && v6.back() == ']') v6 = v6.substr(1, v6.size() - 2);
  addrinfo numeric6{};
  numeric6.ai_family = AF_INET6;
  numeric6.ai_socktype = SOCK_STREAM;
  numeric6.ai_flags = AI_NUMERICHOST;
  addrinfo* literal = nullptr;
  if (getaddrinfo(v6.c_str(), nullptr, &numeric6, &literal) == 0 && literal) {
    const bool fits = literal->ai_addr && literal->ai_addrlen <= sizeof one;
    if (fits) std::memcpy(&one, literal->ai_addr, literal->ai_addrlen);
    freeaddrinfo(literal);
    if (fits) {
      addresses.push_back(one);
      return true;
    }
  }
  // The all-ones result also marks a failed conversion, so it is looked up
  // as a name. A dotted number is no host name: the limited broadcast
  // address "255.255.255.255" finds no host.
  in_addr numeric;
  if (inet_aton(IPAddr.c_str(), &numeric)) return false;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(IPAddr.c_str(), nullptr, &hints, &found) != 0 || !found) return false;
  for (addrinfo* entry = found; entry; entry = entry->ai_next) {
    if ((entry->ai_family == AF_INET || entry->ai_family == AF_INET6) && entry->ai_addr &&
        entry->ai_addrlen <= sizeof one) {
      one = {};
      std::memcpy(&one, entry->ai_addr, entry->ai_addrlen);
      addresses.push_back(one);
    }
  }
  freeaddrinfo(found);
  return !addresses.empty();
}

// ---------------------------------------------------------------------------
// Operations

void TSockets::SConnect() {
  if (Port.empty()) {
    OwnBox("No Port Specified");
    return;
  }
  if (IPAddr.empty()) {
    OwnBox("No IP Address Specified");
    return;
  }
  const uint16_t port = ResolvePort();
  std::vector<sockaddr_storage> addresses;
  if (!ResolveHost(addresses)) {
    OwnBox("Cannot convert host address");
    return;
  }
  for (sockaddr_storage& address : addresses) SetPort(address, port);
  ConnectToFirst(addresses);
}

void TSockets::ConnectToFirst(const std::vector<sockaddr_storage>& addresses) {
  // Each address but the last may take an equal share of the time left, so
  // one whose packets are lost does not take the whole time-out from the
  // next. Only the last failure is reported; a cancel ends the trying.
  QElapsedTimer clock;
  clock.start();
  for (size_t i = 0; i < addresses.size(); ++i) {
    const bool last = i + 1 == addresses.size();
    bool connected;
    {
      const qint64 left = std::max<qint64>(static_cast<qint64>(Timeout) * 1000 - clock.elapsed(), 0);
      const qint64 share = last ? left : left / static_cast<qint64>(addresses.size() - i);
      const Deadline bound(*this, Timeout > 0 ? share : -1);
      const QScopedValueRollback<bool> quiet(quietTimeout_, !last);
      attemptExpired_ = false;
      connected = ConnectTo(addresses[i]);
    }
    if (connected) return;
    if (last || (error_ == wsa::EINTR_ && !attemptExpired_)) {
      ReportError(connSocket_, "SConnect", error_);
      return;
    }
    DropConnection();
  }
}

void TSockets::DropConnection() {
  connWatch_.reset();
  tls_.reset();
  if (connSocket_ >= 0) ::close(connSocket_);
  connSocket_ = -1;
}

bool TSockets::ConnectTo(const sockaddr_storage& address) {
  DropConnection();  // a connection left from before is not leaked
  connSocket_ = NewSocket(address.ss_family);
  if (connSocket_ < 0) ReportError(-1, "SConnect (socket)", WinsockErrorFromErrno(errno));
  const int fd = connSocket_;

  long result;
  if (NonBlocking()) {
    Watch(fd, false, true, "WSAAsyncSelect");
    result = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), AddressLength(address));
    error_ = result < 0 ? WinsockErrorFromErrno(errno) : 0;
    // In progress is no failure: the outcome comes as FD_CONNECT.
    if (result < 0 && (error_ == wsa::EWOULDBLOCK_ || error_ == wsa::EINPROGRESS_)) result = 0;
  } else {
    bool started = false;
    result = Blocking(fd, Wait::Write, [&]() -> long {
      if (!started) {
        started = true;
        return ::connect(fd, reinterpret_cast<const sockaddr*>(&address), AddressLength(address));
      }
      // Writable again: the connect has ended; its outcome is the socket's error.
      int error = 0;
      socklen_t length = sizeof error;
      if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return -1;
      if (error != 0) {
        errno = error;
        return -1;
      }
      return 0;
    });
  }
  return result >= 0;
}

void TSockets::Listen() {
  if (Port.empty()) {
    OwnBox("No Port Specified");
    return;
  }
  // The any address of the family asked for (all bits zero in both).
  sockaddr_storage address{};
  address.ss_family = ListenFamily == AF_INET6 ? AF_INET6 : AF_INET;
  SetPort(address, ResolvePort());

  listenWatch_.reset();
  listenSocket_ = NewSocket(address.ss_family);
  if (listenSocket_ < 0) ReportError(-1, "socket", WinsockErrorFromErrno(errno));
  const int fd = listenSocket_;
  if (fd >= 0) {
    // A port whose last connections still linger may be listened on again.
    int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  }
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), AddressLength(address)) != 0)
    ReportError(listenSocket_, "Bind", WinsockErrorFromErrno(errno));
  if (::listen(fd, 5) != 0) ReportError(listenSocket_, "Listen", WinsockErrorFromErrno(errno));
  if (NonBlocking()) Watch(fd, true, false, "WSAASyncSelect");
}

void TSockets::CancelListen() {
  const int fd = listenSocket_;
  listenWatch_.reset();
  if (g_call && fd >= 0 && g_call->socket == fd) WSACancelBlockingCall();
  if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
  listenSocket_ = -1;
  if (::close(fd) != 0) ReportError(fd, "CancelListen (closesocket)", WinsockErrorFromErrno(errno));
}

int TSockets::Accept() {
  const int listening = listenSocket_;
  int fd;
  if (NonBlocking()) {
    error_ = 0;
    fd = ::accept4(listening, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) error_ = WinsockErrorFromErrno(errno);
    if (listenWatch_ && listenWatch_->fd == listening) listenWatch_->read->setEnabled(true);
  } else {
    fd = static_cast<int>(Blocking(listening, Wait::Read, [&]() -> long {
      return ::accept4(listening, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    }));
  }
  DropConnection();
  connSocket_ = fd < 0 ? -1 : fd;
  if (fd >= 0 && NonBlocking()) Watch(fd, false, false, "Accept");
  if (fd < 0) ReportError(connSocket_, "Accept", error_);
  return connSocket_;
}

int TSockets::StartTls(std::unique_ptr<TlsSession> session) {
  tls_ = std::move(session);
  const int fd = connSocket_;
  if (fd == -1) return wsa::ENOTSOCK_;
  tls_->Bind(fd);
  Wait what = Wait::Read;
  long result = Blocking(fd, what, [&]() -> long { return TlsStep(tls_->Handshake(), what); });
  return result < 0 ? error_ : 0;
}

void TSockets::Disconnect(bool abandon) {
  const int fd = connSocket_;
  connWatch_.reset();
  tls_.reset();
  if (WSAIsBlocking()) WSACancelBlockingCall();
  if (fd >= 0) {
    if (!abandon) ::shutdown(fd, SHUT_RDWR);
    // A hard close: what is not yet sent is dropped and the peer is reset.
    linger hard{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  }
  connSocket_ = -1;
  if (::close(fd) != 0) ReportError(fd, "Disconnect (closesocket)", WinsockErrorFromErrno(errno));
}

void TSockets::SendText(const std::string& text, int flags) {
  if (Send(connSocket_, text.data(), text.size(), flags) < 0)
    ReportError(connSocket_, "SetText (Send)", error_);
}

void TSockets::SetText(const std::string& text) { SendText(text, 0); }

void TSockets::SetOutOfBandText(const std::string& text) { SendText(text, MSG_OOB); }

int TSockets::PeekRaw(std::string& bytes) {
  bytes.clear();
  if (connSocket_ == -1) return -1;
  const size_t size = MaximumReceiveLength > 0 ? static_cast<size_t>(MaximumReceiveLength) : 0;
  std::vector<char> buffer(std::max<size_t>(size, 1));
  long got = Receive(connSocket_, buffer.data(), size, MSG_PEEK);
  if (got < 0) {
    ReportError(connSocket_, "PeekData (Peek)", error_);
    return -1;
  }
  bytes.assign(buffer.data(), static_cast<size_t>(got));
  return static_cast<int>(got);
}

int TSockets::BytesWaiting() const {
  if (TlsOn(connSocket_)) return tls_->Pending();
  int waiting = 0;
  if (connSocket_ == -1 || ::ioctl(connSocket_, FIONREAD, &waiting) != 0) return 0;
  return waiting;
}

std::string TSockets::PeekData() {
  std::string bytes;
  PeekRaw(bytes);
  size_t zero = bytes.find('\0');
  if (zero != std::string::npos) bytes.resize(zero);
  return bytes;
}

int TSockets::SReceive(int socket, char* buffer, int len) {
  if (socket == -1) return -1;
  long got = Receive(socket, buffer, static_cast<size_t>(std::max(len, 0)), 0);
  if (got < 0) ReportError(connSocket_, "SReceive", error_);
  return static_cast<int>(got);
}

int TSockets::SSend(int socket, const char* buffer, int& len) {
  if (socket == -1) return -1;
  len = static_cast<int>(Send(socket, buffer, static_cast<size_t>(std::max(len, 0)), 0));
  if (len < 0) ReportError(connSocket_, "SSend", error_);
  return len;
}

bool TSockets::FinishSending() {
  const int fd = connSocket_;
  if (fd == -1) return false;
  if (TlsOn(fd)) {
    // The TLS stream ends with close_notify, so the peer can tell a
    // complete upload from a cut one.
    Wait what = Wait::Write;
    if (NonBlocking() ? tls_->Shutdown() < 0
                      : Blocking(fd, what, [&]() -> long {
                          return TlsStep(tls_->Shutdown(), what);
                        }) < 0) {
      ReportError(connSocket_, "FinishSending", error_);
      return false;
    }
  }
  ::shutdown(fd, SHUT_WR);
  if (NonBlocking()) return true;
  char discard[4096];
  // A peer that keeps sending never lets the call wait, so the time-out is
  // watched here as well: the whole close ends within Timeout.
  QElapsedTimer clock;
  clock.start();
  long result = Blocking(fd, Wait::Read, [&]() -> long {
    long got = ::recv(fd, discard, sizeof discard, 0);
    if (got > 0) {  // the peer still talks: drop it and read on
      if (Timeout > 0 && clock.elapsed() >= static_cast<qint64>(Timeout) * 1000) TimerFired();
      return -2;
    }
    return got;  // 0 when the peer has closed, -1 on failure
  });
  if (result < 0) {
    ReportError(connSocket_, "FinishSending", error_);
    return false;
  }
  return true;
}

std::string TSockets::GetLocalPort(int socket) { return PortText(socket, AddressOf::Local); }
std::string TSockets::GetLocalIPAddr(int socket) { return AddressText(socket, AddressOf::Local); }
std::string TSockets::GetPeerPort(int socket) { return PortText(socket, AddressOf::Peer); }
std::string TSockets::GetPeerIPAddr(int socket) { return AddressText(socket, AddressOf::Peer); }
int TSockets::GetAddressFamily(int socket) {
  sockaddr_storage a;
  return QueryAddress(socket, AddressOf::Local, a) ? a.ss_family : 0;
}

// ---------------------------------------------------------------------------
// Notifications (non-blocking mode)

void TSockets::Notify(int socket, int eventKind, int error) {
  if (error > 10000) {
    const char* name = "";
    switch (eventKind) {
      case FD_READ: name = "FD_READ"; break;
      case FD_WRITE: name = "FD_WRITE"; break;
      case FD_ACCEPT: name = "FD_ACCEPT"; break;
      case FD_CONNECT: name = "FD_CONNECT"; break;
      case FD_CLOSE: name = "FD_CLOSE"; break;
      default: break;
    }
    ReportError(socket, name, error);
    return;
  }
  SocketEvent event;
  switch (eventKind) {
    case FD_READ: event = OnDataAvailable; break;
    case FD_WRITE: event = OnDataNeeded; break;
    case FD_ACCEPT: event = OnSessionAvailable; break;
    case FD_CONNECT: event = OnSessionConnected; break;
    case FD_CLOSE: event = OnSessionClosed; break;
    default: return;
  }
  if (event) event(this, socket);
}

TSockets::Watcher* TSockets::WatcherOf(int socket) {
  if (socket < 0) return nullptr;
  if (connWatch_ && connWatch_->fd == socket) return connWatch_.get();
  if (listenWatch_ && listenWatch_->fd == socket) return listenWatch_.get();
  return nullptr;
}

void TSockets::Watch(int socket, bool listening, bool connecting, const char* context) {
  if (socket < 0) {
    ReportError(socket, context, wsa::ENOTSOCK_);
    return;
  }
  auto w = std::make_unique<Watcher>();
  w->fd = socket;
  w->listening = listening;
  w->connecting = connecting;
  Watcher* raw = w.get();
  std::shared_ptr<bool> alive = w->alive;
  w->read = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Read);
  connect(w->read.get(), &QSocketNotifier::activated, this, [this, raw, alive] {
    if (*alive) ReadReady(raw);
  });
  // A connect in progress is read only once it has ended.
  w->read->setEnabled(!connecting);
  if (!listening) {
    w->write = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Write);
    connect(w->write.get(), &QSocketNotifier::activated, this, [this, raw, alive] {
      if (*alive) WriteReady(raw);
    });
  }
  (listening ? listenWatch_ : connWatch_) = std::move(w);
}

void TSockets::ReadReady(Watcher* w) {
  const int fd = w->fd;
  // Each notification is given once; it comes again when the owner has read
  // (or accepted), as Windows Sockets re-enables it.
  w->read->setEnabled(false);
  if (w->listening) {
    Notify(fd, FD_ACCEPT, 0);
    return;
  }
  char probe;
  long got = ::recv(fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
  int e = errno;
  if (got > 0) {
    Notify(fd, FD_READ, 0);
    return;
  }
  if (got < 0 && (WouldBlock(e) || e == EINTR)) {
    w->read->setEnabled(true);
    return;
  }
  w->closed = true;
  if (w->write) w->write->setEnabled(false);
  Notify(fd, FD_CLOSE, got == 0 ? 0 : WinsockErrorFromErrno(e));
}

void TSockets::WriteReady(Watcher* w) {
  const int fd = w->fd;
  w->write->setEnabled(false);
  if (!w->connecting) {
    Notify(fd, FD_WRITE, 0);
    return;
  }
  w->connecting = false;
  int error = 0;
  socklen_t length = sizeof error;
  if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
  if (error != 0) {
    w->closed = true;
    Notify(fd, FD_CONNECT, WinsockErrorFromErrno(error));
    return;
  }
  w->read->setEnabled(true);
  std::shared_ptr<bool> alive = w->alive;
  Notify(fd, FD_CONNECT, 0);
  // A connected socket may be written at once, as Windows Sockets tells
  // with FD_WRITE after FD_CONNECT.
  if (*alive) Notify(fd, FD_WRITE, 0);
}

void TSockets::Rearm(int socket, bool read) {
  Watcher* w = connWatch_.get();
  if (!w || w->fd != socket || w->closed || w->connecting) return;
  QSocketNotifier* notifier = read ? w->read.get() : w->write.get();
  if (notifier) notifier->setEnabled(true);
}
