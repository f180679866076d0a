#include "ftp_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

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

namespace {

bool Accepts(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  ::close(fd);
  return ok;
}

}  // namespace

LoopbackFtpServer::LoopbackFtpServer(const std::string& root) {
  static const char kScript[] =
      "import sys\n"
      "from pyftpdlib.authorizers import DummyAuthorizer\n"
      "from pyftpdlib.handlers import FTPHandler\n"
      "from pyftpdlib.servers import FTPServer\n"
      "users = DummyAuthorizer()\n"
      "users.add_anonymous(sys.argv[2])\n"
      "users.add_user('netvane', 'secret', sys.argv[2], perm='elradfmwMT')\n"
      "FTPHandler.authorizer = users\n"
      // A refused login answers at once instead of after pyftpdlib's three-second pause.
      "FTPHandler.auth_failed_timeout = 0\n"
      "FTPServer(('127.0.0.1', int(sys.argv[1])), FTPHandler).serve_forever()\n";
  port_ = FreeTcpPort();
  const std::string port = std::to_string(port_);
  pid_ = fork();
  if (pid_ == 0) {
    // Quiet: the server's log would drown the test output.
    if (freopen("/dev/null", "w", stderr) == nullptr) _exit(126);
    // Python finds its installation from its own name: given as a bare "python3", PATH would
    // choose it (a version manager's, a virtual environment's). -I also leaves out PYTHON*
    // variables and the user's own packages.
    execl("/usr/bin/python3", "/usr/bin/python3", "-I", "-c", kScript, port.c_str(), root.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  for (int i = 0; i < 200; ++i) {
    if (Accepts(port_)) {
      address_ = "127.0.0.1:" + port;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

LoopbackFtpServer::~LoopbackFtpServer() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
}

}  // namespace netvane::testing
