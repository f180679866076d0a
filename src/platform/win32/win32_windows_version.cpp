#include "platform/win32/win32_windows_version.h"

#include "platform/win32/windows_api.h"

namespace netvane::platform {

OsVersion Win32WindowsVersion::Reported() const {
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  // The program tells the Windows families apart by exactly what this call reports, so the
  // newer version helpers are no substitute; some SDKs mark it deprecated.
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
  const BOOL ok = GetVersionExA(&info);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
  if (!ok) return OsVersion{};
  OsVersion v;
  v.major = info.dwMajorVersion;
  v.minor = info.dwMinorVersion;
  // Windows 95, 98 and ME keep the version in the high word of the build number.
  v.build = info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS ? (info.dwBuildNumber & 0xFFFFu)
                                                            : info.dwBuildNumber;
  v.platform_id = info.dwPlatformId;
  return v;
}

}  // namespace netvane::platform
