// Text helpers every layer shares (plain C++, so the Qt-free code and the windows trim alike).
#pragma once

#include <cstddef>
#include <string_view>
#include <utility>

namespace netvane::platform {

inline constexpr auto kIsSpace = [](auto c) { return c == u' '; };
inline constexpr auto kIsSpaceOrTab = [](auto c) { return c == u' ' || c == u'\t'; };

// The positions [first, end) of `text` without the blanks at either end. A template so that a
// QString is trimmed by exactly the rule a std::string is.
template <typename Text, typename IsBlank>
constexpr auto TrimmedBounds(const Text& text, IsBlank is_blank) {
  decltype(text.size()) first = 0;
  auto end = text.size();
  while (first < end && is_blank(text[first])) ++first;
  while (end > first && is_blank(text[end - 1])) --end;
  return std::pair{first, end};
}

// Leading and trailing spaces off, as the program has always trimmed its texts; tabs stay.
constexpr std::string_view TrimSpaces(std::string_view text) {
  const auto [first, end] = TrimmedBounds(text, kIsSpace);
  return text.substr(first, end - first);
}

// Spaces and tabs off: the blanks of REGEDIT4 files.
constexpr std::string_view TrimSpacesAndTabs(std::string_view text) {
  const auto [first, end] = TrimmedBounds(text, kIsSpaceOrTab);
  return text.substr(first, end - first);
}

}  // namespace netvane::platform
