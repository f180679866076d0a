// Processes: the running program itself and the programs it starts.
#pragma once

#include <string>

namespace netvane::platform {

// The separator between folder and file names on this system.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

class Process {
 public:
  virtual ~Process() = default;
  // Full path of the running program's executable file.
  virtual std::string ProgramPath() const = 0;
};

}  // namespace netvane::platform
