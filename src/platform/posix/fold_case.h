// Upper-casing of registry names for case-insensitive comparison and ordering, applied to
// Unicode characters as the system's registry does; bytes that are not UTF-8 pass unchanged.
// Also the length of a name as the system's registry counts it.
#pragma once

#include <string>
#include <string_view>

namespace netvane::platform {

std::string FoldCase(std::string_view utf8);

// UTF-16 units of the text; a byte that is not UTF-8 counts as one.
size_t Utf16Length(std::string_view utf8);

}  // namespace netvane::platform
