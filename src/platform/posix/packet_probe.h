// The host's network probes: ARP probes and a DHCP DISCOVER over a packet socket (directly
// when this process may open one, else through netvane-helper), the kernel's neighbour table,
// and link changes from rtnetlink.
#pragma once

#include "platform/network_probe.h"

namespace netvane::platform {

class PacketNetworkProbe final : public NetworkProbe {
 public:
  ProbeResult Probe(const ProbeRequest& request) override;
  MacText NeighbourMac(const std::string& adapter, const std::string& address) override;
  std::unique_ptr<LinkWatch> WatchLinks(LinkChanged changed) override;
};

}  // namespace netvane::platform
