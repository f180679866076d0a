// The registry contract over the running system's registry.
#include <memory>

#include "platform/win32/win32_registry.h"
#include "registry_contract.h"

namespace netvane::testing {
namespace {

// Wine keeps a key of its own in every prefix; its listings are ordered differently from
// Windows (values sorted, subkeys by lower-case name).
bool RunningUnderWine() {
  platform::Win32Registry reg;
  platform::RegHandle key = 0;
  if (reg.OpenKeyEx(platform::kHkeyLocalMachine, "Software\\Wine", platform::kKeyRead, &key) !=
      platform::kErrorSuccess) {
    return false;
  }
  reg.CloseKey(key);
  return true;
}

RegistryBackend Win32Backend() {
  const bool windows_order = !RunningUnderWine();
  return RegistryBackend{"win32", [] { return std::make_unique<platform::Win32Registry>(); },
                         windows_order, windows_order};
}

INSTANTIATE_TEST_SUITE_P(Win32, RegistryContract, ::testing::Values(Win32Backend()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace netvane::testing
