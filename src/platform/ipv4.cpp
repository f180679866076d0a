#include "platform/ipv4.h"

namespace netvane::platform {

std::optional<uint32_t> ParseIpv4(const std::string& text) {
  uint32_t value = 0;
  size_t pos = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (pos >= text.size() || text[pos] != '.') return std::nullopt;
      ++pos;
    }
    size_t start = pos;
    uint32_t n = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && pos - start < 3) {
      n = n * 10 + static_cast<uint32_t>(text[pos] - '0');
      ++pos;
    }
    if (pos == start || n > 255) return std::nullopt;
    value = value << 8 | n;
  }
  if (pos != text.size()) return std::nullopt;
  return value;
}

std::string FormatIpv4(uint32_t address) {
  return std::to_string(address >> 24) + "." + std::to_string(address >> 16 & 255) + "." +
         std::to_string(address >> 8 & 255) + "." + std::to_string(address & 255);
}

std::string NotAHostAddress(uint32_t address) {
  const uint32_t first = address >> 24;
  if (first == 0) return "an address of this network only";
  if (first == 127) return "a loopback address";
  if (address == 0xFFFFFFFFu) return "the broadcast address";
  if (first >= 224 && first < 240) return "a multicast address";
  if (first >= 240) return "a reserved address";
  return "";
}

}  // namespace netvane::platform
