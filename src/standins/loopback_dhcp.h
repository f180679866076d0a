// The DHCP client side of a renew while the filter driver redirects an adapter's DHCP to the
// local responder: DISCOVER, OFFER, REQUEST, ACK between 127.0.0.1 port 68 and port 67.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "standins/system_record.h"

namespace netvane::standins {

// A BOOTREQUEST of `type` (1 DISCOVER, 3 REQUEST) with the transaction id and hardware
// address; a REQUEST names the offered address and the server.
std::vector<uint8_t> BuildDhcpRequest(uint8_t type, uint32_t xid, const std::array<uint8_t, 6>& mac,
                                      uint32_t requested = 0, uint32_t server = 0);

// The lease in a BOOTREPLY of `type` for `xid`; nullopt for anything else (other type or
// transaction, malformed options).
std::optional<Lease> ParseDhcpReply(const uint8_t* data, size_t size, uint8_t type, uint32_t xid);

// Runs the exchange, retrying each step, for at most `seconds`. nullopt when no ACK came.
std::optional<Lease> LoopbackExchange(const std::array<uint8_t, 6>& mac, int seconds,
                                      std::string* error);

}  // namespace netvane::standins
