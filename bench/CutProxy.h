#pragma once
// A proxy for FTP control connections on 127.0.0.1 that cuts them: every
// connection is forwarded to the server's port, and shortly after the
// client's STOR lines numbered in `cutAt` (1 is the first STOR of all
// connections together) both sides are reset, as a broken link would leave
// them. Data connections go to the server directly.
#include <atomic>
#include <thread>
#include <vector>

class CutProxy {
public:
  CutProxy(int serverPort, std::vector<int> cutAt);  // listens; throws when it cannot
  ~CutProxy();
  CutProxy(const CutProxy&) = delete;
  CutProxy& operator=(const CutProxy&) = delete;
  int Port() const { return port_; }
  int Cuts() const { return cuts_; }

private:
  bool Forward(int client);  // one connection; false when stopped
  int serverPort_, port_ = 0, listen_ = -1, stors_ = 0;
  std::vector<int> cutAt_;
  std::atomic<int> cuts_{0};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};
