// What the network probe puts on the wire and what it reads back, kept apart from the sockets
// so that every byte can be checked: the ARP probe, the DHCP DISCOVER in its Ethernet, IPv4
// and UDP headers, the answers heard, and the probe's result as netvane-helper's reply
// carries it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/network_probe.h"

namespace netvane::platform::probe {

using Mac = std::array<uint8_t, 6>;

inline constexpr uint16_t kEtherIpv4 = 0x0800;
inline constexpr uint16_t kEtherArp = 0x0806;
inline constexpr size_t kEthernetHeader = 14;
// Ethernet's shortest frame without its checksum; shorter ones are padded.
inline constexpr size_t kShortestFrame = 60;

// The gateways one request to netvane-helper may name.
inline constexpr size_t kMostGateways = 16;
// Hardware addresses kept for one gateway: two already show that the answer is not clear, and
// a peer that answers from ever new ones fills nothing.
inline constexpr size_t kMostMacsPerGateway = 2;

// The gateways of a request, checked and in host order with duplicates folded; empty and the
// reason in `*why` when one is no address a gateway can have.
std::vector<uint32_t> CheckGateways(const std::vector<std::string>& texts, std::string* why);

// A broadcast ARP request from `mac` asking who has `target`, with sender address 0.0.0.0 so
// that nobody takes it for an announcement of ours.
std::vector<uint8_t> ArpProbeFrame(const Mac& mac, uint32_t target);

// A DHCP DISCOVER from 0.0.0.0:68 to 255.255.255.255:67 with the broadcast flag, as a whole
// Ethernet frame.
std::vector<uint8_t> DiscoverFrame(const Mac& mac, uint32_t xid);

struct ArpAnswer {
  uint32_t sender = 0;  // its protocol address, host order
  Mac mac{};
};
// The sender of an ARP reply for IPv4 over Ethernet; nullopt for anything else (requests,
// other protocols, frames cut short).
std::optional<ArpAnswer> ParseArpReply(const uint8_t* frame, size_t size);

// The DHCPOFFER for `xid` in an Ethernet frame (IPv4, UDP from port 67 to port 68); nullopt
// for anything else or an offer without a server identifier, an address or a valid mask.
std::optional<DhcpOffer> ParseOfferFrame(const uint8_t* frame, size_t size, uint32_t xid);

// The result as the fields of netvane-helper's reply: "arp GATEWAY MAC" for each answer and
// "offer SERVER ADDRESS MASK"; empty and `*why` when they would not fit in one reply.
std::vector<std::string> ResultFields(const ProbeResult& result, std::string* why);
// The result read back from a reply to a request for `asked`; nullopt when a field is not one
// of the above or names a gateway that was not asked for.
std::optional<ProbeResult> ResultOfFields(const std::vector<std::string>& fields,
                                          const std::vector<uint32_t>& asked);

}  // namespace netvane::platform::probe
