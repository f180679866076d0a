#include "standins/system_record.h"

#include <sstream>

#include "platform/bytes.h"
#include "platform/posix/registry_values.h"
#include "platform/win_codes.h"
#include "standins/resolver.h"

namespace netvane::standins {

using platform::kErrorSuccess;
using platform::kHkeyLocalMachine;

std::string InterfaceKey(const std::string& name) { return kInterfacesPath + name; }

std::string Nt4Key(const std::string& name) {
  return "SYSTEM\\CurrentControlSet\\Services\\" + name + "\\Parameters\\Tcpip";
}

namespace {

// Runs the writes as one group so readers never see half a record.
template <typename Body>
int32_t Grouped(platform::Registry& registry, Body body) {
  platform::RegistryGroup group(registry, true);
  const int32_t code = body();
  const int32_t stored = group.End();
  return code != kErrorSuccess ? code : stored;
}

std::string Joined(const std::vector<uint32_t>& addresses, char separator) {
  std::string text;
  for (uint32_t a : addresses)
    text += (text.empty() ? "" : std::string(1, separator)) + FormatIpv4(a);
  return text;
}

}  // namespace

int32_t RecordInterface(platform::Registry& registry, const std::string& name,
                        const InterfaceState& state, std::optional<bool> dhcp) {
  std::vector<std::string> addresses, masks, gateways, metrics;
  for (const auto& [address, mask] : state.addresses) {
    addresses.push_back(address);
    masks.push_back(mask);
  }
  if (addresses.empty()) {
    addresses.push_back("0.0.0.0");
    masks.push_back("0.0.0.0");
  }
  for (const Gateway& g : state.gateways) {
    gateways.push_back(g.address);
    metrics.push_back(std::to_string(g.metric));
  }
  const std::string key = InterfaceKey(name);
  return Grouped(registry, [&] {
    int32_t c = platform::SetMultiText(registry, kHkeyLocalMachine, key, "IPAddress", addresses);
    if (c == kErrorSuccess)
      c = platform::SetMultiText(registry, kHkeyLocalMachine, key, "SubnetMask", masks);
    if (c == kErrorSuccess)
      c = platform::SetMultiText(registry, kHkeyLocalMachine, key, "DefaultGateway", gateways);
    if (c == kErrorSuccess)
      c = platform::SetMultiText(registry, kHkeyLocalMachine, key, "DefaultGatewayMetric", metrics);
    if (c == kErrorSuccess && dhcp)
      c = platform::SetDword(registry, kHkeyLocalMachine, key, "EnableDHCP", *dhcp ? 1 : 0);
    return c;
  });
}

std::vector<std::string> RecordedNameServers(platform::Registry& registry, const std::string& name,
                                             const char* value) {
  std::vector<std::string> servers;
  const std::optional<std::string> text =
      platform::GetText(registry, kHkeyLocalMachine, InterfaceKey(name), value);
  if (!text) return servers;
  std::string item;
  std::istringstream in(*text);
  while (std::getline(in, item, ',')) {
    if (!item.empty()) servers.push_back(item);
  }
  return servers;
}

int32_t RecordNameServers(platform::Registry& registry, const std::string& name,
                          const std::vector<std::string>& servers, const char* value) {
  std::string text;
  for (const std::string& s : servers) text += (text.empty() ? "" : ",") + s;
  return platform::SetText(registry, kHkeyLocalMachine, InterfaceKey(name), value, text);
}

std::string SetInterfaceDns(platform::Registry& registry, const std::string& name,
                            const std::vector<std::string>& previous,
                            const std::vector<std::string>& servers) {
  constexpr char kKept[] = "HostKeptNameServer";
  std::vector<std::string> kept = RecordedNameServers(registry, name, kKept);
  const bool had_kept = !kept.empty();
  const std::string error = SetDnsServers(name, previous, servers, &kept);
  if (!error.empty() || (!had_kept && kept.empty())) return error;
  const int32_t code = RecordNameServers(registry, name, kept, kKept);
  return code == kErrorSuccess
             ? ""
             : "cannot record the DNS servers in the registry (error " + std::to_string(code) + ")";
}

std::optional<uint32_t> RecordedEnableDhcp(platform::Registry& registry, const std::string& key) {
  return platform::GetDword(registry, kHkeyLocalMachine, key, "EnableDHCP");
}

int32_t RecordNtLease(platform::Registry& registry, const std::string& key, const Lease& lease) {
  return Grouped(registry, [&] {
    int32_t c = platform::SetText(registry, kHkeyLocalMachine, key, "DhcpIPAddress",
                                  FormatIpv4(lease.address));
    if (c == kErrorSuccess)
      c = platform::SetText(registry, kHkeyLocalMachine, key, "DhcpSubnetMask",
                            FormatIpv4(lease.mask));
    if (c == kErrorSuccess) {
      std::vector<std::string> routers;
      for (uint32_t r : lease.routers) routers.push_back(FormatIpv4(r));
      c = platform::SetMultiText(registry, kHkeyLocalMachine, key, "DhcpDefaultGateway", routers);
    }
    if (c == kErrorSuccess)
      c = platform::SetText(registry, kHkeyLocalMachine, key, "DhcpNameServer",
                            Joined(lease.dns, ' '));
    if (c == kErrorSuccess)
      c = platform::SetText(registry, kHkeyLocalMachine, key, "DhcpServer",
                            FormatIpv4(lease.server));
    if (c == kErrorSuccess)
      c = platform::SetDword(registry, kHkeyLocalMachine, key, "Lease", lease.seconds);
    return c;
  });
}

int32_t RecordVxdLease(platform::Registry& registry, const std::string& entry, const Lease& lease) {
  const std::string key = kVxdDhcpPath + entry;
  // The address in network order, the lease time as Windows keeps numbers.
  std::string address(4, '\0');
  platform::PutBe32(address.data(), lease.address);
  const std::string seconds = platform::Le32Bytes(lease.seconds);
  return Grouped(registry, [&] {
    int32_t c = platform::SetRaw(registry, kHkeyLocalMachine, key, "DHCPIPAddress",
                                 platform::kRegBinary, address);
    if (c == kErrorSuccess)
      c = platform::SetRaw(registry, kHkeyLocalMachine, key, "Lease", platform::kRegBinary,
                           seconds);
    return c;
  });
}

}  // namespace netvane::standins
