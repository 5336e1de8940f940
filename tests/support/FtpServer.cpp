#include "FtpServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <exception>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr auto kStartLimit = std::chrono::seconds(10);

std::string ReadWhole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool CanConnect(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  ::close(fd);
  return ok;
}

// Waits up to `limit` for the child to end, without reaping it (so its
// process group id stays ours until then); true when it has ended.
bool Ended(pid_t pid, std::chrono::milliseconds limit) {
  auto end = std::chrono::steady_clock::now() + limit;
  for (;;) {
    siginfo_t info{};
    int r = ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT);
    if ((r == 0 && info.si_pid == pid) || (r < 0 && errno == ECHILD)) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace

FtpServer::FtpServer() {
  std::string pattern = (fs::temp_directory_path() / "tarnex-ftpd-XXXXXX").string();
  if (!::mkdtemp(pattern.data()))
    throw std::runtime_error("FtpServer: cannot create a temporary folder: " +
                             std::string(std::strerror(errno)));
  base_ = pattern;
  root_ = base_ / "root";
  logPath_ = base_ / "server.log";
  fs::create_directory(root_);
  try {
    Launch();
  } catch (...) {
    Stop();
    std::error_code ignored;
    fs::remove_all(base_, ignored);
    throw;
  }
}

void FtpServer::Launch() {
  const std::string script = std::string(TARNEX_SOURCE_DIR) + "/tests/support/ftp_server.py";
  const fs::path portFile = base_ / "port";
  std::vector<std::string> args = {"/usr/bin/python3", "-u", script, root_.string(),
                                   portFile.string(), User(), Password()};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, logPath_.c_str(),
                                   O_WRONLY | O_CREAT | O_APPEND, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK |
                                      POSIX_SPAWN_SETSIGDEF);
  posix_spawnattr_setpgroup(&attr, 0);  // its own process group, killed as one
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  pid_t pid = -1;
  int rc = ::posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (rc != 0)
    throw std::runtime_error("FtpServer: cannot start /usr/bin/python3: " +
                             std::string(std::strerror(rc)));
  pid_ = pid;

  auto end = std::chrono::steady_clock::now() + kStartLimit;
  while (std::chrono::steady_clock::now() < end) {
    std::string text = ReadWhole(portFile);
    if (!text.empty()) {
      port_ = std::atoi(text.c_str());
      if (port_ > 0 && CanConnect(port_)) return;
    }
    if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      throw std::runtime_error("FtpServer: the server ended at start:\n" + LogText());
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  throw std::runtime_error("FtpServer: the server did not accept connections within 10 s:\n" +
                           LogText());
}

void FtpServer::Stop() {
  if (pid_ <= 0) return;
  // The leader is not reaped before the last kill, so the group id cannot
  // have been handed to anyone else.
  ::kill(-pid_, SIGTERM);
  Ended(pid_, std::chrono::seconds(3));
  ::kill(-pid_, SIGKILL);  // a server that ignored SIGTERM, and anything it started
  ::waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

FtpServer::~FtpServer() {
  Stop();
  if (::testing::Test::HasFailure() || std::uncaught_exceptions() > 0) {
    std::string log = LogText();
    constexpr size_t kTail = 16000;
    if (log.size() > kTail) log = "...\n" + log.substr(log.size() - kTail);
    std::cerr << "---- FTP server log (" << logPath_.string() << ") ----\n"
              << log << "---- end of FTP server log ----\n";
  }
  std::error_code ignored;
  fs::remove_all(base_, ignored);
}

std::string FtpServer::LogText() const { return ReadWhole(logPath_); }

void FtpServer::WriteFile(const std::string& relative, const std::string& bytes) const {
  fs::path path = root_ / relative;
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("FtpServer: cannot write " + path.string());
}

std::string FtpServer::ReadFile(const std::string& relative) const {
  fs::path path = root_ / relative;
  if (!fs::exists(path)) throw std::runtime_error("FtpServer: no file " + path.string());
  return ReadWhole(path);
}

bool FtpServer::Exists(const std::string& relative) const {
  return fs::exists(root_ / relative);
}
