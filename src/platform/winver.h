// What GetVersionExA reports about the running system.
#pragma once

#include <cstdint>

namespace netvane::platform {

inline constexpr uint32_t kPlatformWin32Windows = 1;  // Windows 95, 98, ME
inline constexpr uint32_t kPlatformWin32Nt = 2;       // Windows NT 4, 2000 and later

struct OsVersion {
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;
  uint32_t platform_id = 0;
};

class WindowsVersion {
 public:
  virtual ~WindowsVersion() = default;
  // What GetVersionExA reports.
  virtual OsVersion Reported() const = 0;
};

}  // namespace netvane::platform
