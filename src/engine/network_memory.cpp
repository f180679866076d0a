#include "engine/network_memory.h"

#include <set>

#include "engine/address.h"
#include "engine/engine.h"
#include "engine/recognition.h"
#include "platform/platform_error.h"
#include "platform/probe_facts.h"
#include "platform/process.h"
#include "platform/text.h"
#include "platform/win_codes.h"

namespace netvane::engine {
namespace {

// The first address of a value that may hold several (REG_MULTI_SZ or a list).
std::string FirstAddress(const store::ReadResult& value) {
  if (value.code != platform::kErrorSuccess) return {};
  std::string text = value.text;
  for (char& c : text) {
    if (c == '\0' || c == ' ') c = ',';
  }
  std::vector<Octets> rows;
  if (ParseAddressList(text, &rows) <= 0) return {};
  return DottedQuad(rows.front());
}

bool Unset(const std::string& address) { return address.empty() || address == "0.0.0.0"; }

}  // namespace

void NetworkMemory::AfterApply(int16_t location_id, uint32_t renew) {
  waiting_.reset();
  const int i = store::FindLocationIndex(state_.LocationTable, location_id);
  if (i < 0) return;
  switch (ClassifyKind(state_.LocationTable[static_cast<size_t>(i)].ServiceType)) {
    case ApplyKind::kStatic:
      Remember(location_id);
      break;
    case ApplyKind::kDynamic:
      if (renew != 0) waiting_ = Awaited{location_id, renew};
      break;
    default:
      // A modem's connection program makes the link: there is no network of the adapter's.
      break;
  }
}

bool NetworkMemory::Tick() {
  if (!waiting_) return false;
  bool ended = false;
  try {
    ended = platform_.process.ExitCode(waiting_->renew) != platform::kStillActive;
  } catch (const platform::PlatformError&) {
    ended = true;
  }
  if (ended) {
    Remember(waiting_->location_id);
    waiting_.reset();
  } else if (--waiting_->ticks_left <= 0) {
    waiting_.reset();
  }
  return waiting_.has_value();
}

std::optional<store::NetworkPrint> NetworkMemory::Observe(const store::LocationRecord& r) {
  const ApplyKind kind = ClassifyKind(r.ServiceType);
  if (kind != ApplyKind::kStatic && kind != ApplyKind::kDynamic) return std::nullopt;
  const bool leased = kind == ApplyKind::kDynamic;
  const std::string key = std::string(kTcpipInterfacesPath) + r.NIC_ID;
  auto read = [&](const char* name) {
    return FirstAddress(registry_.ReadValue(platform::kHkeyLocalMachine, key, name));
  };
  store::NetworkPrint print;
  const std::string address = read(leased ? "DhcpIPAddress" : "IPAddress");
  const std::string mask = read(leased ? "DhcpSubnetMask" : "SubnetMask");
  print.Gateway = read(leased ? "DhcpDefaultGateway" : "DefaultGateway");
  if (leased) print.DhcpServer = read("DhcpServer");
  print.Prefix = NetworkPrefix(address, mask);
  if (Unset(address) || Unset(print.Gateway) || print.Prefix.empty() ||
      (leased && Unset(print.DhcpServer))) {
    return std::nullopt;
  }
  // Asked the way recognition will ask: an entry the neighbour table kept from the network
  // before (the same gateway address elsewhere) would be remembered for the wrong one.
  platform::ProbeRequest request;
  request.adapter = r.NIC_ID;
  request.gateways = {print.Gateway};
  request.timeout_ms = kProbeTimeoutMs;
  const platform::ProbeResult result = platform_.probe.Probe(request);
  if (!result.error.empty()) {
    // No probe can be sent from here (no rights): the table is all there is.
    print.GatewayMAC =
        platform::NormalisedMac(platform_.probe.NeighbourMac(r.NIC_ID, print.Gateway));
    return print.GatewayMAC.empty() ? std::nullopt : std::optional(print);
  }
  std::set<std::string> heard;
  for (const platform::GatewayAnswer& answer : result.answers) {
    if (answer.gateway == print.Gateway) heard.insert(platform::NormalisedMac(answer.mac));
  }
  // Nobody, or more than one, answering for the gateway: nothing worth remembering.
  if (heard.size() != 1 || heard.begin()->empty()) return std::nullopt;
  print.GatewayMAC = *heard.begin();
  return print;
}

bool NetworkMemory::Remember(int16_t location_id) {
  const int i = store::FindLocationIndex(state_.LocationTable, location_id);
  if (i < 0) return false;
  store::LocationRecord& r = state_.LocationTable[static_cast<size_t>(i)];
  const std::optional<store::NetworkPrint> print = Observe(r);
  if (!print || !locations_.SaveNetworkPrint(location_id, *print)) return false;
  r.Network = *print;
  return true;
}

}  // namespace netvane::engine
