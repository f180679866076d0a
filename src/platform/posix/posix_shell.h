// The desktop shell on the host: executables run, everything else goes to xdg-open.
#pragma once

#include "platform/process.h"
#include "platform/shell.h"

namespace netvane::platform {

class PosixShell final : public Shell {
 public:
  explicit PosixShell(Process& process) : process_(process) {}
  std::string ExistingName(const std::string& path) override;
  void InvokeDefaultVerb(const std::string& folder, const std::string& name) override;
  std::string FindFile(const std::string& pattern) override;
  int32_t OpenDocument(const std::string& path) override;

 private:
  Process& process_;
};

}  // namespace netvane::platform
