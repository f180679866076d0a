// The registry values in which Windows keeps what an adapter carries, written by the stand-ins
// after each change from what the interface really carries.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/dhcp_message.h"
#include "platform/registry.h"
#include "standins/host_network.h"

namespace netvane::standins {

inline constexpr char kInterfacesPath[] =
    "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters\\Interfaces\\";
inline constexpr char kVxdDhcpPath[] = "SYSTEM\\CurrentControlSet\\Services\\VxD\\DHCP\\";

// HKLM ...\Tcpip\Parameters\Interfaces\NAME.
std::string InterfaceKey(const std::string& name);
// HKLM SYSTEM\CurrentControlSet\Services\NAME\Parameters\Tcpip (Windows NT 4).
std::string Nt4Key(const std::string& name);

// "IPAddress", "SubnetMask" (0.0.0.0 when the interface has no address), "DefaultGateway",
// "DefaultGatewayMetric" from `state`; "EnableDHCP" when given.
int32_t RecordInterface(platform::Registry& registry, const std::string& name,
                        const InterfaceState& state, std::optional<bool> dhcp);

// "NameServer": the servers separated by commas, as Windows 2000 keeps them. `value` names
// another list of servers kept the same way.
std::vector<std::string> RecordedNameServers(platform::Registry& registry, const std::string& name,
                                             const char* value = "NameServer");
int32_t RecordNameServers(platform::Registry& registry, const std::string& name,
                          const std::vector<std::string>& servers,
                          const char* value = "NameServer");

// Gives the interface `servers` in the resolver in place of `previous`. Which of them the
// resolver listed of its own before is kept in "HostKeptNameServer", so that those lines stay
// when the interface lets them go. Empty on success, else what went wrong.
std::string SetInterfaceDns(platform::Registry& registry, const std::string& name,
                            const std::vector<std::string>& previous,
                            const std::vector<std::string>& servers);
// "EnableDHCP" under `key` (InterfaceKey or Nt4Key).
std::optional<uint32_t> RecordedEnableDhcp(platform::Registry& registry, const std::string& key);

using Lease = platform::dhcp::Lease;

// A lease as the NT family keeps it under `key`: "DhcpIPAddress", "DhcpSubnetMask",
// "DhcpDefaultGateway", "DhcpNameServer", "DhcpServer" and "Lease" (seconds, REG_DWORD).
int32_t RecordNtLease(platform::Registry& registry, const std::string& key, const Lease& lease);
// A lease as Windows 98 and ME keep it under VxD\DHCP\<entry>: "DHCPIPAddress" (four bytes in
// network order) and "Lease" (four bytes, low byte first).
int32_t RecordVxdLease(platform::Registry& registry, const std::string& entry, const Lease& lease);

}  // namespace netvane::standins
