#include "platform/posix/helper_wire.h"

#include <pwd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace netvane::helper {

std::optional<Frame> SplitFrame(const uint8_t* data, size_t size) {
  if (size < 2 || size > kLargestMessage || data[0] != kVersion) return std::nullopt;
  Frame frame;
  frame.code = data[1];
  size_t start = 2;
  for (size_t i = 2; i < size; ++i) {
    if (data[i] != 0) continue;
    frame.fields.emplace_back(reinterpret_cast<const char*>(data + start), i - start);
    start = i + 1;
  }
  if (start != size) return std::nullopt;
  return frame;
}

std::vector<uint8_t> JoinFrame(uint8_t code, const std::vector<std::string>& fields) {
  std::vector<uint8_t> bytes = {kVersion, code};
  for (const std::string& f : fields) {
    bytes.insert(bytes.end(), f.begin(), f.end());
    bytes.push_back(0);
  }
  return bytes;
}

std::vector<uint8_t> EncodeRequest(Operation operation, const std::vector<std::string>& args) {
  return JoinFrame(static_cast<uint8_t>(operation), args);
}

std::vector<uint8_t> EncodeReply(const Reply& reply) {
  std::vector<std::string> fields = {reply.message};
  fields.insert(fields.end(), reply.fields.begin(), reply.fields.end());
  // A reply never exceeds what the caller reads: a long message is cut.
  size_t size = 2;
  for (const std::string& f : fields) size += f.size() + 1;
  if (size > kLargestMessage) {
    fields[0].resize(fields[0].size() - std::min(fields[0].size(), size - kLargestMessage));
  }
  // Values that do not fit are not cut (a cut lease would read as another one): the caller is
  // told the reply failed.
  if (size - reply.message.size() + fields[0].size() > kLargestMessage) {
    return JoinFrame(static_cast<uint8_t>(Status::kFailed),
                     {"netvane-helper's reply is too long to send"});
  }
  return JoinFrame(static_cast<uint8_t>(reply.status), fields);
}

std::string SocketPath() {
  const char* path = std::getenv("NETVANE_HELPER_SOCKET");
  return path != nullptr && *path != '\0' ? path : kDefaultSocket;
}

std::string NoHelperMessage(const std::string& what, Unreachable why) {
  const passwd* user = getpwuid(geteuid());
  const std::string name = user != nullptr ? user->pw_name : "uid " + std::to_string(geteuid());
  const std::string socket = SocketPath();
  const std::string start = what + " needs root or netvane-helper, and ";
  if (why == Unreachable::kNotAllowed) {
    return start + name + " may not use netvane-helper (" + socket +
           "): an administrator adds them to group netvane (usermod -aG netvane " + name +
           "), and they log in again.";
  }
  if (why == Unreachable::kNotListening) {
    return start + "no netvane-helper listens on " + socket +
           ": an administrator starts it (systemctl enable --now netvane-helper.socket).";
  }
  return start + "netvane-helper cannot be reached at " + socket + ".";
}

namespace {

// The reply packet and the descriptor passed with it, if any.
ssize_t Receive(int sock, uint8_t* buffer, size_t size, int* fd) {
  iovec io{buffer, size};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
  msghdr msg{};
  msg.msg_iov = &io;
  msg.msg_iovlen = 1;
  msg.msg_control = control;
  msg.msg_controllen = sizeof control;
  const ssize_t n = recvmsg(sock, &msg, MSG_CMSG_CLOEXEC);
  for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c != nullptr; c = CMSG_NXTHDR(&msg, c)) {
    if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS &&
        c->cmsg_len == CMSG_LEN(sizeof(int))) {
      std::memcpy(fd, CMSG_DATA(c), sizeof(int));
    }
  }
  return n;
}

}  // namespace

std::optional<Reply> CallHelper(const std::vector<uint8_t>& request, int* fd, Unreachable* why) {
  int passed = -1;
  const std::string path = SocketPath();
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (why != nullptr) *why = Unreachable::kOther;
  if (path.size() >= sizeof addr.sun_path) return std::nullopt;
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  const int sock = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (sock < 0) return std::nullopt;
  if (connect(sock, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
    const int err = errno;
    if (why != nullptr && (err == ENOENT || err == ECONNREFUSED || err == ENOTDIR))
      *why = Unreachable::kNotListening;
    if (why != nullptr && (err == EACCES || err == EPERM)) *why = Unreachable::kNotAllowed;
    close(sock);
    return std::nullopt;
  }
  // A renew waits for the DHCP client, which gives up well within this.
  const timeval patience{90, 0};
  setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
  Reply reply;
  reply.message = "no answer from the privileged helper at " + path;
  uint8_t buffer[kLargestMessage];
  // A refusal may already wait when the request cannot be sent.
  send(sock, request.data(), request.size(), MSG_NOSIGNAL);
  const ssize_t n = Receive(sock, buffer, sizeof buffer, &passed);
  const std::optional<Frame> frame =
      n > 0 ? SplitFrame(buffer, static_cast<size_t>(n)) : std::nullopt;
  if (frame && !frame->fields.empty() && frame->code <= static_cast<uint8_t>(Status::kRefused)) {
    reply.status = static_cast<Status>(frame->code);
    reply.message = frame->fields[0];
    reply.fields.assign(frame->fields.begin() + 1, frame->fields.end());
  }
  // The helper hangs up once it holds nothing of ours, such as its copy of a passed socket,
  // which would otherwise keep the port taken for a moment.
  while (n > 0 && recv(sock, buffer, sizeof buffer, 0) > 0) {
  }
  close(sock);
  if (fd != nullptr) *fd = -1;
  if (fd != nullptr && reply.status == Status::kDone) {
    *fd = passed;
  } else if (passed >= 0) {
    close(passed);
  }
  return reply;
}

}  // namespace netvane::helper
