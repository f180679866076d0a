// Whole numbers in registry text.
#pragma once

#include <cstdint>
#include <string_view>

namespace netvane::store {

// True when `text` (blanks around it allowed) is a decimal whole number from `min` to `max`.
bool ParseWholeNumber(std::string_view text, int64_t min, int64_t max, int64_t* value);

}  // namespace netvane::store
