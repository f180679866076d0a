// The registry contract over the running system's registry (advapi32).
#include <memory>

#include "platform/win32/win32_registry.h"
#include "registry_contract.h"
#include "wine_support.h"

namespace netvane::testing {
namespace {

// Windows lists values in the order they were first set and subkeys by their upper-case
// names. Wine differs in both: it lists values sorted by name and subkeys by their lower-case
// names (so "_x" comes before the letters). The contract checks Wine's order as such. Wine
// also takes key names of 256 characters, one more than Windows.
RegistryBackend Win32Backend() {
  const bool windows = !RunningUnderWine();
  return RegistryBackend{"win32", [] { return std::make_unique<platform::Win32Registry>(); },
                         windows, windows, windows};
}

INSTANTIATE_TEST_SUITE_P(Win32, RegistryContract, ::testing::Values(Win32Backend()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace netvane::testing
