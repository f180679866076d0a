// The host presents itself as one of the Windows versions the program knows:
// NETVANE_WINDOWS_VERSION = 95, 98, ME, NT4 or 2000 (default 2000).
#pragma once

#include <string>

#include "platform/winver.h"

namespace netvane::platform {

class EnvWindowsVersion final : public WindowsVersion {
 public:
  // `name` as in NETVANE_WINDOWS_VERSION; empty means 2000. An unknown name reports platform
  // id 0 (a system the program does not support) and `ok()` is false.
  explicit EnvWindowsVersion(const std::string& name);
  OsVersion Reported() const override { return version_; }
  bool ok() const { return ok_; }

 private:
  OsVersion version_;
  bool ok_ = true;
};

}  // namespace netvane::platform
