#include "platform/win32/win32_process.h"

#include "platform/win32/windows_api.h"

#include <vector>

#include "platform/win32/win32_error.h"

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

WORD ShowCommand(WindowMode mode) {
  switch (mode) {
    case WindowMode::kMinimizedNoFocus:
      return SW_SHOWMINNOACTIVE;
    case WindowMode::kMinimizedFocus:
      return SW_SHOWMINIMIZED;
    case WindowMode::kHidden:
      break;
  }
  return SW_HIDE;
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

uint32_t Win32Process::Start(const std::string& command_line, WindowMode mode) {
  const std::string ansi = codepage_.ToAnsi(command_line);
  // CreateProcessA may write into the command line, so it gets a copy of its own.
  std::vector<char> line(ansi.begin(), ansi.end());
  line.push_back('\0');
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = ShowCommand(mode);
  PROCESS_INFORMATION info{};
  // No application name: the system finds the program from the command line itself, as the
  // command line's own rules (quotes, blanks in names) say.
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &info)) {
    throw LastError("CreateProcess");
  }
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return info.dwProcessId;
}

void Win32Process::Wait(uint32_t process_id) {
  HANDLE process = OpenProcess(SYNCHRONIZE, TRUE, process_id);
  // A process that has ended and been forgotten cannot be opened; there is nothing to wait for.
  if (process == nullptr) return;
  WaitForSingleObject(process, INFINITE);
  CloseHandle(process);
}

bool Win32Process::WaitFor(uint32_t process_id, uint32_t milliseconds) {
  HANDLE process = OpenProcess(SYNCHRONIZE, TRUE, process_id);
  if (process == nullptr) return true;
  // Returns early for any input or message, so that the caller's window can handle it.
  const DWORD result = MsgWaitForMultipleObjects(1, &process, FALSE, milliseconds, QS_ALLINPUT);
  CloseHandle(process);
  // A wait that fails cannot be repeated usefully; like Wait, it waits no longer.
  return result == WAIT_OBJECT_0 || result == WAIT_FAILED;
}

uint32_t Win32Process::ExitCode(uint32_t process_id) {
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, process_id);
  if (process == nullptr) throw LastError("OpenProcess");
  DWORD code = 0;
  const BOOL ok = GetExitCodeProcess(process, &code);
  if (!ok) {
    PlatformError error = LastError("OpenProcess");
    CloseHandle(process);
    throw error;
  }
  CloseHandle(process);
  return code;
}

bool Win32Process::Elevated() const {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return true;
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  const BOOL known =
      GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
  CloseHandle(token);
  return !known || elevation.TokenIsElevated != 0;
}
}  // namespace netvane::platform
