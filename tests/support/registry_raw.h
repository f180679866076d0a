// Raw helpers on the platform registry interface, for checking what is really stored. Plain
// C++ over platform::Registry, so the Windows build's tests use them too.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace netvane::testing {

struct StoredValue {
  int32_t code = 0;
  uint32_t type = 0;
  std::string data;
};
StoredValue QueryRaw(platform::Registry& reg, platform::RegHandle root, const std::string& path,
                     const std::string& name);
int32_t SetRaw(platform::Registry& reg, platform::RegHandle root, const std::string& path,
               const std::string& name, uint32_t type, const std::string& data);
bool KeyExists(platform::Registry& reg, platform::RegHandle root, const std::string& path);
std::vector<std::string> SubkeyNames(platform::Registry& reg, platform::RegHandle root,
                                     const std::string& path);
std::vector<std::string> ValueNames(platform::Registry& reg, platform::RegHandle root,
                                    const std::string& path);

}  // namespace netvane::testing
