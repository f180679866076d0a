// Processes: the running program itself and the programs it starts. Command lines are the
// program's own text (UTF-8) and reach the system unchanged, as one Windows command line.
#pragma once

#include <cstdint>
#include <string>

namespace netvane::platform {

// The separator between folder and file names on this system.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// How the started program's window shows.
enum class WindowMode {
  kHidden,            // system tools, the filter switch
  kMinimizedNoFocus,  // the updater's run-and-wait
  kMinimizedFocus,    // the exit's start of the updater
};

// GetExitCodeProcess's value while a process runs.
inline constexpr uint32_t kStillActive = 259;

class Process {
 public:
  virtual ~Process() = default;
  // Full path of the running program's executable file.
  virtual std::string ProgramPath() const = 0;
  // Starts `command_line` and returns the id that names it to Wait, WaitFor and ExitCode,
  // without waiting for it: the process id on the host, a number that never names another
  // program on Windows. A program that cannot be started raises PlatformError.
  virtual uint32_t Start(const std::string& command_line, WindowMode mode) = 0;
  // Waits, without a time limit, until the process has ended; returns at once for a process
  // that has already ended or is unknown.
  virtual void Wait(uint32_t process_id) = 0;
  // Waits at most `milliseconds` for the process to end; true once it has ended (or is
  // unknown). On Windows the wait also ends early when a message arrives for the calling
  // thread's windows, so that the caller can let its window answer in between.
  virtual bool WaitFor(uint32_t process_id, uint32_t milliseconds) = 0;
  // The process's exit code, kStillActive while it runs. Raises PlatformError when the
  // process cannot be queried.
  virtual uint32_t ExitCode(uint32_t process_id) = 0;
  // Whether this program may change the system's network settings: on Windows with user
  // account control, whether it runs elevated. Systems without that notion say yes; their
  // tools report what they may not do.
  virtual bool Elevated() const { return true; }
};

// The running program's folder, ending in exactly one separator: where its companions are.
inline std::string ProgramDirectory(const Process& process) {
  const std::string path = process.ProgramPath();
  const size_t sep = path.find_last_of("\\/");
  std::string dir = sep == std::string::npos ? std::string() : path.substr(0, sep);
  // A root folder keeps its own separator.
  if (dir.empty() || dir.back() != kPathSeparator) dir += kPathSeparator;
  return dir;
}

}  // namespace netvane::platform
