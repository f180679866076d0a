#include "standins/loopback_dhcp.h"

#include "standins/host_network.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <random>

#include "platform/dhcp_codes.h"
#include "platform/dhcp_message.h"

namespace netvane::standins {

namespace dhcp = platform::dhcp;

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
        if (auto lease = dhcp::ParseReply(buffer, static_cast<size_t>(n), type, xid)) return lease;
      }
    }
    return std::nullopt;
  };

  std::optional<Lease> offer =
      exchange(dhcp::BuildRequest(dhcp::kDiscover, xid, mac), dhcp::kOffer);
  std::optional<Lease> ack;
  if (offer) {
    ack = exchange(dhcp::BuildRequest(dhcp::kRequest, xid, mac, offer->address, offer->server),
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

std::string RunDhcpClientWithReport(const std::string& name, const std::string& script,
                                    int deadline_s, const std::function<bool()>& keep_waiting,
                                    std::string* report) {
  report->clear();
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) return "cannot make a pipe for the DHCP client";
  constexpr int kAboveTheClientsOwn = 10;
  const int writer = fcntl(pipe_fds[1], F_DUPFD, kAboveTheClientsOwn);  // inherited
  close(pipe_fds[1]);
  if (writer < 0) {
    close(pipe_fds[0]);
    return "cannot make a pipe for the DHCP client";
  }
  setenv(kDhcpReportFdVariable, std::to_string(writer).c_str(), 1);
  const std::string error = RunDhcpClient(name, script, deadline_s, keep_waiting);
  unsetenv(kDhcpReportFdVariable);
  close(writer);
  char buffer[4096];
  for (ssize_t n; (n = read(pipe_fds[0], buffer, sizeof buffer)) > 0;) {
    report->append(buffer, static_cast<size_t>(n));
  }
  close(pipe_fds[0]);
  return error;
}

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v != nullptr ? v : "";
}

}  // namespace

bool ReportToDhcpCaller(const std::string& bytes) {
  const std::optional<long> fd = ParseNumber(Env(kDhcpReportFdVariable), 3, 65535);
  return fd && write(static_cast<int>(*fd), bytes.data(), bytes.size()) ==
                   static_cast<ssize_t>(bytes.size());
}

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
