#include "platform/posix/probe_wire.h"

#include <algorithm>
#include <sstream>

#include "platform/bytes.h"
#include "platform/dhcp_codes.h"
#include "platform/dhcp_message.h"
#include "platform/ipv4.h"
#include "platform/posix/helper_wire.h"
#include "platform/probe_facts.h"

namespace netvane::platform::probe {
namespace {

constexpr uint8_t kUdp = 17;
constexpr size_t kIpv4Header = 20;
constexpr size_t kUdpHeader = 8;
constexpr size_t kArpBody = 28;
constexpr uint16_t kArpRequest = 1;
constexpr uint16_t kArpReply = 2;
constexpr uint16_t kDhcpServerPort = 67;
constexpr uint16_t kDhcpClientPort = 68;

uint16_t GetBe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

void PutBe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}

// The ones' complement sum of 16-bit words that IPv4 and UDP check their bytes with.
uint32_t Sum(const uint8_t* p, size_t n, uint32_t sum = 0) {
  for (size_t i = 0; i + 1 < n; i += 2) sum += GetBe16(p + i);
  if (n % 2 != 0) sum += static_cast<uint32_t>(p[n - 1]) << 8;
  return sum;
}

uint16_t Checksum(uint32_t sum) {
  while (sum >> 16 != 0) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint16_t>(~sum);
}

std::vector<uint8_t> EthernetHeader(const Mac& from, uint16_t type) {
  std::vector<uint8_t> f(kEthernetHeader, 0xFF);  // to everyone
  std::copy(from.begin(), from.end(), f.begin() + 6);
  PutBe16(f.data() + 12, type);
  return f;
}

bool ContiguousMask(uint32_t mask) { return mask != 0 && ((~mask + 1) & ~mask) == 0; }

std::vector<std::string> Words(const std::string& text) {
  std::vector<std::string> words;
  std::istringstream in(text);
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

}  // namespace

std::vector<uint32_t> CheckGateways(const std::vector<std::string>& texts, std::string* why) {
  std::vector<uint32_t> gateways;
  for (const std::string& text : texts) {
    const std::optional<uint32_t> a = ParseIpv4(text);
    const std::string reason = a ? NotAHostAddress(*a) : "";
    if (!a || !reason.empty()) {
      *why = "\"" + text + "\" is not a valid gateway" + (reason.empty() ? "" : ": " + reason);
      return {};
    }
    if (std::find(gateways.begin(), gateways.end(), *a) == gateways.end()) gateways.push_back(*a);
  }
  why->clear();
  return gateways;
}

std::vector<uint8_t> ArpProbeFrame(const Mac& mac, uint32_t target) {
  std::vector<uint8_t> f = EthernetHeader(mac, kEtherArp);
  f.resize(kEthernetHeader + kArpBody, 0);
  uint8_t* arp = f.data() + kEthernetHeader;
  PutBe16(arp, 1);  // Ethernet
  PutBe16(arp + 2, kEtherIpv4);
  arp[4] = 6;
  arp[5] = 4;
  PutBe16(arp + 6, kArpRequest);
  std::copy(mac.begin(), mac.end(), arp + 8);
  // Sender address (arp + 14) and target hardware address (arp + 18) stay zero.
  PutBe32(arp + 24, target);
  f.resize(kShortestFrame, 0);
  return f;
}

std::vector<uint8_t> DiscoverFrame(const Mac& mac, uint32_t xid) {
  const std::vector<uint8_t> message =
      dhcp::BuildRequest(dhcp::kDiscover, xid, mac, 0, 0, dhcp::kFlagBroadcast);
  std::vector<uint8_t> f = EthernetHeader(mac, kEtherIpv4);
  const size_t ip_at = f.size();
  const size_t udp_length = kUdpHeader + message.size();
  f.resize(ip_at + kIpv4Header + kUdpHeader, 0);
  uint8_t* ip = f.data() + ip_at;
  ip[0] = 0x45;  // version 4, five words of header
  PutBe16(ip + 2, static_cast<uint16_t>(kIpv4Header + udp_length));
  ip[8] = 64;  // time to live
  ip[9] = kUdp;
  PutBe32(ip + 16, 0xFFFFFFFFu);  // from 0.0.0.0 (ip + 12) to everyone
  PutBe16(ip + 10, Checksum(Sum(ip, kIpv4Header)));
  uint8_t* udp = ip + kIpv4Header;
  PutBe16(udp, kDhcpClientPort);
  PutBe16(udp + 2, kDhcpServerPort);
  PutBe16(udp + 4, static_cast<uint16_t>(udp_length));
  f.insert(f.end(), message.begin(), message.end());
  udp = f.data() + ip_at + kIpv4Header;
  // Over the pseudo-header (addresses, protocol, length), the UDP header and the message.
  const uint32_t pseudo = Sum(f.data() + ip_at + 12, 8) + kUdp + static_cast<uint32_t>(udp_length);
  const uint16_t check = Checksum(Sum(udp, udp_length, pseudo));
  PutBe16(udp + 6, check == 0 ? 0xFFFF : check);
  return f;
}

std::optional<ArpAnswer> ParseArpReply(const uint8_t* frame, size_t size) {
  if (size < kEthernetHeader + kArpBody || GetBe16(frame + 12) != kEtherArp) return std::nullopt;
  const uint8_t* arp = frame + kEthernetHeader;
  if (GetBe16(arp) != 1 || GetBe16(arp + 2) != kEtherIpv4 || arp[4] != 6 || arp[5] != 4 ||
      GetBe16(arp + 6) != kArpReply) {
    return std::nullopt;
  }
  ArpAnswer answer;
  std::copy(arp + 8, arp + 14, answer.mac.begin());
  answer.sender = GetBe32(arp + 14);
  return answer;
}

std::optional<DhcpOffer> ParseOfferFrame(const uint8_t* frame, size_t size, uint32_t xid) {
  if (size < kEthernetHeader + kIpv4Header || GetBe16(frame + 12) != kEtherIpv4)
    return std::nullopt;
  const uint8_t* ip = frame + kEthernetHeader;
  const size_t available = size - kEthernetHeader;
  const size_t header = static_cast<size_t>(ip[0] & 0x0F) * 4;
  const size_t total = GetBe16(ip + 2);
  // IPv4 with a whole header, all of it in the frame (padding may follow), not a fragment.
  if (ip[0] >> 4 != 4 || header < kIpv4Header || total < header + kUdpHeader || total > available ||
      ip[9] != kUdp || (GetBe16(ip + 6) & 0x3FFF) != 0) {
    return std::nullopt;
  }
  const uint8_t* udp = ip + header;
  const size_t udp_length = GetBe16(udp + 4);
  if (GetBe16(udp) != kDhcpServerPort || GetBe16(udp + 2) != kDhcpClientPort ||
      udp_length < kUdpHeader || udp_length > total - header) {
    return std::nullopt;
  }
  const std::optional<dhcp::Lease> lease =
      dhcp::ParseReply(udp + kUdpHeader, udp_length - kUdpHeader, dhcp::kOffer, xid);
  if (!lease || lease->server == 0 || lease->address == 0 || !ContiguousMask(lease->mask))
    return std::nullopt;
  return DhcpOffer{FormatIpv4(lease->server), FormatIpv4(lease->address), FormatIpv4(lease->mask)};
}

std::vector<std::string> ResultFields(const ProbeResult& result, std::string* why) {
  std::vector<std::string> fields;
  for (const GatewayAnswer& a : result.answers) fields.push_back("arp " + a.gateway + " " + a.mac);
  if (result.offer) {
    fields.push_back("offer " + result.offer->server + " " + result.offer->address + " " +
                     result.offer->mask);
  }
  // Version, status and the empty message ahead of them.
  size_t size = 3;
  for (const std::string& f : fields) size += f.size() + 1;
  why->clear();
  if (size > helper::kLargestMessage) {
    *why = "the network gave more answers (" + std::to_string(result.answers.size()) +
           ") than one reply of netvane-helper holds; ask for fewer gateways at once";
    return {};
  }
  return fields;
}

std::optional<ProbeResult> ResultOfFields(const std::vector<std::string>& fields,
                                          const std::vector<uint32_t>& asked) {
  ProbeResult result;
  for (const std::string& field : fields) {
    const std::vector<std::string> w = Words(field);
    if (w.size() == 3 && w[0] == "arp") {
      const std::optional<uint32_t> gateway = ParseIpv4(w[1]);
      if (!gateway || std::find(asked.begin(), asked.end(), *gateway) == asked.end() ||
          platform::NormalisedMac(w[2]) != w[2] || w[2].empty()) {
        return std::nullopt;
      }
      result.answers.push_back({FormatIpv4(*gateway), w[2]});
    } else if (w.size() == 4 && w[0] == "offer" && !result.offer) {
      std::optional<uint32_t> a[3];
      for (size_t i = 0; i < 3; ++i) {
        a[i] = ParseIpv4(w[i + 1]);
        if (!a[i]) return std::nullopt;
      }
      result.offer = DhcpOffer{FormatIpv4(*a[0]), FormatIpv4(*a[1]), FormatIpv4(*a[2])};
    } else {
      return std::nullopt;
    }
  }
  return result;
}

}  // namespace netvane::platform::probe
