#include "engine/windows_family.h"

namespace netvane::engine {

int32_t DetectWindowsFamily(const platform::WindowsVersion& version) {
  const platform::OsVersion v = version.Reported();
  if (v.platform_id == platform::kPlatformWin32Windows) {
    if (v.minor == 0) return kOsWin95;
    if (v.minor == 10) return kOsWin98;
    return kOsWinMe;
  }
  if (v.platform_id == platform::kPlatformWin32Nt) {
    return v.major == 4 ? kOsWinNt4 : kOsWin2000;
  }
  return kOsUnknown;
}

}  // namespace netvane::engine
