#include "platform/dhcp_message.h"

#include <cstring>

#include "platform/bytes.h"
#include "platform/dhcp_codes.h"

namespace netvane::platform::dhcp {

std::vector<uint8_t> BuildRequest(uint8_t type, uint32_t xid, const std::array<uint8_t, 6>& mac,
                                  uint32_t requested, uint32_t server, uint16_t flags) {
  std::vector<uint8_t> m(kFixedPart, 0);
  m[0] = kBootRequest;
  m[1] = kHardwareEthernet;
  m[2] = 6;
  PutBe32(m.data() + 4, xid);
  m[10] = static_cast<uint8_t>(flags >> 8);
  m[11] = static_cast<uint8_t>(flags);
  std::memcpy(m.data() + 28, mac.data(), mac.size());
  m.insert(m.end(), kMagicCookie, kMagicCookie + 4);
  m.insert(m.end(), {kOptionMessageType, 1, type});
  m.insert(m.end(), {kOptionClientId, 7, kHardwareEthernet});
  m.insert(m.end(), mac.begin(), mac.end());
  if (requested != 0) {
    m.insert(m.end(), {kOptionRequestedAddress, 4, 0, 0, 0, 0});
    PutBe32(m.data() + m.size() - 4, requested);
  }
  if (server != 0) {
    m.insert(m.end(), {kOptionServerId, 4, 0, 0, 0, 0});
    PutBe32(m.data() + m.size() - 4, server);
  }
  m.insert(m.end(), {kOptionParameterList, 5, kOptionSubnetMask, kOptionRouter,
                     kOptionDomainNameServer, kOptionLeaseTime, kOptionServerId});
  m.push_back(kOptionEnd);
  // Padded to the 300 bytes of a BOOTP message, as clients send it.
  if (m.size() < 300) m.resize(300, 0);
  return m;
}

std::optional<Lease> ParseReply(const uint8_t* data, size_t size, uint8_t type, uint32_t xid) {
  if (size < kFixedPart + 4 || data[0] != kBootReply || GetBe32(data + 4) != xid ||
      std::memcmp(data + kFixedPart, kMagicCookie, 4) != 0) {
    return std::nullopt;
  }
  Lease lease;
  lease.address = GetBe32(data + 16);
  int message_type = -1;
  size_t i = kFixedPart + 4;
  while (i < size) {
    const uint8_t code = data[i];
    if (code == kOptionEnd) break;
    if (code == kOptionPad) {
      ++i;
      continue;
    }
    if (i + 1 >= size || i + 2 + data[i + 1] > size) return std::nullopt;
    const uint8_t len = data[i + 1];
    const uint8_t* v = data + i + 2;
    switch (code) {
      case kOptionMessageType:
        if (len == 1) message_type = v[0];
        break;
      case kOptionSubnetMask:
        if (len == 4) lease.mask = GetBe32(v);
        break;
      case kOptionRouter:
      case kOptionDomainNameServer:
        for (size_t k = 0; k + 4 <= len; k += 4) {
          (code == kOptionRouter ? lease.routers : lease.dns).push_back(GetBe32(v + k));
        }
        break;
      case kOptionLeaseTime:
        if (len == 4) lease.seconds = GetBe32(v);
        break;
      case kOptionServerId:
        if (len == 4) lease.server = GetBe32(v);
        break;
      default:
        break;
    }
    i += 2 + len;
  }
  if (message_type != type) return std::nullopt;
  return lease;
}

}  // namespace netvane::platform::dhcp
