#include "platform/win32/win32_network_probe.h"

namespace netvane::platform {

ProbeResult Win32NetworkProbe::Probe(const ProbeRequest&) {
  ProbeResult result;
  result.error = "the network cannot be probed on this system";
  return result;
}

MacText Win32NetworkProbe::NeighbourMac(const std::string&, const std::string&) { return {}; }

std::unique_ptr<LinkWatch> Win32NetworkProbe::WatchLinks(LinkChanged) { return nullptr; }

}  // namespace netvane::platform
