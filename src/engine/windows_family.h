// The Windows family the program runs on (OSKind).
#pragma once

#include <cstdint>

#include "platform/winver.h"

namespace netvane::engine {

inline constexpr int32_t kOsUnknown = 0;
inline constexpr int32_t kOsWin95 = 2;
inline constexpr int32_t kOsWin98 = 3;
inline constexpr int32_t kOsWinMe = 4;
inline constexpr int32_t kOsWinNt4 = 5;
inline constexpr int32_t kOsWin2000 = 6;

int32_t DetectWindowsFamily(const platform::WindowsVersion& version);

// Windows 95, 98 and ME: adapters come from the interface table and are addressed by number.
inline bool IsWin9xFamily(int32_t os_kind) {
  return os_kind == kOsWin95 || os_kind == kOsWin98 || os_kind == kOsWinMe;
}

}  // namespace netvane::engine
