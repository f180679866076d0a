#include "ftp_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace netvane::testing {

int FreeTcpPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  ::close(fd);
  return ntohs(addr.sin_port);
}

LoopbackFtpServer::LoopbackFtpServer(const std::string& root) {
  // The script lies beside this file.
  const std::string script =
      (std::filesystem::path(__FILE__).parent_path() / "ftp_server.py").string();
  int out[2];
  if (pipe(out) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    ::close(out[0]);
    // Quiet: the server's log would drown the test output.
    if (dup2(out[1], STDOUT_FILENO) < 0 || freopen("/dev/null", "w", stderr) == nullptr) {
      _exit(126);
    }
    // Python finds its installation from its own name: given as a bare "python3", PATH would
    // choose it (a version manager's, a virtual environment's). -I also leaves out PYTHON*
    // variables and the user's own packages.
    execl("/usr/bin/python3", "/usr/bin/python3", "-I", script.c_str(), root.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  ::close(out[1]);
  // The script names its ports once it listens.
  std::string line;
  pollfd ready{out[0], POLLIN, 0};
  char c = 0;
  while (pid_ > 0 && line.find('\n') == std::string::npos && poll(&ready, 1, 10000) == 1 &&
         ::read(out[0], &c, 1) == 1) {
    line += c;
  }
  ::close(out[0]);
  int silent = 0;
  if (std::sscanf(line.c_str(), "%d %d", &port_, &silent) == 2) {
    address_ = "127.0.0.1:" + std::to_string(port_);
    silent_address_ = "127.0.0.1:" + std::to_string(silent);
  }
}

LoopbackFtpServer::~LoopbackFtpServer() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
}

}  // namespace netvane::testing
