// IPv4 addresses as dotted quads, and which addresses can be a host's: the stand-ins check
// what they are asked to set with these, the network probe what it is asked to probe for.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace netvane::platform {

// A dotted quad with four decimal parts 0..255 (no blanks, no other forms); host order.
std::optional<uint32_t> ParseIpv4(const std::string& text);
std::string FormatIpv4(uint32_t address);

// Why `address` can be no host's own address nor a gateway ("a multicast address" ...); empty
// when it can be one.
std::string NotAHostAddress(uint32_t address);

}  // namespace netvane::platform
