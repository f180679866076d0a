// The running system's version as GetVersionExA reports it.
#pragma once

#include "platform/winver.h"

namespace netvane::platform {

class Win32WindowsVersion final : public WindowsVersion {
 public:
  // Zeros (platform id 0, a system the program does not support) when the call fails.
  OsVersion Reported() const override;
};

}  // namespace netvane::platform
