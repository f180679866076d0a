#include "standins/host_network.h"

#include "standins/netlink.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

extern char** environ;

namespace netvane::standins {

std::vector<uint32_t> ParseIpv4List(const std::string& text) {
  std::vector<uint32_t> list;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of(" ,", pos);
    if (end == std::string::npos) end = text.size();
    if (auto a = ParseIpv4(text.substr(pos, end - pos))) list.push_back(*a);
    pos = end + 1;
  }
  return list;
}

std::optional<int> MaskPrefix(uint32_t mask) {
  int prefix = 0;
  while (prefix < 32 && (mask & (0x80000000u >> prefix)) != 0) ++prefix;
  const uint32_t expected = prefix == 0 ? 0 : 0xFFFFFFFFu << (32 - prefix);
  if (mask != expected) return std::nullopt;
  return prefix;
}

std::optional<long> ParseNumber(const std::string& text, long min, long max) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  long v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  if (v < min || v > max) return std::nullopt;
  return v;
}

std::string NotAHostAddress(uint32_t address, int prefix) {
  std::string reason = NotAHostAddress(address);
  // /31 and /32 networks have no network or broadcast address of their own.
  if (!reason.empty() || prefix <= 0 || prefix >= 31) return reason;
  const uint32_t host_bits = 0xFFFFFFFFu >> prefix;
  if ((address & host_bits) == 0) return "the network's own address";
  if ((address & host_bits) == host_bits) return "the network's broadcast address";
  return "";
}

std::string NotADnsServer(uint32_t address) {
  const std::string reason = NotAHostAddress(address);
  return reason == "a loopback address" ? "" : reason;
}

std::string CheckStaticAddress(const std::string& address, const std::string& mask, uint32_t* value,
                               int* prefix) {
  const std::optional<uint32_t> a = ParseIpv4(address);
  const std::optional<uint32_t> m = ParseIpv4(mask);
  if (!a || *a == 0) return "\"" + address + "\" is not a valid address";
  const std::optional<int> p = m ? MaskPrefix(*m) : std::nullopt;
  if (!p || *p == 0) return "\"" + mask + "\" is not a valid subnet mask";
  if (const std::string why = NotAHostAddress(*a, *p); !why.empty())
    return "\"" + address + "\" is not a valid address: " + why;
  *value = *a;
  *prefix = *p;
  return "";
}

namespace {

// An address as `what`, which `rule` says why it cannot be (empty when it can).
std::string CheckAddress(const std::string& text, const std::string& what,
                         std::string (*rule)(uint32_t), uint32_t* value) {
  const std::optional<uint32_t> a = ParseIpv4(text);
  if (!a) return "\"" + text + "\" is not a valid " + what;
  if (const std::string why = rule(*a); !why.empty())
    return "\"" + text + "\" is not a valid " + what + ": " + why;
  *value = *a;
  return "";
}

std::string NotAHostAddressAlone(uint32_t address) { return NotAHostAddress(address); }

}  // namespace

std::string CheckGateway(const std::string& text, uint32_t* value) {
  return CheckAddress(text, "gateway", NotAHostAddressAlone, value);
}

std::string CheckMetric(const std::string& text, uint32_t* value) {
  const std::optional<long> n = ParseNumber(text, 0, 9999);
  if (!n) return "\"" + text + "\" is not a valid gateway metric";
  *value = static_cast<uint32_t>(*n);
  return "";
}

std::string CheckDnsServer(const std::string& text, uint32_t* value) {
  return CheckAddress(text, "DNS server address", NotADnsServer, value);
}

std::string CheckDnsIndex(const std::string& text, uint32_t* value) {
  const std::optional<long> n = ParseNumber(text, 1, 9999);
  if (!n) return "\"" + text + "\" is not a valid index";
  *value = static_cast<uint32_t>(*n);
  return "";
}

bool InterfaceExists(const std::string& name) {
  return !name.empty() && name.size() < IF_NAMESIZE && if_nametoindex(name.c_str()) != 0;
}

InterfaceState ReadInterface(const std::string& name) {
  InterfaceState state;
  state.exists = InterfaceExists(name);
  if (!state.exists) return state;

  std::ifstream mac("/sys/class/net/" + name + "/address");
  std::string text;
  if (mac >> text) {
    for (size_t i = 0, j = 0; j < 6 && i + 2 <= text.size(); i += 3, ++j) {
      state.mac[j] = static_cast<uint8_t>(std::strtoul(text.substr(i, 2).c_str(), nullptr, 16));
    }
  }

  ifaddrs* list = nullptr;
  if (getifaddrs(&list) == 0) {
    for (ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
      if (a->ifa_addr == nullptr || a->ifa_addr->sa_family != AF_INET || name != a->ifa_name) {
        continue;
      }
      const uint32_t ip = ntohl(reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr.s_addr);
      const uint32_t mask =
          a->ifa_netmask != nullptr
              ? ntohl(reinterpret_cast<sockaddr_in*>(a->ifa_netmask)->sin_addr.s_addr)
              : 0;
      state.addresses.emplace_back(FormatIpv4(ip), FormatIpv4(mask));
    }
    freeifaddrs(list);
  }

  // Iface Destination Gateway Flags RefCnt Use Metric Mask ...; addresses are the raw
  // network-order words printed as numbers.
  // This process's own view: the helper's unit shows it no /proc beyond its own.
  std::ifstream routes("/proc/self/net/route");
  std::string line;
  std::getline(routes, line);
  while (std::getline(routes, line)) {
    std::istringstream in(line);
    std::string iface, dest, gw, flags, refcnt, use, metric, mask;
    if (!(in >> iface >> dest >> gw >> flags >> refcnt >> use >> metric >> mask)) continue;
    if (iface != name || std::strtoul(dest.c_str(), nullptr, 16) != 0 ||
        std::strtoul(mask.c_str(), nullptr, 16) != 0) {
      continue;
    }
    const uint32_t raw = static_cast<uint32_t>(std::strtoul(gw.c_str(), nullptr, 16));
    if (raw == 0) continue;
    state.gateways.push_back(
        {FormatIpv4(ntohl(raw)), static_cast<uint32_t>(std::strtoul(metric.c_str(), nullptr, 10))});
  }
  std::stable_sort(state.gateways.begin(), state.gateways.end(),
                   [](const Gateway& a, const Gateway& b) { return a.metric < b.metric; });
  return state;
}

int RunProgram(const std::vector<std::string>& argv, bool quiet,
               const std::function<bool()>& keep_waiting) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  if (quiet) posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  bool ended = false;
  for (int waited_ms = 0;;) {
    const pid_t done = waitpid(pid, &status, keep_waiting ? WNOHANG : 0);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) return -1;
    if (done != 0) continue;
    if (!ended && !keep_waiting()) {
      ended = true;
      waited_ms = 0;
      kill(pid, SIGTERM);
    } else if (ended && waited_ms >= 1000) {
      kill(pid, SIGKILL);
    }
    usleep(100 * 1000);
    waited_ms += 100;
  }
  if (ended) return kProgramEnded;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

namespace {

int Index(const std::string& name) { return static_cast<int>(if_nametoindex(name.c_str())); }

std::string Reason(const std::string& what, const std::string& error) {
  return error.empty() ? "" : what + ": " + error;
}

}  // namespace

std::string FlushAddresses(const std::string& name) {
  return Reason("cannot remove the addresses of " + name, netlink::FlushAddresses(Index(name)));
}

std::string SetAddress(const std::string& name, uint32_t address, int prefix) {
  return ChangeOrRestore(name, [&] {
    std::string error = FlushAddresses(name);
    if (error.empty()) {
      error = Reason("cannot give " + name + " the address " + FormatIpv4(address) + "/" +
                         std::to_string(prefix),
                     netlink::AddAddress(Index(name), address, prefix));
    }
    if (error.empty())
      error = Reason("cannot bring " + name + " up", netlink::SetLinkUp(Index(name)));
    return error;
  });
}

std::string ChangeOrRestore(const std::string& name, const std::function<std::string()>& change) {
  const InterfaceState before = ReadInterface(name);
  const std::string error = change();
  if (error.empty()) return error;
  const int index = Index(name);
  netlink::FlushAddresses(index);
  for (const auto& [address, mask] : before.addresses) {
    const std::optional<uint32_t> a = ParseIpv4(address);
    const std::optional<int> prefix = MaskPrefix(ParseIpv4(mask).value_or(0));
    if (a && prefix) netlink::AddAddress(index, *a, *prefix);
  }
  // Removing the addresses took the routes through them along.
  netlink::DeleteDefaultRoutes(index);
  for (const Gateway& g : before.gateways) {
    if (const std::optional<uint32_t> a = ParseIpv4(g.address))
      netlink::AddDefaultRoute(index, *a, g.metric);
  }
  return error;
}

std::string DeleteDefaultRoutes(const std::string& name) {
  return Reason("cannot remove the gateways of " + name, netlink::DeleteDefaultRoutes(Index(name)));
}

std::string AddDefaultRoute(const std::string& name, const std::string& gateway, uint32_t metric) {
  const std::optional<uint32_t> address = ParseIpv4(gateway);
  if (!address) return "\"" + gateway + "\" is not an address";
  return Reason("cannot add the gateway " + gateway + " to " + name,
                netlink::AddDefaultRoute(Index(name), *address, metric));
}

}  // namespace netvane::standins
