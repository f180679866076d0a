// Recognising the network an adapter is plugged into from what its locations remember: which
// probes to send, the decision over their answers, and when a recognition may run.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/network_probe.h"
#include "store/location.h"

namespace netvane::engine {

// A link has to stay up this long before its network is asked; an adapter is recognised at
// most once in kRecognitionSpacingMs, so a flapping cable makes one decision.
inline constexpr int64_t kLinkSettleMs = 300;
inline constexpr int64_t kRecognitionSpacingMs = 10000;
inline constexpr int kProbeTimeoutMs = 1000;

// The hardware addresses routers share between sites (VRRP for IPv4 and IPv6, HSRP): they
// say which router protocol answers, not which network.
bool IsVirtualRouterMac(std::string_view mac);
// The network of an address and a contiguous mask as "10.1.0.0/16"; empty when either is not
// one (a mask with holes, 0.0.0.0 as the address).
std::string NetworkPrefix(std::string_view address, std::string_view mask);
// Whether a location's remembered network can be recognised at all: a gateway address and
// its hardware address, each well formed.
bool Recognisable(const store::NetworkPrint& print);

bool SameAdapter(std::string_view a, std::string_view b);

// The probes for the adapter: every gateway its locations remember, and a DHCP DISCOVER when
// one of those gateways answers from a virtual router's address (the offer is its second
// signal). Empty gateways when no location of the adapter can be recognised.
platform::ProbeRequest RecognitionRequest(const store::LocationTable& table,
                                          const std::string& adapter);

struct Recognition {
  // The one location that matches strongly, or -1.
  int16_t location = -1;
  // Every location that matched strongly (more than one: nothing is recognised).
  std::vector<int16_t> strong;
};

// A location matches strongly when its gateway answered from the remembered hardware address
// and only from it; a virtual router's address also needs the offer's server identifier (or,
// for a location without one, the offered network) to be the remembered one.
Recognition Recognise(const store::LocationTable& table, const std::string& adapter,
                      const platform::ProbeResult& result);

// When links settle and recognitions may run, over times in milliseconds from any fixed start.
class RecognitionSchedule {
 public:
  void LinkChanged(const std::string& adapter, bool up, int64_t now_ms);
  // The adapters whose link has now been up for kLinkSettleMs; each is taken (see Take), or
  // dropped when it was recognised less than kRecognitionSpacingMs ago.
  std::vector<std::string> Due(int64_t now_ms);
  // When Due next has something to say, if ever.
  std::optional<int64_t> NextDue() const;
  // Whether a recognition of the adapter may run now; if so it counts from now.
  bool Take(const std::string& adapter, int64_t now_ms);

 private:
  struct Adapter {
    std::optional<int64_t> settles_at;
    std::optional<int64_t> last;
  };
  std::map<std::string, Adapter> adapters_;
};

}  // namespace netvane::engine
