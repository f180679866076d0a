// The host's network probes: ARP probes and a DHCP DISCOVER over a packet socket (directly
// when this process may open one, else through netvane-helper), the kernel's neighbour table,
// and link changes from rtnetlink.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/network_probe.h"

namespace netvane::platform {

class PacketNetworkProbe final : public NetworkProbe {
 public:
  // Through netvane-helper the helper's own timeout holds, not the request's.
  ProbeResult Probe(const ProbeRequest& request) override;
  MacText NeighbourMac(const std::string& adapter, const std::string& address) override;
  std::unique_ptr<LinkWatch> WatchLinks(LinkChanged changed) override;
};

// The probe on a packet socket of this process's own, which needs CAP_NET_RAW: ARP probes for
// `gateways` (host order, checked) every 200 ms, and with `dhcp` one DISCOVER, sent once more
// after 500 ms. It ends once every gateway has answered and the offer has come, else after
// `timeout_ms`. `*not_permitted` (when given) tells whether the socket was refused for want
// of the privilege.
ProbeResult ProbeOnPacketSocket(const std::string& adapter, const std::vector<uint32_t>& gateways,
                                bool dhcp, int timeout_ms, bool* not_permitted = nullptr);

}  // namespace netvane::platform
