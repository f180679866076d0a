#include "platform/win32/win32_profile.h"

#include "platform/win32/windows_api.h"

namespace netvane::platform {
namespace {

constexpr DWORD kBufferSize = 1024;
// Per window: long enough for a busy window to answer, short enough not to freeze the apply.
constexpr UINT kBroadcastTimeoutMs = 5000;

}  // namespace

std::string Win32Profile::ReadEntry(const std::string& section, const std::string& key,
                                    const std::string& fallback) {
  char buffer[kBufferSize] = {};
  const DWORD n =
      GetProfileStringA(codepage_.ToAnsi(section).c_str(), codepage_.ToAnsi(key).c_str(),
                        codepage_.ToAnsi(fallback).c_str(), buffer, kBufferSize);
  return codepage_.FromAnsi(std::string_view(buffer, n));
}

bool Win32Profile::WriteEntry(const std::string& section, const std::string& key,
                              const std::string& value) {
  return WriteProfileStringA(codepage_.ToAnsi(section).c_str(), codepage_.ToAnsi(key).c_str(),
                             codepage_.ToAnsi(value).c_str()) != 0;
}

void Win32Profile::BroadcastChange(const std::string& section) {
  const std::string ansi = codepage_.ToAnsi(section);
  DWORD_PTR result = 0;
  SendMessageTimeoutA(HWND_BROADCAST, WM_WININICHANGE, 0, reinterpret_cast<LPARAM>(ansi.c_str()),
                      SMTO_ABORTIFHUNG, kBroadcastTimeoutMs, &result);
}

}  // namespace netvane::platform
