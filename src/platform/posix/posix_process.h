// Processes on the host: Windows command lines split as Windows splits them and started
// directly with posix_spawn (never through a shell), the program searched as Windows
// searches it.
#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/process.h"

namespace netvane::platform {

class PosixProcess : public Process {
 public:
  PosixProcess();
  std::string ProgramPath() const override;
  uint32_t Start(const std::string& command_line, WindowMode mode) override;
  void Wait(uint32_t process_id) override;
  bool WaitFor(uint32_t process_id, uint32_t milliseconds) override;
  uint32_t ExitCode(uint32_t process_id) override;

  // The executable a program name stands for: a path as given, else the running program's
  // folder and then PATH; "X.exe" also finds X. Empty when there is none.
  std::string FindProgram(const std::string& name) const;
  // The program file and the arguments a command line starts; `program` stays empty when
  // no program can be found.
  std::vector<std::string> Resolve(const std::string& command_line, std::string* program) const;

 private:
  // Shared with the threads that reap the children, which may outlive this object.
  struct Children {
    std::mutex mutex;
    std::condition_variable ended;
    std::set<pid_t> running;
    std::map<pid_t, uint32_t> exit_codes;
  };
  std::shared_ptr<Children> children_;
};

}  // namespace netvane::platform
