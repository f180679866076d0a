// Stands in for a system tool (netsh.exe, ipconfig.exe, NVEFilter.exe) beside the engine's
// test program: appends one record to the file named by NETVANE_COMMAND_LOG, the show mode of
// its window ("-" when none was asked for), a blank, and its command line exactly as
// GetCommandLineA gives it.
#include "platform/win32/windows_api.h"

#include <string>

int main() {
  char log[MAX_PATH];
  const DWORD n = GetEnvironmentVariableA("NETVANE_COMMAND_LOG", log, sizeof log);
  if (n == 0 || n >= sizeof log) return 2;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  GetStartupInfoA(&startup);
  const std::string show = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0
                               ? std::to_string(startup.wShowWindow)
                               : std::string("-");
  const std::string record = show + " " + GetCommandLineA() + "\n";
  // Stand-ins the engine does not wait for run at once: each takes the file for itself, so
  // that records never mix.
  for (int attempt = 0; attempt < 2000; ++attempt) {
    HANDLE file =
        CreateFileA(log, FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      const BOOL ok =
          WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
      CloseHandle(file);
      return ok && written == record.size() ? 0 : 3;
    }
    if (GetLastError() != ERROR_SHARING_VIOLATION) return 4;
    Sleep(5);
  }
  return 5;
}
