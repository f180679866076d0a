#include "standins/loopback_dhcp.h"

#include "standins/host_network.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <random>

#include "platform/bytes.h"
#include "platform/dhcp_codes.h"

namespace netvane::standins {
namespace {

namespace dhcp = platform::dhcp;
using platform::GetBe32;
using platform::PutBe32;

constexpr size_t kFixed = 236;

}  // namespace

std::vector<uint8_t> BuildDhcpRequest(uint8_t type, uint32_t xid, const std::array<uint8_t, 6>& mac,
                                      uint32_t requested, uint32_t server) {
  std::vector<uint8_t> m(kFixed, 0);
  m[0] = dhcp::kBootRequest;
  m[1] = dhcp::kHardwareEthernet;
  m[2] = 6;
  PutBe32(m.data() + 4, xid);
  std::memcpy(m.data() + 28, mac.data(), mac.size());
  m.insert(m.end(), dhcp::kMagicCookie, dhcp::kMagicCookie + 4);
  m.insert(m.end(), {dhcp::kOptionMessageType, 1, type});
  m.insert(m.end(), {dhcp::kOptionClientId, 7, dhcp::kHardwareEthernet});
  m.insert(m.end(), mac.begin(), mac.end());
  if (requested != 0) {
    m.insert(m.end(), {dhcp::kOptionRequestedAddress, 4, 0, 0, 0, 0});
    PutBe32(m.data() + m.size() - 4, requested);
  }
  if (server != 0) {
    m.insert(m.end(), {dhcp::kOptionServerId, 4, 0, 0, 0, 0});
    PutBe32(m.data() + m.size() - 4, server);
  }
  m.insert(m.end(), {dhcp::kOptionParameterList, 4, dhcp::kOptionSubnetMask, dhcp::kOptionRouter,
                     dhcp::kOptionDomainNameServer, dhcp::kOptionLeaseTime});
  m.push_back(dhcp::kOptionEnd);
  // Padded to the 300 bytes of a BOOTP message, as clients send it.
  if (m.size() < 300) m.resize(300, 0);
  return m;
}

std::optional<Lease> ParseDhcpReply(const uint8_t* data, size_t size, uint8_t type, uint32_t xid) {
  if (size < kFixed + 4 || data[0] != dhcp::kBootReply || GetBe32(data + 4) != xid ||
      std::memcmp(data + kFixed, dhcp::kMagicCookie, 4) != 0) {
    return std::nullopt;
  }
  Lease lease;
  lease.address = GetBe32(data + 16);
  int message_type = -1;
  size_t i = kFixed + 4;
  while (i < size) {
    const uint8_t code = data[i];
    if (code == dhcp::kOptionEnd) break;
    if (code == dhcp::kOptionPad) {
      ++i;
      continue;
    }
    if (i + 1 >= size || i + 2 + data[i + 1] > size) return std::nullopt;
    const uint8_t len = data[i + 1];
    const uint8_t* v = data + i + 2;
    switch (code) {
      case dhcp::kOptionMessageType:
        if (len == 1) message_type = v[0];
        break;
      case dhcp::kOptionSubnetMask:
        if (len == 4) lease.mask = GetBe32(v);
        break;
      case dhcp::kOptionRouter:
      case dhcp::kOptionDomainNameServer:
        for (size_t k = 0; k + 4 <= len; k += 4) {
          (code == dhcp::kOptionRouter ? lease.routers : lease.dns).push_back(GetBe32(v + k));
        }
        break;
      case dhcp::kOptionLeaseTime:
        if (len == 4) lease.seconds = GetBe32(v);
        break;
      case dhcp::kOptionServerId:
        if (len == 4) lease.server = GetBe32(v);
        break;
      default:
        break;
    }
    i += 2 + len;
  }
  if (message_type != type) return std::nullopt;
  return lease;
}

std::optional<Lease> LoopbackExchange(const std::array<uint8_t, 6>& mac, int seconds,
                                      std::string* error) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    *error = "cannot open a UDP socket";
    return std::nullopt;
  }
  const int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in me{};
  me.sin_family = AF_INET;
  me.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  me.sin_port = htons(68);
  if (bind(fd, reinterpret_cast<sockaddr*>(&me), sizeof me) != 0) {
    *error = "cannot use port 68 on 127.0.0.1 (needs root, or another DHCP client holds it)";
    close(fd);
    return std::nullopt;
  }
  sockaddr_in server{};
  server.sin_family = AF_INET;
  server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  server.sin_port = htons(67);

  std::random_device random;
  const uint32_t xid = random();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);

  // Sends `request` until a reply of `type` arrives; a lost datagram is sent again after a
  // second, as DHCP clients do.
  auto exchange = [&](const std::vector<uint8_t>& request, uint8_t type) -> std::optional<Lease> {
    while (std::chrono::steady_clock::now() < deadline) {
      sendto(fd, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&server),
             sizeof server);
      const auto resend = std::chrono::steady_clock::now() + std::chrono::seconds(1);
      while (true) {
        const auto now = std::chrono::steady_clock::now();
        const auto until = std::min(resend, deadline);
        if (now >= until) break;
        pollfd p{fd, POLLIN, 0};
        const int ms =
            static_cast<int>(
                std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count()) +
            1;
        if (poll(&p, 1, ms) <= 0) continue;
        uint8_t buffer[1500];
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) continue;
        if (auto lease = ParseDhcpReply(buffer, static_cast<size_t>(n), type, xid)) return lease;
      }
    }
    return std::nullopt;
  };

  std::optional<Lease> offer = exchange(BuildDhcpRequest(dhcp::kDiscover, xid, mac), dhcp::kOffer);
  std::optional<Lease> ack;
  if (offer) {
    ack = exchange(BuildDhcpRequest(dhcp::kRequest, xid, mac, offer->address, offer->server),
                   dhcp::kAck);
  }
  close(fd);
  if (!ack) *error = offer ? "no DHCPACK from 127.0.0.1:67" : "no DHCPOFFER from 127.0.0.1:67";
  return ack;
}

std::string RunDhcpClient(const std::string& name, const std::string& script, int deadline_s,
                          const std::function<bool()>& keep_waiting) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(deadline_s);
  const auto waiting = [&] {
    return std::chrono::steady_clock::now() < deadline && (!keep_waiting || keep_waiting());
  };
  for (const char* client : {"/usr/sbin/udhcpc", "/sbin/udhcpc"}) {
    if (access(client, X_OK) != 0) continue;
    const int status = RunProgram(
        {client, "-i", name, "-f", "-q", "-n", "-t", "4", "-T", "2", "-s", script}, true, waiting);
    return status == 0 ? "" : "Unable to contact your DHCP server. Request has timed out.";
  }
  return "no DHCP client: install udhcpc";
}

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr ? v : "";
}

}  // namespace

std::optional<Lease> LeaseFromClientEnvironment() {
  const std::optional<uint32_t> address = ParseIpv4(Env("ip"));
  const std::optional<uint32_t> mask = ParseIpv4(Env("subnet"));
  if (!address || !mask) return std::nullopt;
  Lease lease;
  lease.address = *address;
  lease.mask = *mask;
  lease.routers = ParseIpv4List(Env("router"));
  lease.dns = ParseIpv4List(Env("dns"));
  lease.server = ParseIpv4(Env("serverid")).value_or(0);
  lease.seconds = static_cast<uint32_t>(ParseNumber(Env("lease"), 0, 0xFFFFFFFFL).value_or(0));
  return lease;
}

std::optional<int> LeasePrefix(const Lease& lease) {
  const std::optional<int> prefix = MaskPrefix(lease.mask);
  if (!prefix || *prefix == 0 || lease.address == 0) return std::nullopt;
  return prefix;
}

std::string CheckLease(const Lease& lease) {
  uint32_t value = 0;
  int prefix = 0;
  std::string why =
      CheckStaticAddress(FormatIpv4(lease.address), FormatIpv4(lease.mask), &value, &prefix);
  for (size_t i = 0; why.empty() && i < lease.routers.size(); ++i)
    why = CheckGateway(FormatIpv4(lease.routers[i]), &value);
  for (size_t i = 0; why.empty() && i < lease.dns.size(); ++i)
    why = CheckDnsServer(FormatIpv4(lease.dns[i]), &value);
  return why.empty() ? "" : "the DHCP server's lease was refused: " + why;
}

std::string BindLease(const std::string& name, const Lease& lease) {
  if (const std::string why = CheckLease(lease); !why.empty()) return why;
  const int prefix = *LeasePrefix(lease);
  // A lease the kernel takes only in part leaves the interface as it was.
  return ChangeOrRestore(name, [&] {
    std::string error = SetAddress(name, lease.address, prefix);
    if (error.empty()) error = DeleteDefaultRoutes(name);
    for (size_t i = 0; error.empty() && i < lease.routers.size(); ++i) {
      error = AddDefaultRoute(name, FormatIpv4(lease.routers[i]), static_cast<uint32_t>(i + 1));
    }
    return error;
  });
}

}  // namespace netvane::standins
