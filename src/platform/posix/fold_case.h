// Upper-casing of registry names for case-insensitive comparison and ordering, applied to
// Unicode characters as the system's registry does; bytes that are not UTF-8 pass unchanged.
#pragma once

#include <string>
#include <string_view>

namespace netvane::platform {

std::string FoldCase(std::string_view utf8);

}  // namespace netvane::platform
