// Dotted-quad addresses and comma-separated address lists as locations store them, and the
// hexadecimal texts of lease stamps.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace netvane::engine {

using Octets = std::array<int16_t, 4>;

// Accepts only digits and dots, exactly four parts, each a number from 0 to 255.
bool ParseAddress(std::string_view text, Octets* octets);
// Splits at "," and keeps the items that parse, in order; returns how many were kept, or -1
// for an empty text or when none parses.
int ParseAddressList(std::string_view text, std::vector<Octets>* rows);
// The octets as decimal numbers without leading zeros joined by ".".
std::string DottedQuad(const Octets& octets);

// Upper-case hexadecimal text of a non-negative whole number.
std::string NumberToHex(double number);
// The value of hexadecimal digits (0-9, A-F in either case); 0 for text holding anything else.
double HexToNumber(std::string_view hex);

}  // namespace netvane::engine
