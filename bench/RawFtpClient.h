#pragma once
// A minimal blocking FTP client on POSIX sockets: the benchmarks' raw loops
// that the program is measured against. Every call is bounded by
// a 10 s time-out; failures throw std::runtime_error.
#include <string>

class RawFtpClient {
public:
  explicit RawFtpClient(int port);  // connects to 127.0.0.1:port
  ~RawFtpClient();
  RawFtpClient(const RawFtpClient&) = delete;
  RawFtpClient& operator=(const RawFtpClient&) = delete;
  void SendLine(const std::string& line);      // adds CR LF
  void SendUrgent(const std::string& bytes);   // one send with MSG_OOB
  std::string ReadReply();                     // the final line of a reply, without CR LF
  std::string Command(const std::string& line) { SendLine(line); return ReadReply(); }
  std::string ReceiveSome();                   // one read from control ("" at its end)
  // Active-mode data: Listen() then SendLine(PortCommand()); after the
  // transfer command, Accept() and move the data.
  void Listen();
  std::string PortCommand() const;             // "PORT 127,0,0,1,p1,p2"
  void Accept();
  void DataSend(const std::string& bytes);
  std::string DataReceiveAll();                // until the server closes
  void DataClose();
private:
  std::string ReadLine();
  int control_ = -1;
  int listen_ = -1;
  int data_ = -1;
  int listenPort_ = 0;
  std::string buffered_;
};
