// DHCP messages as a client writes and reads them: the stand-in's loopback renew and the
// network probe's DISCOVER build theirs here, and both read a server's reply here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace netvane::platform::dhcp {

// The BOOTP fields ahead of the magic cookie.
inline constexpr size_t kFixedPart = 236;
// The flags field's broadcast bit: the server answers by broadcast, for a client that cannot
// take a unicast yet.
inline constexpr uint16_t kFlagBroadcast = 0x8000;

// What a reply carries (addresses in host order).
struct Lease {
  uint32_t address = 0;  // yiaddr
  uint32_t mask = 0;
  std::vector<uint32_t> routers;
  std::vector<uint32_t> dns;
  uint32_t seconds = 0;
  uint32_t server = 0;  // the server identifier
};

// A BOOTREQUEST of `type` (kDiscover, kRequest ...) with the transaction id and hardware
// address; a REQUEST names the offered address and the server. `flags` as the flags field.
std::vector<uint8_t> BuildRequest(uint8_t type, uint32_t xid, const std::array<uint8_t, 6>& mac,
                                  uint32_t requested = 0, uint32_t server = 0, uint16_t flags = 0);

// The lease in a BOOTREPLY of `type` for `xid`; nullopt for anything else (other type or
// transaction, a message cut short, an option running past the end).
std::optional<Lease> ParseReply(const uint8_t* data, size_t size, uint8_t type, uint32_t xid);

}  // namespace netvane::platform::dhcp
