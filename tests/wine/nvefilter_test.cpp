// NVEFilter.exe on a system without the filter driver: whatever its command line, it ends
// silently with exit code 0, as the engine starts it and never looks at the outcome.
#include <gtest/gtest.h>

#include "platform/win32/windows_api.h"

#include <string>

#include "wine_support.h"

namespace netvane::testing {
namespace {

TEST(NveFilterWithoutDriver, EndsSilentlyWithExitCodeZero) {
  // The device the program talks to is missing here (Windows and Wine alike: not found).
  HANDLE device = CreateFileA("\\\\.\\NVEFLT", GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  const DWORD error = GetLastError();
  if (device != INVALID_HANDLE_VALUE) {
    CloseHandle(device);
    GTEST_SKIP() << "this system has the filter driver";
  }
  ASSERT_EQ(error, 2u);

  // Without an X server Wine cannot make the program's (never shown) window, and the program
  // ends with 0 before it reaches the device; with one it gets as far as the failed open.
  // Either way the caller sees exit code 0 and no output.
  const std::string program = ProgramFolder() + "NVEFilter.exe";
  for (const char* arguments : {" L 0000", " U 0000", " L 0013", "", " L", " X 0000"}) {
    const ProgramRun run = RunProgram("\"" + program + "\"" + arguments);
    ASSERT_TRUE(run.started) << program << ": error " << run.error;
    EXPECT_EQ(run.exit_code, 0u) << "arguments:" << arguments;
    EXPECT_EQ(run.output, "") << "arguments:" << arguments;
  }
}

}  // namespace
}  // namespace netvane::testing
