// The Win32 registry backend against the running system's registry (Windows, or Wine).
// What every backend must do is the registry contract (win32_registry_contract_test.cpp);
// these cases are what the translation to the system calls adds.
#include "platform/win32/win32_registry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace netvane::platform {
namespace {

std::vector<uint8_t> Bytes(std::string_view s) { return {s.begin(), s.end()}; }

class Win32RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // One key per test, so that tests may run in parallel processes.
    path_ = std::string("Software\\NetvaneTests\\") +
            ::testing::UnitTest::GetInstance()->current_test_info()->name();
    DeleteTree(kHkeyCurrentUser, path_);
    ASSERT_EQ(reg_.CreateKey(kHkeyCurrentUser, path_, &key_), kErrorSuccess);
  }
  void TearDown() override {
    reg_.CloseKey(key_);
    DeleteTree(kHkeyCurrentUser, path_);
  }

  void DeleteTree(RegHandle root, const std::string& path) {
    RegHandle key = 0;
    if (reg_.OpenKeyEx(root, path, kKeyAllAccess, &key) != kErrorSuccess) return;
    std::vector<std::string> children;
    char name[256];
    for (uint32_t i = 0;; ++i) {
      uint32_t size = sizeof name;
      if (reg_.EnumKeyEx(key, i, name, &size, nullptr, nullptr) != kErrorSuccess) break;
      children.emplace_back(name, size);
    }
    reg_.CloseKey(key);
    for (const std::string& child : children) DeleteTree(root, path + "\\" + child);
    reg_.DeleteKey(root, path);
  }

  Win32Registry reg_;
  std::string path_;
  RegHandle key_ = 0;
};

TEST_F(Win32RegistryTest, PredefinedRootsOpenAndCloseAsNoOps) {
  for (RegHandle root : {kHkeyCurrentUser, kHkeyLocalMachine}) {
    RegHandle software = 0;
    EXPECT_EQ(reg_.OpenKeyEx(root, "Software", kKeyRead, &software), kErrorSuccess);
    EXPECT_NE(software, 0u);
    EXPECT_EQ(reg_.CloseKey(software), kErrorSuccess);
    EXPECT_EQ(reg_.CloseKey(root), kErrorSuccess);
  }
  // Creating the empty path hands back the root itself (Windows) or a new handle to it
  // (Wine); a root comes back in the form callers know it by, never sign-extended.
  RegHandle same = 0;
  ASSERT_EQ(reg_.CreateKey(kHkeyCurrentUser, "", &same), kErrorSuccess);
  EXPECT_TRUE(same == kHkeyCurrentUser || same < 0x80000000u) << std::hex << same;
  RegHandle software = 0;
  EXPECT_EQ(reg_.OpenKeyEx(same, "Software", kKeyRead, &software), kErrorSuccess);
  reg_.CloseKey(software);
  EXPECT_EQ(reg_.CloseKey(same), kErrorSuccess);
  // The root stays usable after "closing" it.
  EXPECT_EQ(reg_.OpenKeyEx(kHkeyCurrentUser, "Software", kKeyRead, &software), kErrorSuccess);
  reg_.CloseKey(software);
}

TEST_F(Win32RegistryTest, ValuesKeepTheirTypeAndBytes) {
  const std::string multi("first\0second\0\0", 14);
  const uint8_t dword[] = {0x78, 0x56, 0x34, 0x12};
  ASSERT_EQ(reg_.SetValueEx(key_, "Text", kRegSz, reinterpret_cast<const uint8_t*>("hello"), 6),
            kErrorSuccess);
  ASSERT_EQ(reg_.SetValueEx(key_, "Number", kRegDword, dword, 4), kErrorSuccess);
  ASSERT_EQ(reg_.SetValueEx(key_, "List", kRegMultiSz, Bytes(multi).data(), 14), kErrorSuccess);

  uint32_t type = 0;
  uint8_t buf[64];
  uint32_t size = sizeof buf;
  ASSERT_EQ(reg_.QueryValueEx(key_, "List", &type, buf, &size), kErrorSuccess);
  EXPECT_EQ(type, kRegMultiSz);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), size), multi);

  size = sizeof buf;
  ASSERT_EQ(reg_.QueryValueEx(key_, "Number", &type, buf, &size), kErrorSuccess);
  EXPECT_EQ(type, kRegDword);
  ASSERT_EQ(size, 4u);
  EXPECT_TRUE(std::equal(dword, dword + 4, buf));

  // Size probe with no buffer, then a buffer one byte short.
  size = 0;
  EXPECT_EQ(reg_.QueryValueEx(key_, "Text", nullptr, nullptr, &size), kErrorSuccess);
  EXPECT_EQ(size, 6u);
  size = 5;
  EXPECT_EQ(reg_.QueryValueEx(key_, "Text", nullptr, buf, &size), kErrorMoreData);
  EXPECT_EQ(size, 6u);

  // A failed query leaves the caller's type and size as they were.
  EXPECT_EQ(reg_.QueryValueEx(key_, "Missing", &type, buf, &size), kErrorFileNotFound);
  EXPECT_EQ(type, kRegDword);
  EXPECT_EQ(size, 6u);
  EXPECT_EQ(reg_.DeleteValue(key_, "Text"), kErrorSuccess);
  EXPECT_EQ(reg_.DeleteValue(key_, "Text"), kErrorFileNotFound);
}

TEST_F(Win32RegistryTest, EnumeratesSubkeysAndValuesWithCounts) {
  for (const char* name : {"Beta", "alpha", "Gamma"}) {
    RegHandle child = 0;
    ASSERT_EQ(reg_.CreateKey(key_, name, &child), kErrorSuccess);
    reg_.CloseKey(child);
  }
  const uint8_t one[] = {1, 0, 0, 0};
  for (const char* name : {"Second", "First"}) {
    ASSERT_EQ(reg_.SetValueEx(key_, name, kRegDword, one, 4), kErrorSuccess);
  }
  uint32_t subkeys = 0;
  uint32_t values = 0;
  ASSERT_EQ(reg_.QueryInfoKey(key_, &subkeys, &values), kErrorSuccess);
  EXPECT_EQ(subkeys, 3u);
  EXPECT_EQ(values, 2u);
  EXPECT_EQ(reg_.QueryInfoKey(key_, nullptr, &values), kErrorSuccess);

  // Names come back with their spelling and the size without the terminator; the order of
  // both lists differs between Windows and Wine, so they are compared as sets.
  std::set<std::string> keys;
  char name[32];
  uint32_t size = sizeof name;
  uint32_t index = 0;
  for (int32_t r;
       (r = reg_.EnumKeyEx(key_, index, name, &size, nullptr, nullptr)) != kErrorNoMoreItems;
       ++index, size = sizeof name) {
    ASSERT_EQ(r, kErrorSuccess);
    EXPECT_EQ(size, std::string(name).size());
    keys.insert(name);
  }
  EXPECT_EQ(keys, (std::set<std::string>{"alpha", "Beta", "Gamma"}));

  std::set<std::string> value_names;
  for (index = 0, size = sizeof name;; ++index, size = sizeof name) {
    uint32_t type = 0;
    uint32_t data_size = 0;
    const int32_t r = reg_.EnumValue(key_, index, name, &size, &type, nullptr, &data_size);
    if (r == kErrorNoMoreItems) break;
    ASSERT_EQ(r, kErrorSuccess);
    EXPECT_EQ(type, kRegDword);
    EXPECT_EQ(data_size, 4u);
    value_names.insert(std::string(name, size));
  }
  EXPECT_EQ(value_names, (std::set<std::string>{"First", "Second"}));

  // Five bytes hold "Beta" and its terminator but not "alpha" or "Gamma".
  std::vector<std::string> fitted;
  int too_long = 0;
  for (index = 0; index < 3; ++index) {
    size = 5;
    const int32_t r = reg_.EnumKeyEx(key_, index, name, &size, nullptr, nullptr);
    if (r == kErrorMoreData) ++too_long;
    if (r == kErrorSuccess) fitted.emplace_back(name, size);
  }
  EXPECT_EQ(too_long, 2);
  EXPECT_EQ(fitted, std::vector<std::string>{"Beta"});
}

}  // namespace
}  // namespace netvane::platform
