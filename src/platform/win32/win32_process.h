// The running program and the programs it starts, as Windows sees them.
#pragma once

#include "platform/process.h"
#include "platform/win32/win32_codepage.h"

namespace netvane::platform {

class Win32Process final : public Process {
 public:
  // In the program's own text (UTF-8), like every other path the program composes and later
  // hands to the ANSI functions through the code page; empty on failure.
  std::string ProgramPath() const override;
  // CreateProcessA with the command line in the ANSI code page, so that the program started
  // reads back exactly this text from GetCommandLineA. Failure raises PlatformError with the
  // system's error number and source "CreateProcess".
  uint32_t Start(const std::string& command_line, WindowMode mode) override;
  void Wait(uint32_t process_id) override;
  bool WaitFor(uint32_t process_id, uint32_t milliseconds) override;
  uint32_t ExitCode(uint32_t process_id) override;
  // The token's elevation; Windows before Vista has none to ask for, so yes there.
  bool Elevated() const override;

 private:
  Win32CodePage codepage_;
};

}  // namespace netvane::platform
