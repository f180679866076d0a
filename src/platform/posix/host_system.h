// The parts of a Windows system that the host keeps itself: the view of the network adapters
// in the registry, and the DHCP filter driver behind \\.\NVEFLT.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/device.h"
#include "platform/iphelper.h"
#include "platform/posix/socket_device.h"
#include "platform/registry.h"

namespace netvane::platform {

inline constexpr char kHostNetworkCardsPath[] =
    "Software\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards";
inline constexpr char kHostNetClassPath[] = "System\\CurrentControlSet\\Services\\Class\\Net";
inline constexpr char kFilterServicePath[] = "SYSTEM\\CurrentControlSet\\Services\\NVEFLT";
inline constexpr char kFilterStatePath[] =
    "SYSTEM\\CurrentControlSet\\Services\\NVEFLT\\Parameters";
// Marks the entries the host made for one of its interfaces; entries without it (imported
// from a Windows machine, made by hand) are left alone.
inline constexpr char kHostInterfaceValue[] = "HostInterface";

// Brings NetworkCards (one numbered subkey per Ethernet interface: "Description",
// "ServiceName" = the interface name) and Class\Net (one four-digit instance per Ethernet
// interface) in step with `rows`, and registers the filter driver. Writes only what changed;
// the result is the first failure's code.
int32_t SyncSystemView(Registry& registry, const std::vector<MibIfRow>& rows);

// The Class\Net instance the host made for interface `name`; empty when there is none.
std::string NetClassInstanceOf(Registry& registry, const std::string& name);

// The filter driver's state for an adapter instance (0 off, 1 on; 0 when never set).
uint8_t FilterState(Registry& registry, const std::string& instance);

// Devices on the host: a socket stand-in in the device folder comes first; otherwise
// \\.\NVEFLT is the host's own filter driver, present once it is registered in the registry,
// which keeps its state per adapter instance where the system-tool stand-ins read it.
class HostDevice final : public Device {
 public:
  explicit HostDevice(Registry& registry) : registry_(registry) {}
  DeviceHandle Open(const std::string& name) override;
  bool Control(DeviceHandle device, uint32_t code, uint8_t* buffer, uint32_t size) override;
  void Close(DeviceHandle device) override;

 private:
  static constexpr DeviceHandle kBuiltInFilter = 0x7FFF0001;
  Registry& registry_;
  SocketDevice sockets_;
  bool filter_open_ = false;
};

}  // namespace netvane::platform
