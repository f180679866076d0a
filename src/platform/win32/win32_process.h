// The running program as Windows sees it.
#pragma once

#include "platform/process.h"

namespace netvane::platform {

class Win32Process final : public Process {
 public:
  // In the program's own text (UTF-8), like every other path the program composes and later
  // hands to the ANSI functions through the code page; empty on failure.
  std::string ProgramPath() const override;
};

}  // namespace netvane::platform
