#include "registry_raw.h"

namespace netvane::testing {

using platform::kErrorSuccess;
using platform::RegHandle;

StoredValue QueryRaw(platform::Registry& reg, RegHandle root, const std::string& path,
                     const std::string& name) {
  StoredValue out;
  RegHandle key = 0;
  out.code = reg.OpenKeyEx(root, path, platform::kKeyRead, &key);
  if (out.code != kErrorSuccess) return out;
  uint32_t size = 0;
  out.code = reg.QueryValueEx(key, name, &out.type, nullptr, &size);
  if (out.code == kErrorSuccess) {
    out.data.resize(size);
    out.code =
        reg.QueryValueEx(key, name, &out.type, reinterpret_cast<uint8_t*>(out.data.data()), &size);
  }
  reg.CloseKey(key);
  return out;
}

int32_t SetRaw(platform::Registry& reg, RegHandle root, const std::string& path,
               const std::string& name, uint32_t type, const std::string& data) {
  RegHandle key = 0;
  int32_t r = reg.CreateKey(root, path, &key);
  if (r != kErrorSuccess) return r;
  r = reg.SetValueEx(key, name, type, reinterpret_cast<const uint8_t*>(data.data()),
                     static_cast<uint32_t>(data.size()));
  reg.CloseKey(key);
  return r;
}

bool KeyExists(platform::Registry& reg, RegHandle root, const std::string& path) {
  RegHandle key = 0;
  if (reg.OpenKeyEx(root, path, platform::kKeyRead, &key) != kErrorSuccess) return false;
  reg.CloseKey(key);
  return true;
}

std::vector<std::string> SubkeyNames(platform::Registry& reg, RegHandle root,
                                     const std::string& path) {
  std::vector<std::string> names;
  RegHandle key = 0;
  if (reg.OpenKeyEx(root, path, platform::kKeyRead, &key) != kErrorSuccess) return names;
  for (uint32_t i = 0;; ++i) {
    char buf[1024];
    uint32_t size = sizeof buf;
    if (reg.EnumKeyEx(key, i, buf, &size, nullptr, nullptr) != kErrorSuccess) break;
    names.emplace_back(buf, size);
  }
  reg.CloseKey(key);
  return names;
}

std::vector<std::string> ValueNames(platform::Registry& reg, RegHandle root,
                                    const std::string& path) {
  std::vector<std::string> names;
  RegHandle key = 0;
  if (reg.OpenKeyEx(root, path, platform::kKeyRead, &key) != kErrorSuccess) return names;
  for (uint32_t i = 0;; ++i) {
    char buf[16384];
    uint32_t size = sizeof buf;
    if (reg.EnumValue(key, i, buf, &size, nullptr, nullptr, nullptr) != kErrorSuccess) break;
    names.emplace_back(buf, size);
  }
  reg.CloseKey(key);
  return names;
}

}  // namespace netvane::testing
