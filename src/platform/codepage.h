// Conversion between the program's own text (UTF-8) and the system's ANSI code page, in which
// the registry, profile and command-line functions exchange text.
#pragma once

#include <string>
#include <string_view>

namespace netvane::platform {

class CodePage {
 public:
  virtual ~CodePage() = default;
  // Characters the code page cannot hold become '?', as the system's own conversion does.
  virtual std::string ToAnsi(std::string_view text) const = 0;
  // Bytes that are not valid in the code page (a cut double-byte character) become '?'.
  virtual std::string FromAnsi(std::string_view ansi) const = 0;
  // True when ANSI text is UTF-8, so both conversions keep the bytes as they are.
  virtual bool IsUtf8() const = 0;
};

}  // namespace netvane::platform
