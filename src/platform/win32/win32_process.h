// The running program and the programs it starts, as Windows sees them.
#pragma once

#include <cstdint>
#include <map>

#include "platform/process.h"
#include "platform/win32/win32_codepage.h"

namespace netvane::platform {

// A started program is named by an id of this object's own, not by its process id: Windows gives
// a process id to another program once no handle holds the ended one, so the handle from
// CreateProcess is kept until the program has been seen to end, then its exit code.
class Win32Process final : public Process {
 public:
  Win32Process() = default;
  ~Win32Process() override;
  Win32Process(const Win32Process&) = delete;
  Win32Process& operator=(const Win32Process&) = delete;

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
  struct Child {
    void* handle = nullptr;  // null once the program has ended
    uint32_t exit_code = 0;
  };
  // The child `id` names, or null for an id this object did not give.
  Child* Find(uint32_t id);
  static void Ended(Child& child);
  // Lets go of the handles of programs that have ended, keeping their exit codes.
  void Sweep();

  Win32CodePage codepage_;
  std::map<uint32_t, Child> children_;
  uint32_t last_id_ = 0;
};

}  // namespace netvane::platform
