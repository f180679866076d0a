#include "standins/netlink.h"

#include <arpa/inet.h>
#include <linux/if_addr.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <vector>

#include "platform/posix/netlink_socket.h"

namespace netvane::standins::netlink {
namespace {

using Socket = platform::NetlinkSocket;
using platform::NetlinkRequest;

void Attribute(std::vector<uint8_t>& m, uint16_t type, const void* data, size_t size) {
  const size_t at = NLMSG_ALIGN(m.size());
  m.resize(at + RTA_SPACE(size), 0);
  auto* a = reinterpret_cast<rtattr*>(m.data() + at);
  a->rta_type = type;
  a->rta_len = static_cast<uint16_t>(RTA_LENGTH(size));
  std::memcpy(RTA_DATA(a), data, size);
}

void Attribute32(std::vector<uint8_t>& m, uint16_t type, uint32_t value) {
  Attribute(m, type, &value, sizeof value);
}

// Dumps with `dump`, then deletes each object `wanted` picks by sending its message back as
// `delete_type`. An object already gone (`gone`: it went with an earlier one) is no error.
std::string DeleteEach(std::vector<uint8_t>& dump, uint16_t delete_type, int gone,
                       const std::function<bool(const nlmsghdr*)>& wanted) {
  Socket s;
  std::vector<std::vector<uint8_t>> deletes;
  std::string error = s.Talk(dump, [&](const nlmsghdr* m) {
    if (!wanted(m)) return;
    std::vector<uint8_t> del(reinterpret_cast<const uint8_t*>(m),
                             reinterpret_cast<const uint8_t*>(m) + m->nlmsg_len);
    auto* h = reinterpret_cast<nlmsghdr*>(del.data());
    h->nlmsg_type = delete_type;
    h->nlmsg_flags = NLM_F_REQUEST | NLM_F_ACK;
    deletes.push_back(std::move(del));
  });
  for (auto& del : deletes) {
    if (!error.empty()) break;
    error = s.Talk(del);
    if (error == std::strerror(gone)) error.clear();
  }
  return error;
}

}  // namespace

std::string FlushAddresses(int ifindex) {
  ifaddrmsg query{};
  query.ifa_family = AF_INET;
  std::vector<uint8_t> dump = NetlinkRequest(RTM_GETADDR, NLM_F_DUMP, query);
  return DeleteEach(dump, RTM_DELADDR, EADDRNOTAVAIL, [&](const nlmsghdr* m) {
    const auto* a = reinterpret_cast<const ifaddrmsg*>(NLMSG_DATA(m));
    return m->nlmsg_type == RTM_NEWADDR && a->ifa_family == AF_INET &&
           static_cast<int>(a->ifa_index) == ifindex;
  });
}

std::string AddAddress(int ifindex, uint32_t address, int prefix) {
  ifaddrmsg body{};
  body.ifa_family = AF_INET;
  body.ifa_prefixlen = static_cast<uint8_t>(prefix);
  body.ifa_scope = RT_SCOPE_UNIVERSE;
  body.ifa_index = static_cast<uint32_t>(ifindex);
  std::vector<uint8_t> m = NetlinkRequest(RTM_NEWADDR, NLM_F_ACK | NLM_F_CREATE | NLM_F_EXCL, body);
  const uint32_t net = htonl(address);
  Attribute32(m, IFA_LOCAL, net);
  Attribute32(m, IFA_ADDRESS, net);
  if (prefix < 31) {
    const uint32_t broadcast = htonl(address | (0xFFFFFFFFu >> prefix));
    Attribute32(m, IFA_BROADCAST, broadcast);
  }
  Socket s;
  return s.Talk(m);
}

std::string SetLinkUp(int ifindex) {
  ifinfomsg body{};
  body.ifi_family = AF_UNSPEC;
  body.ifi_index = ifindex;
  body.ifi_flags = IFF_UP;
  body.ifi_change = IFF_UP;
  std::vector<uint8_t> m = NetlinkRequest(RTM_NEWLINK, NLM_F_ACK, body);
  Socket s;
  return s.Talk(m);
}

std::string DeleteDefaultRoutes(int ifindex) {
  rtmsg query{};
  query.rtm_family = AF_INET;
  std::vector<uint8_t> dump = NetlinkRequest(RTM_GETROUTE, NLM_F_DUMP, query);
  return DeleteEach(dump, RTM_DELROUTE, ESRCH, [&](const nlmsghdr* m) {
    const auto* r = reinterpret_cast<const rtmsg*>(NLMSG_DATA(m));
    if (m->nlmsg_type != RTM_NEWROUTE || r->rtm_family != AF_INET || r->rtm_dst_len != 0 ||
        r->rtm_table != RT_TABLE_MAIN) {
      return false;
    }
    int oif = -1;
    int len = static_cast<int>(RTM_PAYLOAD(m));
    for (auto* a = RTM_RTA(r); RTA_OK(a, len); a = RTA_NEXT(a, len)) {
      if (a->rta_type == RTA_OIF) std::memcpy(&oif, RTA_DATA(a), sizeof oif);
    }
    return oif == ifindex;
  });
}

std::string AddDefaultRoute(int ifindex, uint32_t gateway, uint32_t metric) {
  rtmsg body{};
  body.rtm_family = AF_INET;
  body.rtm_table = RT_TABLE_MAIN;
  body.rtm_protocol = RTPROT_BOOT;
  body.rtm_scope = RT_SCOPE_UNIVERSE;
  body.rtm_type = RTN_UNICAST;
  std::vector<uint8_t> m =
      NetlinkRequest(RTM_NEWROUTE, NLM_F_ACK | NLM_F_CREATE | NLM_F_EXCL, body);
  Attribute32(m, RTA_GATEWAY, htonl(gateway));
  Attribute32(m, RTA_OIF, static_cast<uint32_t>(ifindex));
  Attribute32(m, RTA_PRIORITY, metric);
  Socket s;
  return s.Talk(m);
}

}  // namespace netvane::standins::netlink
