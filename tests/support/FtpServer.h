#pragma once
// A real FTP server on 127.0.0.1 at a free port, serving a temporary root
// folder: pyftpdlib (run with /usr/bin/python3; anonymous users and
// User()/Password() may read and write the root), or Debian's vsftpd
// (vsftpd_server.py: anonymous login, TYPE A converting line ends; it needs
// root).
//
//   FtpServer server;                       // started; throws on failure
//   server.WriteFile("a.txt", "hello\r\n");  // put a file in its root
//   ... connect the engine to 127.0.0.1:server.Port() ...
//   EXPECT_EQ(server.ReadFile("up.bin"), bytes);
//
// The destructor stops the server and removes its folder. When the running
// test has failed, the server's log (every command and reply) is printed.
#include <cstdio>
#include <filesystem>
#include <string>

#include "TempProgramDir.h"

class FtpServer {
public:
  // tls: "" plain FTP; "explicit" or "implicit" (not on vsftpd): FTP over
  // TLS required for the login and the data, with a self-signed certificate
  // made at start, and a data connection that does not resume the control
  // connection's TLS session refused.
  enum Kind { Pyftpdlib, Vsftpd };
  explicit FtpServer(const std::string& tls = "", Kind kind = Pyftpdlib);  // waits at most 10 s; throws with its log
  ~FtpServer();
  FtpServer(const FtpServer&) = delete;
  FtpServer& operator=(const FtpServer&) = delete;

  int Port() const { return port_; }
  // On vsftpd the root is its writable folder "pub": a test enters it after the login.
  std::filesystem::path Root() const { return base_.Path() / RootName(); }
  std::string User() const { return kind_ == Vsftpd ? "anonymous" : "tester"; }
  // vsftpd with TLS: the certificate's SHA-256 as Tls.TrustedCertificate holds it.
  std::string Fingerprint() const { return fingerprint_; }
  std::string Password() const { return "secret"; }
  std::string LogText() const { return base_.ReadFile("server.log"); }

  // Files in the root, by a path relative to it (parent folders are made).
  void WriteFile(const std::string& relative, const std::string& bytes) const {
    base_.WriteFile(RootName() + "/" + relative, bytes);
  }
  std::string ReadFile(const std::string& relative) const;  // throws when missing
  bool Exists(const std::string& relative) const { return base_.Exists(RootName() + "/" + relative); }

private:
  void Stop();  // stops the server
  std::string RootName() const { return kind_ == Vsftpd ? "ftp/pub" : "root"; }
  Kind kind_;
  std::string fingerprint_;
  TempFolder base_{"tarnex-ftpd"};  // the root and server.log
  std::FILE* pipe_ = nullptr;       // the server's standard output
  int pid_ = 0;
  int port_ = 0;
};
