// A real FTP server on loopback for the tests: pyftpdlib serving a folder on a free port.
// Anonymous logins read only; the user "netvane" (password "secret") may also write.
#pragma once

#include <sys/types.h>

#include <string>

namespace netvane::testing {

class LoopbackFtpServer {
 public:
  explicit LoopbackFtpServer(const std::string& root);
  ~LoopbackFtpServer();
  LoopbackFtpServer(const LoopbackFtpServer&) = delete;
  LoopbackFtpServer& operator=(const LoopbackFtpServer&) = delete;

  // "127.0.0.1:PORT", or empty when the server did not come up.
  const std::string& address() const { return address_; }
  int port() const { return port_; }

 private:
  pid_t pid_ = -1;
  int port_ = 0;
  std::string address_;
};

// A port nobody listens on right now.
int FreeTcpPort();

}  // namespace netvane::testing
