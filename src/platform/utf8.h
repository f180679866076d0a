// UTF-8, the program's own text on every system: decoding one character, and the length of a
// name as the system's registry counts it.
#pragma once

#include <cstddef>
#include <string_view>

namespace netvane::platform {

// Decodes the character at `s[i]`; returns its length in bytes, or 0 when the bytes there are
// not a well-formed sequence.
size_t DecodeUtf8(std::string_view s, size_t i, char32_t* cp);

// UTF-16 units of the text; a byte that is not UTF-8 counts as one.
size_t Utf16Length(std::string_view utf8);

}  // namespace netvane::platform
