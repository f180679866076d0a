#include "platform/win32/win32_process.h"

#include "platform/win32/windows_api.h"

#include <vector>

#include "platform/win32/win32_error.h"
#include "platform/win_codes.h"

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

std::string Win32Process::ProgramPath() const { return Utf8FromWide(ModulePath()); }

Win32Process::~Win32Process() {
  for (auto& [id, child] : children_) {
    if (child.handle != nullptr) CloseHandle(child.handle);
  }
}

Win32Process::Child* Win32Process::Find(uint32_t id) {
  const auto it = children_.find(id);
  return it == children_.end() ? nullptr : &it->second;
}

void Win32Process::Ended(Child& child) {
  DWORD code = 0;
  if (GetExitCodeProcess(child.handle, &code)) child.exit_code = code;
  CloseHandle(child.handle);
  child.handle = nullptr;
}

void Win32Process::Sweep() {
  for (auto& [id, child] : children_) {
    if (child.handle != nullptr && WaitForSingleObject(child.handle, 0) == WAIT_OBJECT_0) {
      Ended(child);
    }
  }
}

uint32_t Win32Process::Start(const std::string& command_line, WindowMode mode) {
  Sweep();
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
  const uint32_t id = ++last_id_;
  children_[id].handle = info.hProcess;
  return id;
}

void Win32Process::Wait(uint32_t process_id) {
  Child* child = Find(process_id);
  if (child == nullptr || child->handle == nullptr) return;
  WaitForSingleObject(child->handle, INFINITE);
  Ended(*child);
}

bool Win32Process::WaitFor(uint32_t process_id, uint32_t milliseconds) {
  Child* child = Find(process_id);
  if (child == nullptr || child->handle == nullptr) return true;
  // Returns early for any input or message, so that the caller's window can handle it.
  const DWORD result =
      MsgWaitForMultipleObjects(1, &child->handle, FALSE, milliseconds, QS_ALLINPUT);
  if (result == WAIT_TIMEOUT || result == WAIT_OBJECT_0 + 1) return false;
  // A wait that fails cannot be repeated usefully; like Wait, it waits no longer.
  Ended(*child);
  return true;
}

uint32_t Win32Process::ExitCode(uint32_t process_id) {
  Child* child = Find(process_id);
  if (child == nullptr) {
    throw PlatformError(kErrorInvalidParameter, "The parameter is incorrect.", "OpenProcess");
  }
  // A program may itself end with the code that means "still running".
  if (child->handle != nullptr && WaitForSingleObject(child->handle, 0) != WAIT_TIMEOUT) {
    Ended(*child);
  }
  return child->handle != nullptr ? kStillActive : child->exit_code;
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
