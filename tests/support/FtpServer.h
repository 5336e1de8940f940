#pragma once
// A real FTP server: pyftpdlib (run with /usr/bin/python3) on 127.0.0.1 at a
// free port, serving a temporary root folder. Anonymous users and
// User()/Password() may read and write the root.
//
//   FtpServer server;                       // started; throws on failure
//   server.WriteFile("a.txt", "hello\r\n");  // put a file in its root
//   ... connect the engine to 127.0.0.1:server.Port() ...
//   EXPECT_EQ(server.ReadFile("up.bin"), bytes);
//
// The destructor kills the server and removes its folder. When the running
// test has failed, the server's log (every command and reply) is printed.
#include <cstdio>
#include <filesystem>
#include <string>

#include "TempProgramDir.h"

class FtpServer {
public:
  // tls: "" plain FTP; "explicit" or "implicit": FTP over TLS required for
  // the login and the data, with a self-signed certificate made at start.
  explicit FtpServer(const std::string& tls = "");  // waits at most 10 s; throws with its log
  ~FtpServer();
  FtpServer(const FtpServer&) = delete;
  FtpServer& operator=(const FtpServer&) = delete;

  int Port() const { return port_; }
  std::filesystem::path Root() const { return base_.Path() / "root"; }
  std::string User() const { return "tester"; }
  std::string Password() const { return "secret"; }
  std::string LogText() const { return base_.ReadFile("server.log"); }

  // Files in the root, by a path relative to it (parent folders are made).
  void WriteFile(const std::string& relative, const std::string& bytes) const {
    base_.WriteFile("root/" + relative, bytes);
  }
  std::string ReadFile(const std::string& relative) const;  // throws when missing
  bool Exists(const std::string& relative) const { return base_.Exists("root/" + relative); }

private:
  void Stop();  // kills the server
  TempFolder base_{"tarnex-ftpd"};  // root/ and server.log
  std::FILE* pipe_ = nullptr;       // the server's standard output
  int pid_ = 0;
  int port_ = 0;
};
