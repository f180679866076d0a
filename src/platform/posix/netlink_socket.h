// A route netlink socket: one request at a time, its replies read up to the acknowledgement or
// the end of a dump. The stand-ins change addresses and routes through it; the network probe
// reads the neighbour table and the links with it.
#pragma once

#include <linux/netlink.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace netvane::platform {

// NLMSG_OK without its comparison of the unsigned header length with a signed one.
inline bool NetlinkMessageFits(const nlmsghdr* m, int len) {
  return len >= static_cast<int>(sizeof(nlmsghdr)) && m->nlmsg_len >= sizeof(nlmsghdr) &&
         m->nlmsg_len <= static_cast<unsigned>(len);
}

// A message of `type` with `body` as its payload (its length and sequence are set when sent).
template <typename Body>
std::vector<uint8_t> NetlinkRequest(uint16_t type, uint16_t flags, const Body& body) {
  std::vector<uint8_t> m(NLMSG_LENGTH(sizeof(Body)), 0);
  auto* h = reinterpret_cast<nlmsghdr*>(m.data());
  h->nlmsg_type = type;
  h->nlmsg_flags = static_cast<uint16_t>(NLM_F_REQUEST | flags);
  std::memcpy(NLMSG_DATA(h), &body, sizeof body);
  return m;
}

class NetlinkSocket {
 public:
  NetlinkSocket();
  ~NetlinkSocket();
  NetlinkSocket(const NetlinkSocket&) = delete;
  NetlinkSocket& operator=(const NetlinkSocket&) = delete;

  // Sends one request and reads the replies up to its acknowledgement or the end of a dump;
  // `each` sees every data message. Empty on success, else the error's text.
  std::string Talk(std::vector<uint8_t>& request,
                   const std::function<void(const nlmsghdr*)>& each = nullptr);

 private:
  int fd_;
  int open_error_ = 0;
  uint32_t seq_ = 0;
};

}  // namespace netvane::platform
