// The registry contract: what every backend of platform::Registry must do, as Windows does
// it. Each backend instantiates the suite with a factory; every test works below a scratch
// key of its own under HKEY_CURRENT_USER, removed afterwards.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "platform/registry.h"

namespace netvane::testing {

struct RegistryBackend {
  std::string name;
  std::function<std::unique_ptr<platform::Registry>()> make;
  // Wine lists values sorted and subkeys in lower-case order; Windows and the host keep the
  // order values were first set and sort subkeys by their upper-case names.
  bool windows_value_order = true;
  bool windows_subkey_order = true;
  // Windows takes key names of at most 255 characters; Wine takes 256.
  bool windows_key_name_limit = true;
};

inline void PrintTo(const RegistryBackend& backend, std::ostream* os) { *os << backend.name; }

class RegistryContract : public ::testing::TestWithParam<RegistryBackend> {
 protected:
  void SetUp() override;
  void TearDown() override;

  platform::Registry& reg() { return *registry_; }
  // The scratch key's path below HKEY_CURRENT_USER, and paths below it.
  std::string Path(const std::string& sub = std::string()) const;

 private:
  std::unique_ptr<platform::Registry> registry_;
  std::string base_;
};

}  // namespace netvane::testing
