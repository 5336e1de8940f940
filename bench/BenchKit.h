#pragma once
// Shared pieces of the benchmarks: a user interface that shows nothing, a
// logged-in engine, wall and CPU clocks, resident memory, curl runs, and
// files of a given size.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <sstream>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "ftp/FtpEngine.h"
#include "ftp/Session.h"

// Shows nothing and answers every box OK; boxes are counted and printed to
// stderr so a bench run that went wrong says so.
class QuietUI : public EngineUI {
public:
  int boxes = 0;
  BoxAnswer ShowMessageBox(const std::string& text, const std::string& caption, BoxIcon,
                           unsigned) override {
    ++boxes;
    std::cerr << "box: " << caption << ": " << text << "\n";
    return BoxAnswer::OK;
  }
  void SetBusyCursor() override {}
  void SetNormalCursor() override {}
  bool AppendTranscriptLine(const std::string&) override { return true; }
  void ClearTranscript() override {}
  bool ProgressVisible() override { return visible_; }
  void ShowProgressDialog() override { visible_ = true; }
  int ProgressPosition() override { return position_; }
  void SetProgress(int percent, const std::string&) override { position_ = percent; }
  void RepaintProgress() override {}
  void HideProgress() override { visible_ = false; }
  void SetStatusText(const std::string&) override {}
  void StartEditor(const std::string&, const std::string&) override {}

private:
  bool visible_ = false;
  int position_ = 0;
};

inline double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// CPU seconds (user + system) of this process so far.
inline double CpuSeconds() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Resident memory of this process in KiB (VmRSS).
inline long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmRSS:") {
      long kib = 0;
      status >> kib;
      return kib;
    }
    status.ignore(1 << 12, '\n');
  }
  return 0;
}

// Runs a shell command line and returns its wall time; throws when it fails.
inline double TimedShell(const std::string& command) {
  auto start = std::chrono::steady_clock::now();
  int rc = std::system(command.c_str());
  double took = Seconds(start);
  if (rc != 0) throw std::runtime_error("failed (" + std::to_string(rc) + "): " + command);
  return took;
}

// A file of `size` bytes of a repeating, not all-equal pattern.
inline void MakeFile(const std::string& path, long long size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::vector<char> block(1 << 20);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>((i * 131 + 7) & 0xFF);
  while (size > 0) {
    long long n = size < static_cast<long long>(block.size()) ? size : block.size();
    out.write(block.data(), n);
    size -= n;
  }
  if (!out) throw std::runtime_error("cannot write " + path);
}

inline long long FileSize(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  return in ? static_cast<long long>(in.tellg()) : -1;
}

// Connects the engine to 127.0.0.1:port and starts the session as the window
// does: TLS as the engine is set, and the login.
inline void ConnectAndLogin(FtpEngine& engine, int port, const std::string& user,
                            const std::string& password) {
  if (!OpenControlConnection(engine, "127.0.0.1", std::to_string(port)))
    throw std::runtime_error("cannot connect to the server");
  engine.Connected = true;
  if (StartSession(engine, user, password, "") != SessionStart::Ready) throw std::runtime_error("no session");
}

inline void Print(const std::string& name, double value) {
  std::printf("%s=%.3f\n", name.c_str(), value);
  std::fflush(stdout);
}
inline void Print(const std::string& name, long long value) {
  std::printf("%s=%lld\n", name.c_str(), value);
  std::fflush(stdout);
}

// The middle value of timings (the mean of the middle two of an even count).
inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

inline std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Every regular file under root, by its relative path, with its bytes.
inline std::map<std::string, std::string> FilesUnder(const std::filesystem::path& root) {
  std::map<std::string, std::string> files;
  if (!std::filesystem::is_directory(root)) return files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
    if (entry.is_regular_file())
      files[std::filesystem::relative(entry.path(), root).string()] = ReadAll(entry.path());
  return files;
}

// Throws unless `arrived` holds exactly the files of `sent`, byte for byte.
inline void CheckWhole(const std::string& who, const std::filesystem::path& sent, const std::filesystem::path& arrived) {
  const auto want = FilesUnder(sent);
  const auto got = FilesUnder(arrived);
  for (const auto& [name, bytes] : want) {
    auto it = got.find(name);
    if (it == got.end()) throw std::runtime_error(who + " lost " + name);
    if (it->second != bytes) throw std::runtime_error(who + " cut or changed " + name);
  }
  if (got.size() != want.size()) throw std::runtime_error(who + " stored extra files");
}
