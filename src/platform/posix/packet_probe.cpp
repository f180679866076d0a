#include "platform/posix/packet_probe.h"

#include <arpa/inet.h>
#include <linux/filter.h>
#include <linux/if_ether.h>
#include <linux/neighbour.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <net/if_arp.h>
#include <netinet/in.h>
#include <netpacket/packet.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <optional>
#include <random>
#include <thread>
#include <utility>

#include "platform/ipv4.h"
#include "platform/posix/helper_wire.h"
#include "platform/posix/netlink_socket.h"
#include "platform/posix/probe_wire.h"
#include "platform/probe_facts.h"

namespace netvane::platform {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kArpRepeat{200};
constexpr milliseconds kDiscoverRepeat{500};
constexpr int kDiscovers = 2;
// Once every gateway has answered, a second answerer for one of them is waited for this much
// longer: two that answer the same probe do so within moments of each other.
constexpr milliseconds kStragglers{30};

class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

// Only ARP and IPv4/UDP to port 68 (not fragments) reach the socket; the rest of the traffic
// on the adapter never wakes the probe.
const sock_filter kFilter[] = {
    BPF_STMT(BPF_LD | BPF_H | BPF_ABS, 12),                  // the frame's type
    BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, ETH_P_ARP, 8, 0),    // ARP: taken
    BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, ETH_P_IP, 0, 8),     // not IPv4: dropped
    BPF_STMT(BPF_LD | BPF_B | BPF_ABS, 23),                  // the IP protocol
    BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, IPPROTO_UDP, 0, 6),  //
    BPF_STMT(BPF_LD | BPF_H | BPF_ABS, 20),                  // fragment offset
    BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, 0x1FFF, 4, 0),      //
    BPF_STMT(BPF_LDX | BPF_B | BPF_MSH, 14),                 // the IP header's length
    BPF_STMT(BPF_LD | BPF_H | BPF_IND, 16),                  // the UDP destination port
    BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, 68, 0, 1),           //
    BPF_STMT(BPF_RET | BPF_K, 0x40000),
    BPF_STMT(BPF_RET | BPF_K, 0),
};

std::string SystemError(const std::string& what, int error) {
  return what + ": " + std::strerror(error);
}

// A packet socket bound to the adapter, with its hardware address; -1 and `*error` when it
// cannot be had.
int OpenPacketSocket(const std::string& adapter, probe::Mac* mac, std::string* error,
                     bool* not_permitted) {
  const unsigned index = adapter.size() < IF_NAMESIZE ? if_nametoindex(adapter.c_str()) : 0;
  if (adapter.empty() || index == 0) {
    *error = "there is no network adapter named \"" + adapter + "\"";
    return -1;
  }
  // Bound to no protocol until the filter is in place, so nothing else slips in first.
  Fd s(socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (s.get() < 0) {
    const int err = errno;
    *not_permitted = err == EPERM || err == EACCES;
    *error = SystemError("cannot open a packet socket", err);
    return -1;
  }
  ifreq req{};
  std::memcpy(req.ifr_name, adapter.c_str(), adapter.size() + 1);
  if (ioctl(s.get(), SIOCGIFHWADDR, &req) != 0 || req.ifr_hwaddr.sa_family != ARPHRD_ETHER) {
    *error = "\"" + adapter + "\" is no Ethernet adapter";
    return -1;
  }
  std::memcpy(mac->data(), req.ifr_hwaddr.sa_data, mac->size());
  const sock_fprog program{static_cast<unsigned short>(std::size(kFilter)),
                           const_cast<sock_filter*>(kFilter)};
  sockaddr_ll me{};
  me.sll_family = AF_PACKET;
  me.sll_protocol = htons(ETH_P_ALL);
  me.sll_ifindex = static_cast<int>(index);
  if (setsockopt(s.get(), SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program) != 0 ||
      bind(s.get(), reinterpret_cast<const sockaddr*>(&me), sizeof me) != 0) {
    *error = SystemError("cannot listen on " + adapter, errno);
    return -1;
  }
  return s.release();
}

bool Send(int fd, const std::vector<uint8_t>& frame) {
  return send(fd, frame.data(), frame.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(frame.size());
}

// The probe's state between the frames it sends and those it hears.
class Exchange {
 public:
  Exchange(int fd, const probe::Mac& mac, const std::vector<uint32_t>& gateways, bool dhcp)
      : fd_(fd), mac_(mac), gateways_(gateways), heard_(gateways.size(), 0), dhcp_(dhcp) {
    std::random_device random;
    xid_ = random();
  }

  bool AllAnswered() const {
    return std::all_of(heard_.begin(), heard_.end(), [](size_t n) { return n > 0; });
  }
  bool OfferAwaited() const { return dhcp_ && !result_.offer; }

  // Probes each gateway that has not answered yet; false when the adapter takes none.
  bool SendProbes() {
    bool sent = true;
    for (size_t i = 0; i < gateways_.size(); ++i) {
      if (heard_[i] == 0) sent = Send(fd_, probe::ArpProbeFrame(mac_, gateways_[i])) && sent;
    }
    return sent;
  }
  bool SendDiscover() { return Send(fd_, probe::DiscoverFrame(mac_, xid_)); }

  // Every frame waiting on the socket.
  void Hear() {
    uint8_t frame[4096];
    sockaddr_ll from{};
    socklen_t size = sizeof from;
    for (ssize_t n; (n = recvfrom(fd_, frame, sizeof frame, MSG_DONTWAIT | MSG_TRUNC,
                                  reinterpret_cast<sockaddr*>(&from), &size)) >= 0;
         size = sizeof from) {
      if (from.sll_pkttype == PACKET_OUTGOING) continue;
      const size_t length = std::min(static_cast<size_t>(n), sizeof frame);
      if (const std::optional<probe::ArpAnswer> a = probe::ParseArpReply(frame, length)) {
        Record(*a);
      } else if (OfferAwaited()) {
        result_.offer = probe::ParseOfferFrame(frame, length, xid_);
      }
    }
  }

  ProbeResult& result() { return result_; }

 private:
  void Record(const probe::ArpAnswer& a) {
    const auto at = std::find(gateways_.begin(), gateways_.end(), a.sender);
    if (at == gateways_.end()) return;
    const size_t i = static_cast<size_t>(at - gateways_.begin());
    const GatewayAnswer answer{FormatIpv4(a.sender), MacFromBytes(a.mac.data(), a.mac.size())};
    // No gateway answers from a group or all-zero address.
    if (answer.mac.empty() || heard_[i] >= probe::kMostMacsPerGateway ||
        std::find(result_.answers.begin(), result_.answers.end(), answer) !=
            result_.answers.end()) {
      return;
    }
    ++heard_[i];
    result_.answers.push_back(answer);
  }

  int fd_;
  probe::Mac mac_;
  std::vector<uint32_t> gateways_;
  std::vector<size_t> heard_;  // hardware addresses heard for each gateway
  bool dhcp_;
  uint32_t xid_ = 0;
  ProbeResult result_;
};

int MillisecondsUntil(Clock::time_point when) {
  const auto left = std::chrono::duration_cast<milliseconds>(when - Clock::now()).count();
  return static_cast<int>(std::max<long>(0, left + 1));
}

// One request to the helper for at most probe::kMostGateways gateways.
ProbeResult AskHelper(const std::string& adapter, const std::vector<uint32_t>& gateways,
                      bool dhcp) {
  ProbeResult result;
  std::vector<std::string> args = {adapter, dhcp ? "dhcp" : "nodhcp"};
  for (const uint32_t g : gateways) args.push_back(FormatIpv4(g));
  helper::Unreachable why = helper::Unreachable::kOther;
  const std::optional<helper::Reply> reply =
      helper::CallHelper(helper::EncodeRequest(helper::Operation::kProbe, args), nullptr, &why);
  if (!reply) {
    result.error = helper::NoHelperMessage("probing the network", why);
  } else if (reply->status != helper::Status::kDone) {
    result.error = reply->message;
  } else if (std::optional<ProbeResult> read = probe::ResultOfFields(reply->fields, gateways)) {
    result = std::move(*read);
  } else {
    result.error = "netvane-helper's answer to the probe is malformed";
  }
  return result;
}

}  // namespace

ProbeResult ProbeOnPacketSocket(const std::string& adapter, const std::vector<uint32_t>& gateways,
                                bool dhcp, int timeout_ms, bool* not_permitted) {
  ProbeResult failed;
  bool refused = false;
  probe::Mac mac{};
  const Fd s(OpenPacketSocket(adapter, &mac, &failed.error, &refused));
  if (not_permitted != nullptr) *not_permitted = refused;
  if (s.get() < 0) return failed;

  Exchange exchange(s.get(), mac, gateways, dhcp);
  const Clock::time_point start = Clock::now();
  const Clock::time_point deadline = start + milliseconds(std::max(0, timeout_ms));
  Clock::time_point next_probe = start;
  Clock::time_point next_discover = start;
  int discovers = 0;
  std::optional<Clock::time_point> settled;
  for (bool first = true;; first = false) {
    const Clock::time_point now = Clock::now();
    if (!settled && exchange.AllAnswered() && !exchange.OfferAwaited())
      settled = gateways.empty() ? now : now + kStragglers;
    if (now >= deadline || (settled && now >= *settled)) break;
    bool sent = true;
    if (!exchange.AllAnswered() && now >= next_probe) {
      sent = exchange.SendProbes();
      next_probe = now + kArpRepeat;
    }
    if (exchange.OfferAwaited() && discovers < kDiscovers && now >= next_discover) {
      sent = exchange.SendDiscover() && sent;
      ++discovers;
      next_discover = now + kDiscoverRepeat;
    }
    if (first && !sent) {
      failed.error = SystemError("cannot send on " + adapter, errno);
      return failed;
    }
    Clock::time_point wake = settled ? std::min(deadline, *settled) : deadline;
    if (!exchange.AllAnswered()) wake = std::min(wake, next_probe);
    if (exchange.OfferAwaited() && discovers < kDiscovers) wake = std::min(wake, next_discover);
    pollfd watch{s.get(), POLLIN, 0};
    if (poll(&watch, 1, MillisecondsUntil(wake)) > 0) exchange.Hear();
  }
  return std::move(exchange.result());
}

ProbeResult PacketNetworkProbe::Probe(const ProbeRequest& request) {
  ProbeResult result;
  const std::vector<uint32_t> gateways = probe::CheckGateways(request.gateways, &result.error);
  if (!result.error.empty() || (gateways.empty() && !request.dhcp)) return result;
  bool not_permitted = false;
  result = ProbeOnPacketSocket(request.adapter, gateways, request.dhcp, request.timeout_ms,
                               &not_permitted);
  if (!not_permitted) return result;
  // The helper takes so many gateways at a time; the DHCP server is asked once.
  result = {};
  for (size_t at = 0; at == 0 || at < gateways.size(); at += probe::kMostGateways) {
    const std::vector<uint32_t> part(
        gateways.begin() + static_cast<long>(at),
        gateways.begin() + static_cast<long>(std::min(gateways.size(), at + probe::kMostGateways)));
    ProbeResult got = AskHelper(request.adapter, part, request.dhcp && at == 0);
    if (!got.error.empty()) return got;
    result.answers.insert(result.answers.end(), got.answers.begin(), got.answers.end());
    if (got.offer) result.offer = got.offer;
  }
  return result;
}

MacText PacketNetworkProbe::NeighbourMac(const std::string& adapter, const std::string& address) {
  const unsigned index = adapter.size() < IF_NAMESIZE ? if_nametoindex(adapter.c_str()) : 0;
  const std::optional<uint32_t> wanted = ParseIpv4(address);
  if (index == 0 || !wanted) return {};
  ndmsg query{};
  query.ndm_family = AF_INET;
  query.ndm_ifindex = static_cast<int>(index);
  std::vector<uint8_t> dump = NetlinkRequest(RTM_GETNEIGH, NLM_F_DUMP, query);
  // Entries that name a hardware address the kernel has heard or was given; not those still
  // asked for (INCOMPLETE) or given up (FAILED).
  constexpr uint16_t kKnown = NUD_REACHABLE | NUD_STALE | NUD_DELAY | NUD_PROBE | NUD_PERMANENT;
  MacText found;
  NetlinkSocket netlink;
  netlink.Talk(dump, [&](const nlmsghdr* m) {
    const auto* n = reinterpret_cast<const ndmsg*>(NLMSG_DATA(m));
    if (m->nlmsg_type != RTM_NEWNEIGH || m->nlmsg_len < NLMSG_LENGTH(sizeof(ndmsg)) ||
        n->ndm_family != AF_INET || n->ndm_ifindex != static_cast<int>(index) ||
        (n->ndm_state & kKnown) == 0) {
      return;
    }
    std::optional<uint32_t> dst;
    std::optional<probe::Mac> mac;
    int len = static_cast<int>(m->nlmsg_len - NLMSG_LENGTH(sizeof(ndmsg)));
    for (auto* a = reinterpret_cast<const rtattr*>(reinterpret_cast<const uint8_t*>(n) +
                                                   NLMSG_ALIGN(sizeof(ndmsg)));
         RTA_OK(a, len); a = RTA_NEXT(a, len)) {
      if (a->rta_type == NDA_DST && RTA_PAYLOAD(a) == 4) {
        uint32_t value = 0;
        std::memcpy(&value, RTA_DATA(a), 4);
        dst = ntohl(value);
      } else if (a->rta_type == NDA_LLADDR && RTA_PAYLOAD(a) == 6) {
        mac.emplace();
        std::memcpy(mac->data(), RTA_DATA(a), 6);
      }
    }
    if (dst == wanted && mac) found = MacFromBytes(mac->data(), mac->size());
  });
  return found;
}

namespace {

struct Link {
  std::string name;
  bool up = false;
};

// The link a RTM_NEWLINK or RTM_DELLINK message tells of, with its index.
std::optional<std::pair<int, Link>> LinkOf(const nlmsghdr* m) {
  if ((m->nlmsg_type != RTM_NEWLINK && m->nlmsg_type != RTM_DELLINK) ||
      m->nlmsg_len < NLMSG_LENGTH(sizeof(ifinfomsg))) {
    return std::nullopt;
  }
  const auto* info = reinterpret_cast<const ifinfomsg*>(NLMSG_DATA(m));
  Link link;
  // Carrier and operational state both up; a link that is gone is down.
  link.up = m->nlmsg_type == RTM_NEWLINK && (info->ifi_flags & IFF_UP) != 0 &&
            (info->ifi_flags & IFF_RUNNING) != 0;
  int len = static_cast<int>(IFLA_PAYLOAD(m));
  for (auto* a = IFLA_RTA(info); RTA_OK(a, len); a = RTA_NEXT(a, len)) {
    if (a->rta_type == IFLA_IFNAME && RTA_PAYLOAD(a) > 0) {
      const char* name = static_cast<const char*>(RTA_DATA(a));
      link.name.assign(name, strnlen(name, RTA_PAYLOAD(a)));
    }
  }
  return std::make_pair(info->ifi_index, link);
}

// Every link as the kernel lists it now; nullopt when it cannot be asked.
std::optional<std::map<int, Link>> DumpLinks() {
  ifinfomsg query{};
  query.ifi_family = AF_UNSPEC;
  std::vector<uint8_t> dump = NetlinkRequest(RTM_GETLINK, NLM_F_DUMP, query);
  std::map<int, Link> links;
  NetlinkSocket netlink;
  const std::string error = netlink.Talk(dump, [&](const nlmsghdr* m) {
    if (const auto link = LinkOf(m); link && m->nlmsg_type == RTM_NEWLINK)
      links[link->first] = link->second;
  });
  if (!error.empty()) return std::nullopt;
  return links;
}

class NetlinkLinkWatch final : public LinkWatch {
 public:
  NetlinkLinkWatch(int sock, int stop, std::map<int, Link> links, LinkChanged changed)
      : sock_(sock), stop_(stop), links_(std::move(links)), changed_(std::move(changed)) {
    thread_ = std::thread([this] { Run(); });
  }
  ~NetlinkLinkWatch() override {
    const uint64_t one = 1;
    // One write to a fresh counter cannot fail.
    [[maybe_unused]] const ssize_t n = write(stop_.get(), &one, sizeof one);
    thread_.join();
  }
  NetlinkLinkWatch(const NetlinkLinkWatch&) = delete;
  NetlinkLinkWatch& operator=(const NetlinkLinkWatch&) = delete;

 private:
  void Run() {
    pollfd watch[2] = {{sock_.get(), POLLIN, 0}, {stop_.get(), POLLIN, 0}};
    while (true) {
      if (poll(watch, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (watch[1].revents != 0) return;
      if ((watch[0].revents & POLLIN) != 0) {
        Read();
      } else if (watch[0].revents != 0) {
        return;
      }
    }
  }

  void Read() {
    std::vector<uint8_t> buffer(32768);
    const ssize_t n = recv(sock_.get(), buffer.data(), buffer.size(), MSG_DONTWAIT);
    if (n < 0) {
      // Changes were lost while the socket's queue was full: the list is read again whole.
      if (errno == ENOBUFS) Resync();
      return;
    }
    int len = static_cast<int>(n);
    for (auto* m = reinterpret_cast<nlmsghdr*>(buffer.data()); NetlinkMessageFits(m, len);
         m = NLMSG_NEXT(m, len)) {
      if (const auto link = LinkOf(m)) {
        Update(link->first, link->second);
        if (m->nlmsg_type == RTM_DELLINK) links_.erase(link->first);
      }
    }
  }

  void Resync() {
    const std::optional<std::map<int, Link>> now = DumpLinks();
    if (!now) return;
    for (auto it = links_.begin(); it != links_.end();) {
      if (now->count(it->first) == 0) {
        Update(it->first, {it->second.name, false});
        it = links_.erase(it);
      } else {
        ++it;
      }
    }
    for (const auto& [index, link] : *now) Update(index, link);
  }

  // Tells of the link only when its state is not the one known (a new link counts as down).
  void Update(int index, const Link& link) {
    Link& known = links_[index];
    if (!link.name.empty()) known.name = link.name;
    if (known.up == link.up) return;
    known.up = link.up;
    if (changed_) changed_(known.name, link.up);
  }

  Fd sock_;
  Fd stop_;
  std::map<int, Link> links_;
  LinkChanged changed_;
  std::thread thread_;
};

}  // namespace

std::unique_ptr<LinkWatch> PacketNetworkProbe::WatchLinks(LinkChanged changed) {
  Fd sock(socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE));
  sockaddr_nl groups{};
  groups.nl_family = AF_NETLINK;
  groups.nl_groups = RTMGRP_LINK;
  if (sock.get() < 0 ||
      bind(sock.get(), reinterpret_cast<const sockaddr*>(&groups), sizeof groups) != 0) {
    return nullptr;
  }
  Fd stop(eventfd(0, EFD_CLOEXEC));
  // Read after joining the group, so that no change falls between the list and the watch.
  std::optional<std::map<int, Link>> links = DumpLinks();
  if (stop.get() < 0 || !links) return nullptr;
  return std::make_unique<NetlinkLinkWatch>(sock.release(), stop.release(), std::move(*links),
                                            std::move(changed));
}

}  // namespace netvane::platform
