#pragma once
// Windows Sockets error numbers and their texts, and the mapping from the
// system's errno values to them.
#include <string>

namespace wsa {
constexpr int EINTR_ = 10004;         // Interrupted system call
constexpr int EBADF_ = 10009;
constexpr int EACCES_ = 10013;
constexpr int EFAULT_ = 10014;
constexpr int EINVAL_ = 10022;
constexpr int EMFILE_ = 10024;
constexpr int EWOULDBLOCK_ = 10035;
constexpr int EINPROGRESS_ = 10036;
constexpr int EALREADY_ = 10037;
constexpr int ENOTSOCK_ = 10038;
constexpr int ECONNABORTED_ = 10053;
constexpr int ECONNRESET_ = 10054;
constexpr int ENOTCONN_ = 10057;
constexpr int ESHUTDOWN_ = 10058;
constexpr int ETIMEDOUT_ = 10060;
constexpr int ECONNREFUSED_ = 10061;
constexpr int HOST_NOT_FOUND_ = 11001;
}  // namespace wsa

// The text for a Windows Sockets error number; "Not a WinSock error" for
// every number the table does not hold, 0 included.
std::string GetErrorText(int error);

// The Windows Sockets number of the same meaning as an errno value.
int WinsockErrorFromErrno(int errnoValue);
