#include "platform/win32/win32_error.h"

#include "platform/win32/windows_api.h"

#include "platform/win32/win32_codepage.h"

namespace netvane::platform {

std::string SystemMessage(uint32_t code) {
  char* text = nullptr;
  const DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  if (n == 0 || text == nullptr) return std::string();
  std::string message(text, n);
  LocalFree(text);
  while (!message.empty() &&
         (message.back() == '\r' || message.back() == '\n' || message.back() == ' ')) {
    message.pop_back();
  }
  return Win32CodePage().FromAnsi(message);
}

PlatformError LastError(const std::string& source) {
  const DWORD code = GetLastError();
  return PlatformError(static_cast<int32_t>(code), SystemMessage(code), source);
}

}  // namespace netvane::platform
