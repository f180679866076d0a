// What the network probes make of the system's raw answers, on every system: hardware
// addresses as text, a held DHCP lease as the server's word, and questions asked all at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/network_probe.h"

namespace netvane::platform {

// The 6-byte station address as MacText; empty for any other length, for all zeros (an entry
// not yet resolved) and for a group address (broadcast or multicast), which no gateway has.
MacText MacFromBytes(const uint8_t* bytes, size_t length);
// MacText from any case, with ':' or '-' between the bytes (as files and people write it), or
// empty when `text` is not one.
MacText NormalisedMac(std::string_view text);

// An adapter's current lease as the offer its DHCP server made: none unless DHCP is on and a
// server and an address are held.
std::optional<DhcpOffer> LeaseOffer(bool dhcp_enabled, const std::string& server,
                                    const std::string& address, const std::string& mask);

// What one question came back with: the system's result code and, on success, its answer.
struct Reply {
  uint32_t code = 0;
  std::string text;
};

// Asks every question at once, each on a thread of its own, and returns after `timeout_ms` at
// the latest. A question still waiting then shows as nullopt; it ends on its own thread later
// and its reply is dropped, so a question must own everything it uses.
std::vector<std::optional<Reply>> AskAtOnce(std::vector<std::function<Reply()>> questions,
                                            int timeout_ms);

}  // namespace netvane::platform
