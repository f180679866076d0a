#include "platform/posix/packet_probe.h"

namespace netvane::platform {

ProbeResult PacketNetworkProbe::Probe(const ProbeRequest&) {
  ProbeResult result;
  result.error = "the network cannot be probed on this system";
  return result;
}

MacText PacketNetworkProbe::NeighbourMac(const std::string&, const std::string&) { return {}; }

std::unique_ptr<LinkWatch> PacketNetworkProbe::WatchLinks(LinkChanged) { return nullptr; }

}  // namespace netvane::platform
