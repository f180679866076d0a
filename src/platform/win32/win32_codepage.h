// The system's ANSI code page, converted through UTF-16 with the system's own tables.
#pragma once

#include <string>
#include <string_view>

#include "platform/codepage.h"

namespace netvane::platform {

// The program's own text (UTF-8) as the system's wide text (UTF-16), and back.
std::wstring WideFromUtf8(std::string_view utf8);
std::string Utf8FromWide(std::wstring_view wide);

class Win32CodePage final : public CodePage {
 public:
  Win32CodePage();
  std::string ToAnsi(std::string_view text) const override;
  std::string FromAnsi(std::string_view ansi) const override;
  bool IsUtf8() const override { return utf8_; }

 private:
  bool utf8_;
};

}  // namespace netvane::platform
