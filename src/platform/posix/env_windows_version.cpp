#include "platform/posix/env_windows_version.h"

#include <strings.h>

namespace netvane::platform {

EnvWindowsVersion::EnvWindowsVersion(const std::string& name) {
  struct Known {
    const char* name;
    OsVersion version;
  };
  static const Known kKnown[] = {
      {"95", {4, 0, 950, kPlatformWin32Windows}},   {"98", {4, 10, 1998, kPlatformWin32Windows}},
      {"ME", {4, 90, 3000, kPlatformWin32Windows}}, {"NT4", {4, 0, 1381, kPlatformWin32Nt}},
      {"2000", {5, 0, 2195, kPlatformWin32Nt}},
  };
  const std::string wanted = name.empty() ? "2000" : name;
  for (const Known& k : kKnown) {
    if (strcasecmp(k.name, wanted.c_str()) == 0) {
      version_ = k.version;
      return;
    }
  }
  ok_ = false;
}

}  // namespace netvane::platform
