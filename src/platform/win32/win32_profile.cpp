#include "platform/win32/win32_profile.h"

#include "platform/win32/windows_api.h"

#include <wininet.h>

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

void Win32Profile::InternetSettingsChanged() {
  // Loaded here, not linked: every other program of ours (NVEFilter runs once per adapter) would
  // load WinINet at its start for nothing.
  HMODULE wininet = LoadLibraryW(L"wininet.dll");
  if (wininet == nullptr) return;
  using SetOption = BOOL(WINAPI*)(HINTERNET, DWORD, LPVOID, DWORD);
  // Through void(*)(), the one function type every other may be cast from without a warning.
  const auto set_option = reinterpret_cast<SetOption>(
      reinterpret_cast<void (*)()>(GetProcAddress(wininet, "InternetSetOptionA")));
  // Nothing is lost when either fails: the values are written, and every program started from
  // now on reads them.
  if (set_option != nullptr) {
    set_option(nullptr, INTERNET_OPTION_SETTINGS_CHANGED, nullptr, 0);
    set_option(nullptr, INTERNET_OPTION_REFRESH, nullptr, 0);
  }
  FreeLibrary(wininet);
}

}  // namespace netvane::platform
