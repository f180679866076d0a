// A real FTP server on loopback for the tests: tests/support/ftp_server.py (pyftpdlib) serving a
// folder on ports the system picks. Anonymous logins read only; the user "netvane" (password
// "secret") may also write. Files named stall*, silent* and cut<N>-* are served as broken
// servers serve them (see the script).
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
  // A listener beside it that takes connections and never greets.
  const std::string& silent_address() const { return silent_address_; }

 private:
  pid_t pid_ = -1;
  int port_ = 0;
  std::string address_;
  std::string silent_address_;
};

// A port nobody listens on right now.
int FreeTcpPort();

}  // namespace netvane::testing
