#include "helper/server.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "helper/request.h"

namespace netvane::helper {
namespace {

// Connections served at once; more wait in the listen queue.
constexpr int kMostAtOnce = 16;
// A caller that sends no request within this is dropped.
constexpr timeval kRequestPatience{5, 0};

std::optional<gid_t> GroupId(const std::string& group) {
  std::vector<char> buffer(16384);
  struct group entry {};
  struct group* found = nullptr;
  if (getgrnam_r(group.c_str(), &entry, buffer.data(), buffer.size(), &found) != 0 ||
      found == nullptr) {
    return std::nullopt;
  }
  return found->gr_gid;
}

bool SendReply(int conn, const Reply& reply, int fd) {
  const std::vector<uint8_t> bytes = EncodeReply(reply);
  iovec io{const_cast<uint8_t*>(bytes.data()), bytes.size()};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  msghdr msg{};
  msg.msg_iov = &io;
  msg.msg_iovlen = 1;
  if (fd >= 0) {
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&msg);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(c), &fd, sizeof(int));
  }
  return sendmsg(conn, &msg, MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

// One connection: the caller's credentials, one request, one reply.
void ServeConnection(int conn, const std::string& group, const Settings& settings) {
  ucred peer{};
  socklen_t size = sizeof peer;
  if (getsockopt(conn, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) return;
  const std::string who =
      "uid " + std::to_string(peer.uid) + " (pid " + std::to_string(peer.pid) + ")";
  // The request is read even from a caller who is refused: a hang-up on a request left unread
  // would reset the connection before the refusal reaches them.
  setsockopt(conn, SOL_SOCKET, SO_RCVTIMEO, &kRequestPatience, sizeof kRequestPatience);
  uint8_t buffer[kLargestMessage + 1];
  const ssize_t n = recv(conn, buffer, sizeof buffer, MSG_TRUNC);
  if (const std::string why = Refusal(peer.uid, group); !why.empty()) {
    std::fprintf(stderr, "netvane-helper: refused %s: %s\n", who.c_str(), why.c_str());
    SendReply(conn, {Status::kRefused, "not permitted: " + why, {}}, -1);
    return;
  }
  if (n <= 0) return;
  const Decoded decoded = n > static_cast<ssize_t>(kLargestMessage)
                              ? Decoded{std::nullopt, "malformed request"}
                              : DecodeRequest(buffer, static_cast<size_t>(n));
  if (!decoded.request) {
    std::fprintf(stderr, "netvane-helper: refused a request of %s: %s\n", who.c_str(),
                 decoded.refusal.c_str());
    SendReply(conn, {Status::kRefused, decoded.refusal, {}}, -1);
    return;
  }
  int fd = -1;
  const Reply reply = Carry(*decoded.request, settings, &fd);
  if (reply.status != Status::kDone) {
    std::fprintf(stderr, "netvane-helper: operation %d of %s failed: %s\n",
                 static_cast<int>(decoded.request->operation), who.c_str(), reply.message.c_str());
  }
  SendReply(conn, reply, fd);
  if (fd >= 0) close(fd);
}

}  // namespace

int ActivatedSocket() {
  const char* pid = std::getenv("LISTEN_PID");
  const char* fds = std::getenv("LISTEN_FDS");
  if (pid == nullptr || fds == nullptr || std::atol(pid) != static_cast<long>(getpid()) ||
      std::atoi(fds) < 1) {
    return -1;
  }
  unsetenv("LISTEN_PID");
  unsetenv("LISTEN_FDS");
  unsetenv("LISTEN_FDNAMES");
  constexpr int kFirst = 3;
  int type = 0;
  socklen_t size = sizeof type;
  if (getsockopt(kFirst, SOL_SOCKET, SO_TYPE, &type, &size) != 0 || type != SOCK_SEQPACKET)
    return -1;
  // The programs the helper starts do not inherit it.
  fcntl(kFirst, F_SETFD, FD_CLOEXEC);
  return kFirst;
}

int MakeSocket(const std::string& path, const std::string& group, std::string* error) {
  const std::optional<gid_t> gid = GroupId(group);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (!gid) {
    *error = "there is no group \"" + group + "\"";
    return -1;
  }
  if (path.empty() || path.size() >= sizeof addr.sun_path) {
    *error = "the socket path is empty or too long";
    return -1;
  }
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  struct stat old {};
  // A socket left by an earlier run goes; anything else at the path stays and is reported.
  if (lstat(path.c_str(), &old) == 0 && S_ISSOCK(old.st_mode)) unlink(path.c_str());
  // The mode is set before others can connect: bound with no access, then opened up.
  const mode_t mask = umask(0177);
  const bool bound =
      fd >= 0 && bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
  umask(mask);
  if (!bound || chown(path.c_str(), 0, *gid) != 0 || chmod(path.c_str(), 0660) != 0 ||
      listen(fd, 64) != 0) {
    *error = "cannot listen on " + path + ": " + std::strerror(errno);
    if (fd >= 0) close(fd);
    return -1;
  }
  return fd;
}

std::string Refusal(uid_t uid, const std::string& group) {
  if (uid == 0) return "";
  std::vector<char> buffer(16384);
  passwd entry{};
  passwd* user = nullptr;
  if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &user) != 0 || user == nullptr)
    return "uid " + std::to_string(uid) + " is no known user";
  const std::optional<gid_t> gid = GroupId(group);
  if (!gid) return "there is no group \"" + group + "\"";
  if (user->pw_gid == *gid) return "";
  int count = 64;
  std::vector<gid_t> groups(static_cast<size_t>(count));
  if (getgrouplist(user->pw_name, user->pw_gid, groups.data(), &count) < 0) {
    groups.resize(static_cast<size_t>(count));
    getgrouplist(user->pw_name, user->pw_gid, groups.data(), &count);
  }
  for (int i = 0; i < count && i < static_cast<int>(groups.size()); ++i) {
    if (groups[static_cast<size_t>(i)] == *gid) return "";
  }
  return std::string("user ") + user->pw_name + " is not a member of group " + group;
}

void Serve(int listener, const std::string& group, const Settings& settings) {
  int running = 0;
  while (true) {
    while (running > 0 && waitpid(-1, nullptr, WNOHANG) > 0) --running;
    if (running >= kMostAtOnce) {
      if (waitpid(-1, nullptr, 0) > 0) --running;
      continue;
    }
    // Wakes now and then to collect the connections that ended.
    pollfd watch{listener, POLLIN, 0};
    if (poll(&watch, 1, 1000) <= 0) continue;
    const int conn = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (conn < 0) continue;
    const pid_t child = fork();
    if (child == 0) {
      close(listener);
      ServeConnection(conn, group, settings);
      close(conn);
      _exit(0);
    }
    close(conn);
    if (child > 0) ++running;
  }
}

}  // namespace netvane::helper
