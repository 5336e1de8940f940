#pragma once
// A real FTP server for integration tests: pyftpdlib (run with
// /usr/bin/python3) on 127.0.0.1 at a free port, serving a temporary root
// folder. Anonymous users and User()/Password() may read and write the root.
//
//   FtpServer server;                       // started; throws on failure
//   server.WriteFile("a.txt", "hello\r\n");  // put a file in its root
//   ... connect the engine to 127.0.0.1:server.Port() ...
//   EXPECT_EQ(server.ReadFile("up.bin"), bytes);
//
// The destructor stops the server (its whole process group) and removes the
// temporary folders. When the running gtest test has failed, the server's
// log (every command and reply) is printed to stderr first.
#include <filesystem>
#include <string>
#include <sys/types.h>

class FtpServer {
public:
  // Starts the server and waits (at most 10 s) until it accepts
  // connections. Throws std::runtime_error with the log when it cannot.
  FtpServer();
  ~FtpServer();
  FtpServer(const FtpServer&) = delete;
  FtpServer& operator=(const FtpServer&) = delete;

  std::string Host() const { return "127.0.0.1"; }
  int Port() const { return port_; }
  const std::filesystem::path& Root() const { return root_; }
  std::string User() const { return "tester"; }
  std::string Password() const { return "secret"; }

  // The server's log so far, and where it is kept.
  std::string LogText() const;
  const std::filesystem::path& LogPath() const { return logPath_; }

  // Files in the root, by a path relative to it (parent folders are made).
  void WriteFile(const std::string& relative, const std::string& bytes) const;
  std::string ReadFile(const std::string& relative) const;  // throws when missing
  bool Exists(const std::string& relative) const;

  // Stops the server now (also done by the destructor). Idempotent.
  void Stop();

private:
  void Launch();

  std::filesystem::path base_;  // holds root/, server.log and the port file
  std::filesystem::path root_;
  std::filesystem::path logPath_;
  pid_t pid_ = -1;
  int port_ = 0;
};
