// What the network an adapter is plugged into says about itself, asked without changing
// anything on the machine: who answers for a gateway address, what a DHCP server would offer,
// and when an adapter's link comes and goes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace netvane::platform {

// A hardware address as "aa:bb:cc:dd:ee:ff", lower case.
using MacText = std::string;

struct ProbeRequest {
  // The adapter as locations name it (NIC_ID).
  std::string adapter;
  // Dotted IPv4 addresses to ask for with an ARP probe (sender 0.0.0.0).
  std::vector<std::string> gateways;
  // Whether to send one DHCP DISCOVER (never followed by a REQUEST) and wait for an offer.
  bool dhcp = false;
  // How long to wait for answers in all.
  int timeout_ms = 1000;
};

struct GatewayAnswer {
  std::string gateway;
  MacText mac;
  bool operator==(const GatewayAnswer&) const = default;
};

struct DhcpOffer {
  std::string server;  // the server identifier
  std::string address;
  std::string mask;
  bool operator==(const DhcpOffer&) const = default;
};

struct ProbeResult {
  // Every answer heard, one per gateway and hardware address (a gateway that answers from two
  // addresses appears twice).
  std::vector<GatewayAnswer> answers;
  std::optional<DhcpOffer> offer;
  // Why nothing could be asked (no such adapter, no right to ...); empty when the probes went
  // out, whether or not anyone answered.
  std::string error;
};

// Watches the adapters' links until destroyed.
class LinkWatch {
 public:
  virtual ~LinkWatch() = default;
};

// `changed(adapter, up)`, called on a thread of the watcher's own.
using LinkChanged = std::function<void(const std::string& adapter, bool up)>;

class NetworkProbe {
 public:
  virtual ~NetworkProbe() = default;
  virtual ProbeResult Probe(const ProbeRequest& request) = 0;
  // The neighbour table's hardware address for `address` on the adapter, or empty.
  virtual MacText NeighbourMac(const std::string& adapter, const std::string& address) = 0;
  // Null where links cannot be watched.
  virtual std::unique_ptr<LinkWatch> WatchLinks(LinkChanged changed) = 0;
};

}  // namespace netvane::platform
