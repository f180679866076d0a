// DHCP's numbers on the wire: what the local responder writes and the stand-in's client reads
// and writes.
#pragma once

#include <cstdint>

namespace netvane::platform::dhcp {

// The op field.
inline constexpr uint8_t kBootRequest = 1;
inline constexpr uint8_t kBootReply = 2;
inline constexpr uint8_t kHardwareEthernet = 1;

// The four bytes ahead of the options.
inline constexpr uint8_t kMagicCookie[4] = {99, 130, 83, 99};

// Option codes.
inline constexpr uint8_t kOptionPad = 0;
inline constexpr uint8_t kOptionSubnetMask = 1;
inline constexpr uint8_t kOptionRouter = 3;
inline constexpr uint8_t kOptionDomainNameServer = 6;
inline constexpr uint8_t kOptionDomainName = 15;
inline constexpr uint8_t kOptionRequestedAddress = 50;
inline constexpr uint8_t kOptionLeaseTime = 51;
inline constexpr uint8_t kOptionMessageType = 53;
inline constexpr uint8_t kOptionServerId = 54;
inline constexpr uint8_t kOptionParameterList = 55;
inline constexpr uint8_t kOptionClientId = 61;
inline constexpr uint8_t kOptionEnd = 255;

// Message types (kOptionMessageType).
inline constexpr uint8_t kDiscover = 1;
inline constexpr uint8_t kOffer = 2;
inline constexpr uint8_t kRequest = 3;
inline constexpr uint8_t kAck = 5;
inline constexpr uint8_t kNak = 6;
inline constexpr uint8_t kInform = 8;

}  // namespace netvane::platform::dhcp
