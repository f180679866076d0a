// The network probes over the IP Helper API: SendARP for each gateway, the adapter's own DHCP
// lease as the DHCP server's word, the neighbour table, and NotifyIpInterfaceChange for links.
#pragma once

#include "platform/network_probe.h"

namespace netvane::platform {

class Win32NetworkProbe final : public NetworkProbe {
 public:
  ProbeResult Probe(const ProbeRequest& request) override;
  MacText NeighbourMac(const std::string& adapter, const std::string& address) override;
  std::unique_ptr<LinkWatch> WatchLinks(LinkChanged changed) override;
};

}  // namespace netvane::platform
