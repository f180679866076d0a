// Processes on the host.
#pragma once

#include "platform/process.h"

namespace netvane::platform {

class PosixProcess final : public Process {
 public:
  std::string ProgramPath() const override;
};

}  // namespace netvane::platform
