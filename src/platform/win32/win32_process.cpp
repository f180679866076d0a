#include "platform/win32/win32_process.h"

#include "platform/win32/windows_api.h"

namespace netvane::platform {
namespace {

// The UTF-16 path: a folder name outside the ANSI code page would come back from the ANSI
// call as '?' and name no file at all.
std::wstring ModulePath() {
  // Paths may exceed MAX_PATH, up to the 32767 units the system allows.
  for (DWORD capacity = MAX_PATH; capacity <= 65536; capacity *= 2) {
    std::wstring path(capacity, L'\0');
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), capacity);
    if (n == 0) return std::wstring();
    // A full buffer means the name was cut (and, on older systems, left unterminated).
    if (n < capacity) {
      path.resize(n);
      return path;
    }
  }
  return std::wstring();
}

}  // namespace

std::string Win32Process::ProgramPath() const {
  const std::wstring wide = ModulePath();
  if (wide.empty()) return std::string();
  const int units = static_cast<int>(wide.size());
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string path(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, path.data(), n, nullptr, nullptr);
  return path;
}

}  // namespace netvane::platform
