#include "engine/recognition.h"

#include <algorithm>
#include <set>

#include "engine/address.h"
#include "platform/probe_facts.h"
#include "platform/text.h"

namespace netvane::engine {
namespace {

uint32_t Packed(const Octets& o) {
  return (static_cast<uint32_t>(o[0]) << 24) | (static_cast<uint32_t>(o[1]) << 16) |
         (static_cast<uint32_t>(o[2]) << 8) | static_cast<uint32_t>(o[3]);
}

std::string Canonical(std::string_view address) {
  Octets o;
  return ParseAddress(platform::TrimSpaces(address), &o) ? DottedQuad(o) : std::string();
}

std::string AdapterKey(std::string_view adapter) {
  return store::AsciiUpper(platform::TrimSpaces(adapter));
}

// Whether the offer carries the location's second signal: every one it remembers agrees, and
// it remembers at least one.
bool SecondSignalMatches(const store::NetworkPrint& print,
                         const std::optional<platform::DhcpOffer>& offer) {
  if (!offer) return false;
  const std::string server = Canonical(print.DhcpServer);
  const std::string prefix = std::string(platform::TrimSpaces(print.Prefix));
  if (server.empty() && prefix.empty()) return false;
  if (!server.empty() && Canonical(offer->server) != server) return false;
  if (!prefix.empty() && NetworkPrefix(offer->address, offer->mask) != prefix) return false;
  return true;
}

}  // namespace

bool IsVirtualRouterMac(std::string_view text) {
  const std::string mac = platform::NormalisedMac(text);
  return mac.rfind("00:00:5e:00:01:", 0) == 0 || mac.rfind("00:00:5e:00:02:", 0) == 0 ||
         mac.rfind("00:00:0c:07:ac:", 0) == 0;
}

std::string NetworkPrefix(std::string_view address, std::string_view mask) {
  Octets a;
  Octets m;
  if (!ParseAddress(platform::TrimSpaces(address), &a) ||
      !ParseAddress(platform::TrimSpaces(mask), &m)) {
    return {};
  }
  const uint32_t bits = Packed(m);
  const uint32_t host = ~bits;
  // Contiguous: the host part is all ones from some bit down.
  if (bits == 0 || (host & (host + 1)) != 0 || Packed(a) == 0) return {};
  const uint32_t net = Packed(a) & bits;
  int length = 0;
  for (uint32_t b = bits; b != 0; b <<= 1) ++length;
  const Octets n = {static_cast<int16_t>(net >> 24), static_cast<int16_t>((net >> 16) & 255),
                    static_cast<int16_t>((net >> 8) & 255), static_cast<int16_t>(net & 255)};
  return DottedQuad(n) + "/" + std::to_string(length);
}

bool Recognisable(const store::NetworkPrint& print) {
  return !Canonical(print.Gateway).empty() && !platform::NormalisedMac(print.GatewayMAC).empty();
}

bool SameAdapter(std::string_view a, std::string_view b) { return AdapterKey(a) == AdapterKey(b); }

platform::ProbeRequest RecognitionRequest(const store::LocationTable& table,
                                          const std::string& adapter) {
  platform::ProbeRequest request;
  request.adapter = adapter;
  request.timeout_ms = kProbeTimeoutMs;
  for (const store::LocationRecord& r : table) {
    if (!SameAdapter(r.NIC_ID, adapter) || !Recognisable(r.Network)) continue;
    const std::string gateway = Canonical(r.Network.Gateway);
    if (std::find(request.gateways.begin(), request.gateways.end(), gateway) ==
        request.gateways.end()) {
      request.gateways.push_back(gateway);
    }
    if (IsVirtualRouterMac(r.Network.GatewayMAC)) request.dhcp = true;
  }
  return request;
}

Recognition Recognise(const store::LocationTable& table, const std::string& adapter,
                      const platform::ProbeResult& result) {
  Recognition recognition;
  if (!result.error.empty()) return recognition;
  for (const store::LocationRecord& r : table) {
    if (!SameAdapter(r.NIC_ID, adapter) || !Recognisable(r.Network)) continue;
    const std::string gateway = Canonical(r.Network.Gateway);
    std::set<std::string> heard;
    for (const platform::GatewayAnswer& answer : result.answers) {
      if (Canonical(answer.gateway) == gateway) heard.insert(platform::NormalisedMac(answer.mac));
    }
    // Two answers for one address: a conflict or someone lying; nothing to go on.
    const std::string mac = platform::NormalisedMac(r.Network.GatewayMAC);
    if (heard.size() != 1 || *heard.begin() != mac) continue;
    if (IsVirtualRouterMac(mac) && !SecondSignalMatches(r.Network, result.offer)) continue;
    recognition.strong.push_back(r.LocationId);
  }
  if (recognition.strong.size() == 1) recognition.location = recognition.strong.front();
  return recognition;
}

void RecognitionSchedule::LinkChanged(const std::string& adapter, bool up, int64_t now_ms) {
  Adapter& a = adapters_[adapter];
  if (!up) {
    a.settles_at.reset();
  } else if (!a.settles_at) {
    a.settles_at = now_ms + kLinkSettleMs;
  }
}

std::vector<std::string> RecognitionSchedule::Due(int64_t now_ms) {
  std::vector<std::string> due;
  for (auto& [name, a] : adapters_) {
    if (!a.settles_at || *a.settles_at > now_ms) continue;
    a.settles_at.reset();
    if (Take(name, now_ms)) due.push_back(name);
  }
  return due;
}

std::optional<int64_t> RecognitionSchedule::NextDue() const {
  std::optional<int64_t> next;
  for (const auto& [name, a] : adapters_) {
    if (a.settles_at && (!next || *a.settles_at < *next)) next = a.settles_at;
  }
  return next;
}

bool RecognitionSchedule::Take(const std::string& adapter, int64_t now_ms) {
  Adapter& a = adapters_[adapter];
  if (a.last && now_ms - *a.last < kRecognitionSpacingMs) return false;
  a.last = now_ms;
  return true;
}

}  // namespace netvane::engine
