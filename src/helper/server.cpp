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
#include <map>
#include <set>
#include <vector>

#include "helper/request.h"

namespace netvane::helper {
namespace {

// Connections served at once, and of them at most so many of one user; more wait in the
// listen queue, or are refused at once when their user has that many open.
constexpr size_t kMostAtOnce = 16;
constexpr int kMostPerUser = 4;
// A request is one packet: a caller that has sent none within this is dropped.
constexpr timeval kRequestPatience{1, 0};
// The longest text of a caller's that goes into the log.
constexpr size_t kLoggedText = 200;
// Connections the kernel holds until they are accepted (netvane-helper.socket's Backlog= too).
constexpr int kBacklog = 128;

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

// Whether the caller still waits for its reply: it has not hung up.
bool CallerWaits(int conn) {
  pollfd watch{conn, POLLRDHUP, 0};
  return poll(&watch, 1, 0) == 0 || (watch.revents & (POLLRDHUP | POLLHUP | POLLERR)) == 0;
}

// Tells the serving loop that this connection's caller no longer waits on it, before the reply
// leaves: a caller who asks again at once must not find its ended connection still counted
// because this process has not been collected yet.
void Finished(int done) {
  const pid_t self = getpid();
  if (done >= 0 && write(done, &self, sizeof self) != static_cast<ssize_t>(sizeof self)) {
    // A full pipe only delays the count until the process is collected.
  }
}

// One connection: the caller's credentials, one request, one reply. `done` is the serving
// loop's pipe for Finished.
void ServeConnection(int conn, const ucred& peer, const std::string& group,
                     const Settings& settings, int done) {
  const std::string who =
      "uid " + std::to_string(peer.uid) + " (pid " + std::to_string(peer.pid) + ")";
  // The request is read even from a caller who is refused: a hang-up on a request left unread
  // would reset the connection before the refusal reaches them.
  setsockopt(conn, SOL_SOCKET, SO_RCVTIMEO, &kRequestPatience, sizeof kRequestPatience);
  uint8_t buffer[kLargestMessage + 1];
  const ssize_t n = recv(conn, buffer, sizeof buffer, MSG_TRUNC);
  if (const std::string why = Refusal(peer.uid, group); !why.empty()) {
    std::fprintf(stderr, "netvane-helper: refused %s: %s\n", who.c_str(),
                 Printable(why, kLoggedText).c_str());
    Finished(done);
    SendReply(conn, {Status::kRefused, "not permitted: " + why, {}}, -1);
    return;
  }
  if (n <= 0) return;
  const Decoded decoded = n > static_cast<ssize_t>(kLargestMessage)
                              ? Decoded{std::nullopt, "malformed request"}
                              : DecodeRequest(buffer, static_cast<size_t>(n));
  if (!decoded.request) {
    std::fprintf(stderr, "netvane-helper: refused a request of %s: %s\n", who.c_str(),
                 Printable(decoded.refusal, kLoggedText).c_str());
    Finished(done);
    SendReply(conn, {Status::kRefused, decoded.refusal, {}}, -1);
    return;
  }
  int fd = -1;
  const Reply reply = Carry(
      *decoded.request, settings, [conn] { return CallerWaits(conn); }, &fd);
  if (reply.status != Status::kDone) {
    std::fprintf(stderr, "netvane-helper: operation %d of %s failed: %s\n",
                 static_cast<int>(decoded.request->operation), who.c_str(),
                 Printable(reply.message, kLoggedText).c_str());
  }
  Finished(done);
  SendReply(conn, reply, fd);
  if (fd >= 0) close(fd);
}

// A caller with too many connections open: told so at once, whatever it sent.
void TurnAway(int conn, uid_t uid) {
  uint8_t buffer[kLargestMessage + 1];
  while (recv(conn, buffer, sizeof buffer, MSG_DONTWAIT | MSG_TRUNC) > 0) {
  }
  SendReply(conn,
            {Status::kRefused,
             "uid " + std::to_string(uid) + " has " + std::to_string(kMostPerUser) +
                 " connections to netvane-helper open already; try again when they have ended",
             {}},
            -1);
}

}  // namespace

std::string PrepareFolder(const std::string& path) {
  if (path.empty() || path[0] != '/') return "the folder \"" + path + "\" is no absolute path";
  for (size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
    const std::string part = path.substr(0, end);
    struct stat st {};
    if (lstat(part.c_str(), &st) != 0) {
      // Root's already, made by root; chmod for the umask.
      if (mkdir(part.c_str(), 0755) != 0 || chmod(part.c_str(), 0755) != 0) {
        return "cannot make the folder " + part + ": " + std::strerror(errno);
      }
    }
    if (end == std::string::npos) break;
  }
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return path + " is no folder";
  if (st.st_uid != 0) return "the folder " + path + " is not owned by root";
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
    return "the folder " + path + " is writable by others";
  return "";
}

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
      listen(fd, kBacklog) != 0) {
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
  struct Child {
    uid_t uid;
    bool counted;  // against its user's connections, until Finished or collected
  };
  std::map<pid_t, Child> children;
  std::map<uid_t, int> open_of;
  std::set<uid_t> told;  // users whose turning away is in the log already
  int done[2] = {-1, -1};
  if (pipe2(done, O_CLOEXEC | O_NONBLOCK) != 0) done[0] = done[1] = -1;
  const auto uncount = [&](Child& child) {
    if (!child.counted) return;
    child.counted = false;
    if (--open_of[child.uid] == 0) {
      open_of.erase(child.uid);
      told.erase(child.uid);
    }
  };
  while (true) {
    for (pid_t pid; (pid = waitpid(-1, nullptr, WNOHANG)) > 0;) {
      const auto child = children.find(pid);
      if (child == children.end()) continue;
      uncount(child->second);
      children.erase(child);
    }
    // With every place taken, only connections that end are collected; idle ones end within a
    // second.
    pollfd watch{listener, POLLIN, 0};
    if (children.size() >= kMostAtOnce) {
      poll(nullptr, 0, 20);
      continue;
    }
    if (poll(&watch, 1, 200) <= 0) continue;
    const int conn = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (conn < 0) continue;
    ucred peer{};
    socklen_t size = sizeof peer;
    if (getsockopt(conn, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) {
      close(conn);
      continue;
    }
    for (pid_t pid; done[0] >= 0 && read(done[0], &pid, sizeof pid) == sizeof pid;) {
      if (const auto child = children.find(pid); child != children.end()) uncount(child->second);
    }
    if (open_of[peer.uid] >= kMostPerUser) {
      if (told.insert(peer.uid).second) {
        std::fprintf(stderr, "netvane-helper: turned away connections of uid %u: %d open\n",
                     static_cast<unsigned>(peer.uid), kMostPerUser);
      }
      TurnAway(conn, peer.uid);
      close(conn);
      continue;
    }
    const pid_t child = fork();
    if (child == 0) {
      close(listener);
      if (done[0] >= 0) close(done[0]);
      ServeConnection(conn, peer, group, settings, done[1]);
      Finished(done[1]);
      close(conn);
      _exit(0);
    }
    close(conn);
    if (child > 0) {
      children[child] = {peer.uid, true};
      ++open_of[peer.uid];
    }
  }
}

}  // namespace netvane::helper
