#include "platform/win32/win32_codepage.h"

#include "platform/win32/windows_api.h"

#include <climits>
#include <stdexcept>

namespace netvane::platform {
namespace {

// Every conversion passes explicit lengths: registry multi-strings carry NUL bytes inside
// the text, and a length of -1 would stop at the first of them.
int CheckedLength(size_t size) {
  if (size > static_cast<size_t>(INT_MAX)) throw std::length_error("text too long to convert");
  return static_cast<int>(size);
}

std::wstring Widen(UINT codepage, DWORD flags, std::string_view in) {
  const int in_len = CheckedLength(in.size());
  const int n = MultiByteToWideChar(codepage, flags, in.data(), in_len, nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(codepage, flags, in.data(), in_len, out.data(), n);
  return out;
}

std::string Narrow(UINT codepage, std::wstring_view in) {
  const int in_len = CheckedLength(in.size());
  // Default character arguments stay null: characters the code page lacks become its default
  // character ('?'), and CP_UTF8 rejects any non-null argument there.
  const int n = WideCharToMultiByte(codepage, 0, in.data(), in_len, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(codepage, 0, in.data(), in_len, out.data(), n, nullptr, nullptr);
  return out;
}

// ANSI text with a character the code page cannot decode, typically a double-byte character
// cut in half where text was shortened to a byte count. The system would substitute a code
// page dependent default for such a character; callers expect '?' as on the host backend, so
// the text is decoded one character at a time.
std::wstring WidenDamaged(std::string_view ansi) {
  std::wstring out;
  out.reserve(ansi.size());
  size_t i = 0;
  while (i < ansi.size()) {
    const auto lead = static_cast<BYTE>(ansi[i]);
    if (IsDBCSLeadByte(lead)) {
      if (i + 1 >= ansi.size()) {
        out += L'?';
        break;
      }
      const std::wstring pair = Widen(CP_ACP, MB_ERR_INVALID_CHARS, ansi.substr(i, 2));
      if (pair.empty()) {
        // Only the lead byte is lost; the byte after it may be a character of its own.
        out += L'?';
        ++i;
      } else {
        out += pair;
        i += 2;
      }
    } else {
      // A single byte maps as the system maps it, undefined bytes included.
      out += Widen(CP_ACP, 0, ansi.substr(i, 1));
      ++i;
    }
  }
  return out;
}

}  // namespace

Win32CodePage::Win32CodePage() : utf8_(GetACP() == CP_UTF8) {}

std::string Win32CodePage::ToAnsi(std::string_view text) const {
  if (utf8_ || text.empty()) return std::string(text);
  return Narrow(CP_ACP, Widen(CP_UTF8, 0, text));
}

std::string Win32CodePage::FromAnsi(std::string_view ansi) const {
  if (utf8_ || ansi.empty()) return std::string(ansi);
  std::wstring wide = Widen(CP_ACP, MB_ERR_INVALID_CHARS, ansi);
  if (wide.empty()) wide = WidenDamaged(ansi);
  return Narrow(CP_UTF8, wide);
}

std::wstring WideFromUtf8(std::string_view utf8) {
  const int in = static_cast<int>(utf8.size());
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), in, nullptr, 0);
  std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), in, out.data(), n);
  return out;
}

std::string Utf8FromWide(std::wstring_view wide) {
  const int in = static_cast<int>(wide.size());
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), in, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, wide.data(), in, out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace netvane::platform
