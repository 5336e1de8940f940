// The engine's transfers against plain socket loops on the same server:
// Retrieve of 1 GiB against recv(255)+write, StoreFile of 1 GiB against
// read(512)+send, curl for reference; then the longest stall of the event
// loop during a transfer, the CPU spent waiting for a silent server, and the
// growth of resident memory during a transfer. The engine's passive mode
// (EPSV, then a connect to the server) is measured against the same raw
// loops, and against raw loops that are passive too. Each figure is the
// median of three alternating runs. Then fast mode (FastTransfers) against
// curl; with the argument "fast" only that, with "default" all but that.
#include <QCoreApplication>
#include <QTimer>
#include <fcntl.h>

#include <cstring>

#include <algorithm>
#include <filesystem>

#include "BenchKit.h"
#include "support/FtpServer.h"
#include "RawFtpClient.h"
#include "support/ScriptedPeer.h"

namespace fs = std::filesystem;

namespace {

constexpr long long kSize = 1LL << 30;

// A listening socket on 127.0.0.1 and the PORT command that announces it.
struct RawListener {
  int fd = -1;
  std::string port;
  RawListener() {
    fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), len) != 0 || ::listen(fd, 1) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
      throw std::runtime_error("raw listener");
    int p = ntohs(a.sin_port);
    port = "PORT 127,0,0,1," + std::to_string(p >> 8) + "," + std::to_string(p & 255);
  }
  ~RawListener() { ::close(fd); }
  int Accept() const { return ::accept(fd, nullptr, nullptr); }
};

// Reads the greeting first, so each reply is read after its own command and
// a raw loop ends with the transfer's final reply, as the engine does.
RawFtpClient& RawLogin(RawFtpClient& c, const FtpServer& server) {
  c.ReadReply();
  c.Command("USER " + server.User());
  c.Command("PASS " + server.Password());
  c.Command("TYPE I");
  return c;
}

// Sends the transfer command and returns its data connection: accepted
// after PORT, or connected after EPSV to the port the server names.
int RawData(RawFtpClient& c, bool passive, const std::string& command) {
  if (!passive) {
    RawListener listener;
    c.Command(listener.port);
    c.SendLine(command);
    c.ReadReply();
    return listener.Accept();
  }
  const std::string reply = c.Command("EPSV");
  const int port = ExtendedPassivePort(reply);
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  if (port <= 0 || fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
    throw std::runtime_error("raw passive connect: " + reply + ": " + std::strerror(errno));
  c.SendLine(command);
  c.ReadReply();
  return fd;
}

double RawRetrieve(const FtpServer& server, const std::string& remote, const std::string& local,
                   bool passive) {
  RawFtpClient c(server.Port());
  RawLogin(c, server);
  auto start = std::chrono::steady_clock::now();
  int data = RawData(c, passive, "RETR " + remote);
  int out = ::open(local.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  char buffer[255];
  for (;;) {
    ssize_t n = ::recv(data, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    if (::write(out, buffer, static_cast<size_t>(n)) != n) throw std::runtime_error("write");
  }
  ::close(out);
  ::close(data);
  c.ReadReply();
  return Seconds(start);
}

double RawStore(const FtpServer& server, const std::string& local, const std::string& remote,
                bool passive) {
  RawFtpClient c(server.Port());
  RawLogin(c, server);
  auto start = std::chrono::steady_clock::now();
  int data = RawData(c, passive, "STOR " + remote);
  int in = ::open(local.c_str(), O_RDONLY);
  char buffer[512];
  for (;;) {
    ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n <= 0) break;
    for (ssize_t done = 0; done < n;) {
      ssize_t sent = ::send(data, buffer + done, static_cast<size_t>(n - done), MSG_NOSIGNAL);
      if (sent <= 0) throw std::runtime_error("send");
      done += sent;
    }
  }
  ::close(in);
  ::shutdown(data, SHUT_WR);
  char drain[64];
  while (::recv(data, drain, sizeof drain, 0) > 0) {
  }
  ::close(data);
  c.ReadReply();
  return Seconds(start);
}

// Time this thread has waited for a processor, in seconds (0 where the
// kernel does not keep it).
double RunQueueWait() {
  std::ifstream stat("/proc/thread-self/schedstat");
  long long onCpu = 0, waiting = 0;
  stat >> onCpu >> waiting;
  return waiting / 1e9;
}

// Watches the event loop while a transfer runs: the longest time between two
// ticks of a 5 ms timer, the same less the time the thread waited for a
// processor meanwhile (on a loaded machine the server and other programs
// take turns with it), and the highest resident memory seen.
struct Peaks {
  double gap = 0, ownGap = 0;
  long rss = 0;
  void Take(const Peaks& p) {
    gap = std::max(gap, p.gap), ownGap = std::max(ownGap, p.ownGap), rss = std::max(rss, p.rss);
  }
};
struct LoopWatch {
  QTimer timer;
  std::chrono::steady_clock::time_point last;
  double lastWait = 0;
  bool ticked = false;
  Peaks peak;
  LoopWatch() {
    timer.setInterval(5);
    QObject::connect(&timer, &QTimer::timeout, [this] {
      auto now = std::chrono::steady_clock::now();
      const double wait = RunQueueWait();
      if (ticked) {
        const double gap = std::chrono::duration<double>(now - last).count();
        peak.Take({gap, gap - (wait - lastWait), 0});
      }
      ticked = true;
      last = now;
      lastWait = wait;
      peak.Take({0, 0, ResidentKiB()});
    });
    timer.start();
  }
};

// Fast mode against curl on one server (plain, or explicit TLS with curl's
// --ssl-reqd -k), active or passive: three alternating runs of each side,
// retrieve and store of the whole file, medians; a file that does not
// arrive whole fails the run. Prints the speed ratios (above 1: fast mode
// is faster), the longest event-loop gap and the CPU time per GiB.
void FastAgainstCurl(const std::string& tls, bool passive, const std::string& work) {
  FtpServer server(tls);
  const std::string big = (server.Root() / "big.bin").string(), source = work + "/fast-source.bin";
  MakeFile(big, kSize);
  fs::copy_file(big, source, fs::copy_options::overwrite_existing);
  struct TrustingUI : QuietUI {  // trusts the test server's own certificate
    BoxAnswer ShowMessageBox(const std::string&, const std::string&, BoxIcon, unsigned) override {
      return BoxAnswer::Yes;
    }
  } ui;
  FtpEngine engine(ui, work + "/");
  engine.LogEnabled = false;
  engine.FastTransfers = true;
  engine.Passive = passive;
  engine.Tls.Security = tls.empty() ? 0 : 1;
  engine.Tls.TrustedCertificate = server.Fingerprint();
  ConnectAndLogin(engine, server.Port(), server.User(), server.Password());
  const std::string curl = "curl -s " + std::string(tls.empty() ? "" : "--ssl-reqd -k ") +
                           (passive ? "" : "-P 127.0.0.1 ") + "'ftp://" + server.User() + ":" +
                           server.Password() + "@127.0.0.1:" + std::to_string(server.Port()) + "/";
  const auto whole = [](const std::string& path, const char* who) {
    if (FileSize(path) != kSize) throw std::runtime_error(std::string(who) + " did not move the whole file");
    fs::remove(path);
  };
  std::vector<double> fastGet, curlGet, fastPut, curlPut;
  Peaks peak;
  double cpu = 0;
  for (int run = 0; run < 3; ++run) {
    for (const bool get : {true, false}) {
      LoopWatch watch;
      const double cpuBefore = CpuSeconds();
      const auto start = std::chrono::steady_clock::now();
      if (get) engine.Retrieve("big.bin", work + "/fast.bin", "TYPE I");
      else engine.StoreFile("TYPE I", source, "fast-up.bin");
      (get ? fastGet : fastPut).push_back(Seconds(start));
      cpu += CpuSeconds() - cpuBefore;
      peak.Take(watch.peak);
      whole(get ? work + "/fast.bin" : (server.Root() / "fast-up.bin").string(), "fast mode");
    }
    curlGet.push_back(TimedShell(curl + "big.bin' -o '" + work + "/curl.bin'"));
    whole(work + "/curl.bin", "curl");
    curlPut.push_back(TimedShell(curl + "curl-up.bin' -T '" + source + "'"));
    whole((server.Root() / "curl-up.bin").string(), "curl");
  }
  const std::string tag = std::string(tls.empty() ? "" : "tls_") + (passive ? "passive_" : "");
  Print("fast_" + tag + "retrieve_vs_curl", Median(curlGet) / Median(fastGet));
  Print("fast_" + tag + "store_vs_curl", Median(curlPut) / Median(fastPut));
  Print("fast_" + tag + "retrieve_mib_s", kSize / 1048576.0 / Median(fastGet));
  Print("fast_" + tag + "store_mib_s", kSize / 1048576.0 / Median(fastPut));
  Print("fast_" + tag + "max_loop_gap_ms", peak.gap * 1000);
  Print("fast_" + tag + "max_loop_gap_own_ms", peak.ownGap * 1000);
  Print("fast_" + tag + "cpu_s_per_gib", cpu / 6);
  fs::remove(source);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  try {
    const std::string work = (fs::temp_directory_path() / "tarnex-transfer-bench").string();
    fs::create_directories(work);
    if (argc > 1 && std::string(argv[1]) == "fast") {  // fast mode against curl only
      FastAgainstCurl("", false, work);
      FastAgainstCurl("", true, work);
      return 0;
    }
    FtpServer server;
    const std::string big = (server.Root() / "big.bin").string();
    MakeFile(big, kSize);
    const std::string source = work + "/source.bin";
    fs::copy_file(big, source, fs::copy_options::overwrite_existing);
    const std::string url = "ftp://" + server.User() + ":" + server.Password() + "@127.0.0.1:" +
                            std::to_string(server.Port()) + "/";
    Print("file_bytes", kSize);

    QuietUI ui;
    FtpEngine engine(ui, work + "/");
    engine.LogEnabled = false;
    ConnectAndLogin(engine, server.Port(), server.User(), server.Password());

    // Three alternating rounds; each figure is the median of its three runs.
    // The active retrieve and store are watched for event-loop gaps and
    // memory growth; the store's time includes the 350 ms pause.
    const auto whole = [](const std::string& path, const char* what) {
      if (FileSize(path) != kSize) throw std::runtime_error(std::string(what) + " incomplete");
      fs::remove(path);
    };
    const std::string up = server.Root().string() + "/";
    std::map<std::string, std::vector<double>> t;
    std::map<std::string, Peaks> peak;  // of the active retrieve and store
    const long rssBefore = ResidentKiB();
    for (int round = 0; round < 3; ++round) {
      for (const bool passive : {false, true}) {
        LoopWatch watch;
        engine.Passive = passive;
        auto start = std::chrono::steady_clock::now();
        engine.Retrieve("big.bin", work + "/engine.bin", "TYPE I");
        t[passive ? "retrieve_passive" : "retrieve_engine"].push_back(Seconds(start));
        if (!passive) peak["retrieve"].Take(watch.peak);
        whole(work + "/engine.bin", "engine retrieve");
        t[passive ? "retrieve_raw_passive" : "retrieve_raw"].push_back(
            RawRetrieve(server, "big.bin", work + "/raw.bin", passive));
        whole(work + "/raw.bin", "raw retrieve");
      }
      t["retrieve_curl"].push_back(
          TimedShell("curl -s -P 127.0.0.1 -o '" + work + "/curl.bin' '" + url + "big.bin'"));
      whole(work + "/curl.bin", "curl retrieve");
      for (const bool passive : {false, true}) {
        LoopWatch watch;
        engine.Passive = passive;
        auto start = std::chrono::steady_clock::now();
        engine.StoreFile("TYPE I", source, "engine-up.bin");
        t[passive ? "store_passive" : "store_engine"].push_back(Seconds(start));
        if (!passive) peak["store"].Take(watch.peak);
        whole(up + "engine-up.bin", "engine store");
        t[passive ? "store_raw_passive" : "store_raw"].push_back(
            RawStore(server, source, "raw-up.bin", passive));
        whole(up + "raw-up.bin", "raw store");
      }
      t["store_curl"].push_back(
          TimedShell("curl -s -P 127.0.0.1 -T '" + source + "' '" + url + "curl-up.bin'"));
      whole(up + "curl-up.bin", "curl store");
    }
    engine.Passive = false;
    fs::remove(big);
    fs::remove(source);
    std::map<std::string, double> m;
    for (const auto& [name, runs] : t) {
      m[name] = Median(runs);
      Print(name + "_s", m[name]);
    }
    for (const char* way : {"retrieve", "store"})
      for (const char* who : {"engine", "raw", "curl"})
        Print(std::string(way) + "_" + who + "_mib_s", kSize / 1048576.0 / m[std::string(way) + "_" + who]);
    for (const auto& [way, p] : peak) {
      Print(way + "_max_loop_gap_ms", p.gap * 1000);
      Print(way + "_max_loop_gap_own_ms", p.ownGap * 1000);
      Print(way + "_rss_growth_kib", static_cast<long long>(p.rss - rssBefore));
    }

    // Waiting 10 s for a reply from a server that stays silent.
    {
      ScriptedPeer peer;
      peer.Play("> 220 ready\n< NOOP\npause 10000\n> 200 ok");
      peer.Start();
      QuietUI quiet;
      FtpEngine waiting(quiet, work + "/");
      waiting.LogEnabled = false;
      if (!OpenControlConnection(waiting, "127.0.0.1", std::to_string(peer.Port())))
        throw std::runtime_error("cannot reach the scripted peer");
      waiting.Connected = true;
      ReadGreeting(waiting);
      rusage before{}, after{};
      ::getrusage(RUSAGE_THREAD, &before);
      auto start = std::chrono::steady_clock::now();
      waiting.SendCommand("NOOP");
      double wall = Seconds(start);
      ::getrusage(RUSAGE_THREAD, &after);
      auto cpu = [](const rusage& u) {
        return u.ru_utime.tv_sec + u.ru_stime.tv_sec +
               (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
      };
      Print("idle_wait_s", wall);
      Print("idle_wait_cpu_percent", 100.0 * (cpu(after) - cpu(before)) / wall);
    }

    // Fast mode against curl: plain active and passive. (The test server's
    // TLS refuses a data connection that does not resume the control
    // connection's session, which curl does not do, so TLS is not compared.)
    if (argc < 2 || std::string(argv[1]) != "default") {
      FastAgainstCurl("", false, work);
      FastAgainstCurl("", true, work);
    }

    // The passive runs against the active raw loops, as always, and against
    // raw loops that are passive too.
    Print("retrieve_ratio", m["retrieve_raw"] / m["retrieve_engine"]);
    Print("store_ratio", m["store_raw"] / m["store_engine"]);
    Print("retrieve_passive_ratio", m["retrieve_raw"] / m["retrieve_passive"]);
    Print("store_passive_ratio", m["store_raw"] / m["store_passive"]);
    Print("retrieve_passive_vs_raw_passive", m["retrieve_raw_passive"] / m["retrieve_passive"]);
    Print("store_passive_vs_raw_passive", m["store_raw_passive"] / m["store_passive"]);
    fs::remove_all(work);
    return ui.boxes == 0 ? 0 : 1;
  } catch (const std::exception& e) {
    std::cerr << "transfer_bench: " << e.what() << "\n";
    return 1;
  }
}
