#include "platform/posix/netlink_socket.h"

#include <linux/rtnetlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace netvane::platform {

NetlinkSocket::NetlinkSocket() : fd_(socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE)) {
  if (fd_ < 0) open_error_ = errno;
}

NetlinkSocket::~NetlinkSocket() {
  if (fd_ >= 0) close(fd_);
}

std::string NetlinkSocket::Talk(std::vector<uint8_t>& request,
                                const std::function<void(const nlmsghdr*)>& each) {
  if (fd_ < 0) return std::string("netlink: ") + std::strerror(open_error_);
  auto* h = reinterpret_cast<nlmsghdr*>(request.data());
  h->nlmsg_len = static_cast<uint32_t>(request.size());
  h->nlmsg_seq = ++seq_;
  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  if (sendto(fd_, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&kernel),
             sizeof kernel) < 0) {
    return std::string("netlink: ") + std::strerror(errno);
  }
  std::vector<uint8_t> buffer(32768);
  while (true) {
    const ssize_t n = recv(fd_, buffer.data(), buffer.size(), 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::string("netlink: ") + std::strerror(errno);
    }
    int len = static_cast<int>(n);
    for (auto* m = reinterpret_cast<nlmsghdr*>(buffer.data()); NetlinkMessageFits(m, len);
         m = NLMSG_NEXT(m, len)) {
      if (m->nlmsg_seq != seq_) continue;
      if (m->nlmsg_type == NLMSG_DONE) return "";
      if (m->nlmsg_type == NLMSG_ERROR) {
        const int error = -reinterpret_cast<nlmsgerr*>(NLMSG_DATA(m))->error;
        return error == 0 ? "" : std::strerror(error);
      }
      if (each) each(m);
    }
  }
}

}  // namespace netvane::platform
