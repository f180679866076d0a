#include "platform/posix/host_system.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>

#include "platform/filter_driver.h"
#include "platform/posix/registry_values.h"
#include "platform/win_codes.h"

namespace netvane::platform {
namespace {

using namespace filter_driver;

std::string InterfaceName(const MibIfRow& row) {
  return std::string(row.name.begin(), row.name.end());
}

std::string Describe(const std::string& name) { return "Ethernet adapter " + name; }

// Writes `value` only when it differs from what is stored.
int32_t Keep(Registry& registry, const std::string& key, const char* name,
             const std::string& value) {
  const std::optional<std::string> now = GetText(registry, kHkeyLocalMachine, key, name);
  if (now && *now == value) return kErrorSuccess;
  return SetText(registry, kHkeyLocalMachine, key, name, value);
}

// One list (NetworkCards or Class\Net): keeps an entry per interface, made with `make_name`
// for new ones, and removes host-made entries whose interface is gone.
template <typename MakeName, typename Fill>
int32_t SyncList(Registry& registry, const std::string& path, const std::vector<std::string>& names,
                 MakeName make_name, Fill fill) {
  std::set<std::string> present(names.begin(), names.end());
  std::vector<std::string> taken;
  std::vector<std::pair<std::string, std::string>> owned;  // interface, subkey
  for (const std::string& sub : Subkeys(registry, kHkeyLocalMachine, path)) {
    taken.push_back(sub);
    const std::optional<std::string> owner =
        GetText(registry, kHkeyLocalMachine, path + "\\" + sub, kHostInterfaceValue);
    if (owner) owned.emplace_back(*owner, sub);
  }
  for (const auto& [owner, sub] : owned) {
    if (present.count(owner) == 0) {
      const int32_t code = DeleteTree(registry, kHkeyLocalMachine, path + "\\" + sub);
      if (code != kErrorSuccess) return code;
    }
  }
  for (const std::string& name : names) {
    auto it =
        std::find_if(owned.begin(), owned.end(), [&](const auto& o) { return o.first == name; });
    std::string sub;
    if (it != owned.end()) {
      sub = it->second;
    } else {
      sub = make_name(taken);
      taken.push_back(sub);
    }
    const std::string key = path + "\\" + sub;
    int32_t code = fill(key, name);
    if (code == kErrorSuccess) code = Keep(registry, key, kHostInterfaceValue, name);
    if (code != kErrorSuccess) return code;
  }
  return kErrorSuccess;
}

bool Taken(const std::vector<std::string>& taken, const std::string& name) {
  return std::any_of(taken.begin(), taken.end(), [&](const std::string& t) {
    return strcasecmp(t.c_str(), name.c_str()) == 0;
  });
}

}  // namespace

int32_t SyncSystemView(Registry& registry, const std::vector<MibIfRow>& rows) {
  std::vector<std::string> names;
  for (const MibIfRow& row : rows) {
    if (row.type == kIfTypeEthernet) names.push_back(InterfaceName(row));
  }
  RegistryGroup group(registry, true);
  int32_t code = SyncList(
      registry, kHostNetworkCardsPath, names,
      [](const std::vector<std::string>& taken) {
        for (int n = 1;; ++n) {
          if (!Taken(taken, std::to_string(n))) return std::to_string(n);
        }
      },
      [&](const std::string& key, const std::string& name) {
        int32_t c = Keep(registry, key, "Description", Describe(name));
        if (c == kErrorSuccess) c = Keep(registry, key, "ServiceName", name);
        return c;
      });
  if (code == kErrorSuccess) {
    code = SyncList(
        registry, kHostNetClassPath, names,
        [](const std::vector<std::string>& taken) {
          for (int n = 0;; ++n) {
            char text[16];
            std::snprintf(text, sizeof text, "%04d", n);
            if (!Taken(taken, text)) return std::string(text);
          }
        },
        [&](const std::string& key, const std::string& name) {
          return Keep(registry, key, "DriverDesc", Describe(name));
        });
  }
  if (code == kErrorSuccess && !KeyExists(registry, kHkeyLocalMachine, kFilterServicePath)) {
    code = SetText(registry, kHkeyLocalMachine, kFilterServicePath, "DisplayName",
                   "DHCP filter driver");
  }
  const int32_t stored = group.End();
  return code != kErrorSuccess ? code : stored;
}

std::string NetClassInstanceOf(Registry& registry, const std::string& name) {
  for (const std::string& sub : Subkeys(registry, kHkeyLocalMachine, kHostNetClassPath)) {
    const std::optional<std::string> owner =
        GetText(registry, kHkeyLocalMachine, std::string(kHostNetClassPath) + "\\" + sub,
                kHostInterfaceValue);
    if (owner && *owner == name) return sub;
  }
  return "";
}

uint8_t FilterState(Registry& registry, const std::string& instance) {
  const std::optional<uint32_t> v =
      GetDword(registry, kHkeyLocalMachine, kFilterStatePath, instance);
  return v ? static_cast<uint8_t>(*v) : 0;
}

DeviceHandle HostDevice::Open(const std::string& name) {
  const std::string socket = sockets_.SocketPath(name);
  if (!socket.empty() && access(socket.c_str(), F_OK) == 0) return sockets_.Open(name);
  if (strcasecmp(name.c_str(), kDeviceName) != 0) return kInvalidDevice;
  // Not shared, as the driver opens it.
  if (filter_open_ || !KeyExists(registry_, kHkeyLocalMachine, kFilterServicePath)) {
    return kInvalidDevice;
  }
  filter_open_ = true;
  return kBuiltInFilter;
}

bool HostDevice::Control(DeviceHandle device, uint32_t code, uint8_t* buffer, uint32_t size) {
  if (device != kBuiltInFilter) return sockets_.Control(device, code, buffer, size);
  if (!filter_open_ || buffer == nullptr || size < kBlockSize) return false;
  const char* field = reinterpret_cast<const char*>(buffer + kAdapterOffset);
  const std::string adapter(field, strnlen(field, kAdapterField));
  if (adapter.empty()) return false;
  if (code == kQueryState) {
    buffer[kStateOffset] = FilterState(registry_, adapter);
    return true;
  }
  if (code == kSetState) {
    return SetDword(registry_, kHkeyLocalMachine, kFilterStatePath, adapter,
                    buffer[kStateOffset]) == kErrorSuccess;
  }
  return false;
}

void HostDevice::Close(DeviceHandle device) {
  if (device == kBuiltInFilter) {
    filter_open_ = false;
    return;
  }
  sockets_.Close(device);
}

}  // namespace netvane::platform
