#include "FtpServer.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>

#include <exception>
#include <iostream>
#include <stdexcept>

FtpServer::FtpServer(const std::string& tls, Kind kind)
    : kind_(kind) {
  std::filesystem::create_directories(Root());
  const std::string command = "exec /usr/bin/python3 -u '" TARNEX_SOURCE_DIR "/tests/support/ftp_server.py' '" +
                              Root().string() + "' " + User() + " " + Password() + " " + tls +
                              (kind == Vsftpd ? " vsftpd" : "") + " 2>>'" + base_.Path().string() + "/server.log'";
  if (!(pipe_ = ::popen(command.c_str(), "re"))) throw std::runtime_error("FtpServer: no python3");
  std::setvbuf(pipe_, nullptr, _IONBF, 0);  // so that poll() sees what is still unread
  pollfd out{::fileno(pipe_), POLLIN, 0};
  const auto ready = [&] { return ::poll(&out, 1, 10000) == 1; };
  auto next = [&](int& n) { return ready() && std::fscanf(pipe_, "%d", &n) == 1; };
  // The server prints its process id at once, its port once it listens, and
  // then, with TLS, its certificate's fingerprint.
  char fingerprint[65] = "";
  if (!next(pid_) || !next(port_) || (!tls.empty() && !(ready() && std::fscanf(pipe_, "%64s", fingerprint) == 1))) {
    Stop();
    throw std::runtime_error("FtpServer: the server did not start:\n" + LogText());
  }
  fingerprint_ = fingerprint;
}

void FtpServer::Stop() {
  // vsftpd's sessions outlive it unless its script takes them down.
  if (pid_ > 0) ::kill(pid_, SIGTERM);
  ::pclose(pipe_);
}

FtpServer::~FtpServer() {
  Stop();
  if (::testing::Test::HasFailure() || std::uncaught_exceptions() > 0) {
    std::string log = LogText();
    if (log.size() > 16000) log = "...\n" + log.substr(log.size() - 16000);
    std::cerr << "---- FTP server log ----\n" << log << "---- end of FTP server log ----\n";
  }
}

std::string FtpServer::ReadFile(const std::string& relative) const {
  if (!Exists(relative)) throw std::runtime_error("FtpServer: no file " + relative);
  return base_.ReadFile(RootName() + "/" + relative);
}
