#include "engine/address.h"

#include <cmath>

namespace netvane::engine {

bool ParseAddress(std::string_view text, Octets* octets) {
  if (text.find_first_not_of("0123456789.") != std::string_view::npos) return false;
  Octets out{};
  size_t part = 0;
  size_t start = 0;
  while (true) {
    const size_t dot = text.find('.', start);
    const std::string_view piece =
        text.substr(start, dot == std::string_view::npos ? text.npos : dot - start);
    if (part >= 4 || piece.empty()) return false;
    int value = 0;
    for (char c : piece) {
      value = value * 10 + (c - '0');
      if (value > 255) return false;
    }
    out[part++] = static_cast<int16_t>(value);
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  if (part != 4) return false;
  if (octets != nullptr) *octets = out;
  return true;
}

int ParseAddressList(std::string_view text, std::vector<Octets>* rows) {
  std::vector<Octets> kept;
  if (!text.empty()) {
    size_t start = 0;
    while (true) {
      const size_t comma = text.find(',', start);
      Octets o;
      if (ParseAddress(
              text.substr(start, comma == std::string_view::npos ? text.npos : comma - start),
              &o)) {
        kept.push_back(o);
      }
      if (comma == std::string_view::npos) break;
      start = comma + 1;
    }
  }
  if (rows != nullptr) *rows = kept;
  return kept.empty() ? -1 : static_cast<int>(kept.size());
}

std::string DottedQuad(const Octets& o) {
  return std::to_string(o[0]) + "." + std::to_string(o[1]) + "." + std::to_string(o[2]) + "." +
         std::to_string(o[3]);
}

std::string NumberToHex(double number) {
  if (!(number > 0)) return "0";
  static const char kDigits[] = "0123456789ABCDEF";
  auto n = static_cast<uint64_t>(std::floor(number));
  std::string hex;
  while (n > 0) {
    hex.insert(hex.begin(), kDigits[n % 16]);
    n /= 16;
  }
  return hex;
}

double HexToNumber(std::string_view hex) {
  double value = 0;
  for (char c : hex) {
    int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else
      return 0;
    value = value * 16 + d;
  }
  return value;
}

}  // namespace netvane::engine
