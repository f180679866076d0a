#include "registry_contract.h"

#include <cstring>
#include <vector>

#include "platform/registry_tree.h"
#include "registry_raw.h"

namespace netvane::testing {
namespace {

using platform::kErrorAccessDenied;
using platform::kErrorFileNotFound;
using platform::kErrorInvalidHandle;
using platform::kErrorInvalidParameter;
using platform::kErrorKeyDeleted;
using platform::kErrorMoreData;
using platform::kErrorNoMoreItems;
using platform::kErrorSuccess;
using platform::kHkeyCurrentUser;
using platform::RegHandle;

constexpr RegHandle kRoot = kHkeyCurrentUser;

void RemoveTree(platform::Registry& reg, const std::string& path) {
  for (const std::string& name : SubkeyNames(reg, kRoot, path)) {
    RemoveTree(reg, path + "\\" + name);
  }
  reg.DeleteKey(kRoot, path);
}

std::string Bytes(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s.push_back(static_cast<char>(b));
  return s;
}

}  // namespace

void RegistryContract::SetUp() {
  registry_ = GetParam().make();
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  base_ = std::string("Software\\NetvaneContract\\") + info->name();
  for (char& c : base_) {
    if (c == '/') c = '_';
  }
  RemoveTree(reg(), base_);
  RegHandle key = 0;
  ASSERT_EQ(reg().CreateKey(kRoot, base_, &key), kErrorSuccess);
  reg().CloseKey(key);
}

void RegistryContract::TearDown() {
  if (registry_) RemoveTree(reg(), base_);
}

std::string RegistryContract::Path(const std::string& sub) const {
  return sub.empty() ? base_ : base_ + "\\" + sub;
}

TEST_P(RegistryContract, MissingKeysAndValuesAreNotFoundAndLeaveBuffersAlone) {
  RegHandle key = 0x1234;
  EXPECT_EQ(reg().OpenKeyEx(kRoot, Path("absent"), platform::kKeyRead, &key), kErrorFileNotFound);
  EXPECT_EQ(key, 0x1234u);
  EXPECT_EQ(reg().DeleteKey(kRoot, Path("absent")), kErrorFileNotFound);

  ASSERT_EQ(reg().OpenKeyEx(kRoot, Path(), platform::kKeyAllAccess, &key), kErrorSuccess);
  uint8_t buf[8] = {7, 7, 7, 7, 7, 7, 7, 7};
  uint32_t size = sizeof buf;
  uint32_t type = 99;
  EXPECT_EQ(reg().QueryValueEx(key, "absent", &type, buf, &size), kErrorFileNotFound);
  EXPECT_EQ(type, 99u);
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(buf[0], 7);
  EXPECT_EQ(reg().DeleteValue(key, "absent"), kErrorFileNotFound);
  reg().CloseKey(key);
}

TEST_P(RegistryContract, EnumerationsEndWithNoMoreItems) {
  RegHandle key = 0;
  ASSERT_EQ(reg().OpenKeyEx(kRoot, Path(), platform::kKeyAllAccess, &key), kErrorSuccess);
  char name[64];
  uint32_t size = sizeof name;
  EXPECT_EQ(reg().EnumKeyEx(key, 0, name, &size, nullptr, nullptr), kErrorNoMoreItems);
  size = sizeof name;
  EXPECT_EQ(reg().EnumValue(key, 0, name, &size, nullptr, nullptr, nullptr), kErrorNoMoreItems);
  uint32_t subkeys = 9, values = 9;
  EXPECT_EQ(reg().QueryInfoKey(key, &subkeys, &values), kErrorSuccess);
  EXPECT_EQ(subkeys, 0u);
  EXPECT_EQ(values, 0u);

  ASSERT_EQ(SetRaw(reg(), kRoot, Path("child"), "v", platform::kRegSz, Bytes({'x', 0})),
            kErrorSuccess);
  ASSERT_EQ(SetRaw(reg(), kRoot, Path(), "v", platform::kRegSz, Bytes({'y', 0})), kErrorSuccess);
  EXPECT_EQ(reg().QueryInfoKey(key, &subkeys, &values), kErrorSuccess);
  EXPECT_EQ(subkeys, 1u);
  EXPECT_EQ(values, 1u);
  size = sizeof name;
  EXPECT_EQ(reg().EnumKeyEx(key, 1, name, &size, nullptr, nullptr), kErrorNoMoreItems);
  size = sizeof name;
  EXPECT_EQ(reg().EnumValue(key, 1, name, &size, nullptr, nullptr, nullptr), kErrorNoMoreItems);
  reg().CloseKey(key);
}

TEST_P(RegistryContract, ShortBuffersGetMoreDataWithTheSizeNeeded) {
  const std::string data = "twelve bytes";
  ASSERT_EQ(SetRaw(reg(), kRoot, Path(), "Text", platform::kRegBinary, data), kErrorSuccess);
  RegHandle key = 0;
  ASSERT_EQ(reg().OpenKeyEx(kRoot, Path(), platform::kKeyRead, &key), kErrorSuccess);

  uint32_t type = 0;
  uint32_t size = 0;
  EXPECT_EQ(reg().QueryValueEx(key, "Text", &type, nullptr, &size), kErrorSuccess);
  EXPECT_EQ(size, 12u);
  EXPECT_EQ(type, platform::kRegBinary);

  uint8_t small[4];
  size = sizeof small;
  EXPECT_EQ(reg().QueryValueEx(key, "Text", &type, small, &size), kErrorMoreData);
  EXPECT_EQ(size, 12u);

  char name[8];
  uint32_t name_size = sizeof name;
  size = sizeof small;
  EXPECT_EQ(reg().EnumValue(key, 0, name, &name_size, &type, small, &size), kErrorMoreData);
  EXPECT_EQ(size, 12u);

  // A name longer than its buffer.
  char tiny[3];
  name_size = sizeof tiny;
  EXPECT_EQ(reg().EnumValue(key, 0, tiny, &name_size, nullptr, nullptr, nullptr), kErrorMoreData);
  // A buffer exactly as long as the name has no room for its terminator; the value's type and
  // the data size needed still come back, the name size stays as it was.
  char exact_name[4];
  uint8_t roomy[16];
  name_size = sizeof exact_name;
  size = sizeof roomy;
  type = 0;
  EXPECT_EQ(reg().EnumValue(key, 0, exact_name, &name_size, &type, roomy, &size), kErrorMoreData);
  EXPECT_EQ(name_size, 4u);
  EXPECT_EQ(size, 12u);
  EXPECT_EQ(type, platform::kRegBinary);

  uint8_t exact[12];
  size = sizeof exact;
  EXPECT_EQ(reg().QueryValueEx(key, "Text", &type, exact, &size), kErrorSuccess);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(exact), size), data);
  reg().CloseKey(key);
}

TEST_P(RegistryContract, KeysWithSubkeysCannotBeDeleted) {
  RegHandle key = 0;
  ASSERT_EQ(reg().CreateKey(kRoot, Path("a\\b\\c"), &key), kErrorSuccess);
  reg().CloseKey(key);
  EXPECT_EQ(reg().DeleteKey(kRoot, Path("a")), kErrorAccessDenied);
  EXPECT_EQ(reg().DeleteKey(kRoot, Path("a\\b")), kErrorAccessDenied);
  EXPECT_EQ(reg().DeleteKey(kRoot, Path("a\\b\\c")), kErrorSuccess);
  EXPECT_EQ(reg().DeleteKey(kRoot, Path("a\\b")), kErrorSuccess);
  EXPECT_EQ(reg().DeleteKey(kRoot, Path("a")), kErrorSuccess);
  EXPECT_FALSE(KeyExists(reg(), kRoot, Path("a")));
}

TEST_P(RegistryContract, DeletingAKeyTakesItsValues) {
  ASSERT_EQ(SetRaw(reg(), kRoot, Path("gone"), "v", platform::kRegSz, Bytes({'1', 0})),
            kErrorSuccess);
  ASSERT_EQ(reg().DeleteKey(kRoot, Path("gone")), kErrorSuccess);
  RegHandle key = 0;
  ASSERT_EQ(reg().CreateKey(kRoot, Path("gone"), &key), kErrorSuccess);
  uint32_t values = 9;
  EXPECT_EQ(reg().QueryInfoKey(key, nullptr, &values), kErrorSuccess);
  EXPECT_EQ(values, 0u);
  reg().CloseKey(key);
}

TEST_P(RegistryContract, NamesIgnoreCaseAndKeepTheirSpelling) {
  RegHandle key = 0;
  ASSERT_EQ(reg().CreateKey(kRoot, Path("MixedCase\\Inner"), &key), kErrorSuccess);
  reg().CloseKey(key);
  // Creating with another spelling opens the same key.
  ASSERT_EQ(reg().CreateKey(kRoot, Path("MIXEDCASE\\inner"), &key), kErrorSuccess);
  reg().CloseKey(key);
  EXPECT_EQ(SubkeyNames(reg(), kRoot, Path()), std::vector<std::string>{"MixedCase"});
  EXPECT_EQ(SubkeyNames(reg(), kRoot, Path("mixedcase")), std::vector<std::string>{"Inner"});

  ASSERT_EQ(SetRaw(reg(), kRoot, Path("MixedCase"), "ValueName", platform::kRegSz, Bytes({'a', 0})),
            kErrorSuccess);
  ASSERT_EQ(SetRaw(reg(), kRoot, Path("MixedCase"), "VALUENAME", platform::kRegSz, Bytes({'b', 0})),
            kErrorSuccess);
  EXPECT_EQ(ValueNames(reg(), kRoot, Path("MixedCase")), std::vector<std::string>{"ValueName"});
  EXPECT_EQ(QueryRaw(reg(), kRoot, Path("mixedCASE"), "valuename").data, Bytes({'b', 0}));
}

TEST_P(RegistryContract, SubkeysListInOrderOfTheirUpperCaseNames) {
  for (const char* name : {"b", "_x", "A", "Z", "a1"}) {
    RegHandle key = 0;
    ASSERT_EQ(reg().CreateKey(kRoot, Path(name), &key), kErrorSuccess);
    reg().CloseKey(key);
  }
  const std::vector<std::string> listed = SubkeyNames(reg(), kRoot, Path());
  if (GetParam().windows_subkey_order) {
    // "_" sorts after the letters once they are upper case.
    EXPECT_EQ(listed, (std::vector<std::string>{"A", "a1", "b", "Z", "_x"}));
  } else {
    EXPECT_EQ(listed, (std::vector<std::string>{"_x", "A", "a1", "b", "Z"}))
        << "this backend sorts subkeys lower-cased (Windows sorts them upper-cased)";
  }
}

TEST_P(RegistryContract, ValuesListInTheOrderTheyWereFirstSet) {
  const std::string k = Path();
  for (const char* name : {"zeta", "alpha", "Mid"}) {
    ASSERT_EQ(SetRaw(reg(), kRoot, k, name, platform::kRegSz, Bytes({'1', 0})), kErrorSuccess);
  }
  ASSERT_EQ(SetRaw(reg(), kRoot, k, "alpha", platform::kRegSz, Bytes({'2', 0})), kErrorSuccess);
  const std::vector<std::string> listed = ValueNames(reg(), kRoot, k);
  if (GetParam().windows_value_order) {
    EXPECT_EQ(listed, (std::vector<std::string>{"zeta", "alpha", "Mid"}));
    RegHandle key = 0;
    ASSERT_EQ(reg().OpenKeyEx(kRoot, k, platform::kKeyAllAccess, &key), kErrorSuccess);
    ASSERT_EQ(reg().DeleteValue(key, "zeta"), kErrorSuccess);
    reg().CloseKey(key);
    ASSERT_EQ(SetRaw(reg(), kRoot, k, "zeta", platform::kRegSz, Bytes({'3', 0})), kErrorSuccess);
    EXPECT_EQ(ValueNames(reg(), kRoot, k), (std::vector<std::string>{"alpha", "Mid", "zeta"}));
  } else {
    EXPECT_EQ(listed, (std::vector<std::string>{"alpha", "Mid", "zeta"}))
        << "this backend lists values sorted (Windows keeps the order they were first set)";
  }
}

TEST_P(RegistryContract, TypesAndBytesAreKeptExactly) {
  const std::vector<std::pair<uint32_t, std::string>> cases = {
      {platform::kRegSz, Bytes({'a', 'b', 0})},
      {platform::kRegSz, std::string()},
      {platform::kRegExpandSz, Bytes({'%', 'P', '%', 0})},
      {platform::kRegBinary, Bytes({0, 1, 0, 255, 0})},
      {platform::kRegBinary, std::string()},
      {platform::kRegDword, Bytes({0x00, 0x01, 0x00, 0x00})},
      {platform::kRegMultiSz, Bytes({'a', 0, 'b', 'c', 0, 0})},
      {platform::kRegQword, Bytes({1, 2, 3, 4, 5, 6, 7, 8})},
      {platform::kRegNone, Bytes({9})},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    const std::string name = "v" + std::to_string(i);
    ASSERT_EQ(SetRaw(reg(), kRoot, Path(), name, cases[i].first, cases[i].second), kErrorSuccess)
        << name;
  }
  for (size_t i = 0; i < cases.size(); ++i) {
    const StoredValue v = QueryRaw(reg(), kRoot, Path(), "v" + std::to_string(i));
    EXPECT_EQ(v.code, kErrorSuccess) << i;
    EXPECT_EQ(v.type, cases[i].first) << i;
    EXPECT_EQ(v.data, cases[i].second) << i;
  }
}

TEST_P(RegistryContract, DefaultValueHasTheEmptyName) {
  ASSERT_EQ(SetRaw(reg(), kRoot, Path(), "", platform::kRegSz, Bytes({'d', 0})), kErrorSuccess);
  EXPECT_EQ(QueryRaw(reg(), kRoot, Path(), "").data, Bytes({'d', 0}));
  EXPECT_EQ(ValueNames(reg(), kRoot, Path()), std::vector<std::string>{""});
}

TEST_P(RegistryContract, CreateMakesMissingParentsAndAcceptsATrailingBackslash) {
  RegHandle key = 0;
  ASSERT_EQ(reg().CreateKey(kRoot, Path("p\\q\\r\\"), &key), kErrorSuccess);
  reg().CloseKey(key);
  EXPECT_TRUE(KeyExists(reg(), kRoot, Path("p")));
  EXPECT_TRUE(KeyExists(reg(), kRoot, Path("p\\q\\")));
  EXPECT_EQ(SubkeyNames(reg(), kRoot, Path("p\\q")), std::vector<std::string>{"r"});

  // A key opened relative to another.
  RegHandle parent = 0;
  ASSERT_EQ(reg().OpenKeyEx(kRoot, Path("p"), platform::kKeyRead, &parent), kErrorSuccess);
  ASSERT_EQ(reg().OpenKeyEx(parent, "q\\r", platform::kKeyRead, &key), kErrorSuccess);
  reg().CloseKey(key);
  reg().CloseKey(parent);
}

TEST_P(RegistryContract, AccessRightsAreEnforced) {
  RegHandle key = 0;
  ASSERT_EQ(reg().OpenKeyEx(kRoot, Path(), platform::kKeyRead, &key), kErrorSuccess);
  const uint8_t data[] = {'x', 0};
  EXPECT_EQ(reg().SetValueEx(key, "v", platform::kRegSz, data, 2), kErrorAccessDenied);
  reg().CloseKey(key);
  ASSERT_EQ(reg().OpenKeyEx(kRoot, Path(), platform::kKeySetValue, &key), kErrorSuccess);
  uint32_t size = 0;
  EXPECT_EQ(reg().SetValueEx(key, "v", platform::kRegSz, data, 2), kErrorSuccess);
  EXPECT_EQ(reg().QueryValueEx(key, "v", nullptr, nullptr, &size), kErrorAccessDenied);
  reg().CloseKey(key);
}

TEST_P(RegistryContract, ClosedAndUnknownHandlesAreInvalid) {
  RegHandle key = 0;
  ASSERT_EQ(reg().OpenKeyEx(kRoot, Path(), platform::kKeyRead, &key), kErrorSuccess);
  EXPECT_EQ(reg().CloseKey(key), kErrorSuccess);
  uint32_t values = 0;
  EXPECT_EQ(reg().QueryInfoKey(key, nullptr, &values), kErrorInvalidHandle);
  EXPECT_EQ(reg().CloseKey(key), kErrorInvalidHandle);
}

TEST_P(RegistryContract, AHandleToADeletedKeyReportsKeyDeleted) {
  RegHandle key = 0;
  ASSERT_EQ(reg().CreateKey(kRoot, Path("doomed"), &key), kErrorSuccess);
  ASSERT_EQ(reg().DeleteKey(kRoot, Path("doomed")), kErrorSuccess);
  const uint8_t data[] = {'x', 0};
  EXPECT_EQ(reg().SetValueEx(key, "v", platform::kRegSz, data, 2), kErrorKeyDeleted);
  uint32_t values = 0;
  EXPECT_EQ(reg().QueryInfoKey(key, nullptr, &values), kErrorKeyDeleted);
  reg().CloseKey(key);
  EXPECT_FALSE(KeyExists(reg(), kRoot, Path("doomed")));
}

TEST_P(RegistryContract, NamesLongerThanWindowsTakesAreRefused) {
  // Names are given relative to the scratch key: the ANSI functions limit a whole path.
  RegHandle base = 0;
  ASSERT_EQ(reg().OpenKeyEx(kRoot, Path(), platform::kKeyAllAccess, &base), kErrorSuccess);
  const std::string longest_key(255, 'k');
  RegHandle key = 0;
  ASSERT_EQ(reg().CreateKey(base, longest_key, &key), kErrorSuccess);
  reg().CloseKey(key);
  const int32_t longer = reg().CreateKey(base, longest_key + "k", &key);
  if (GetParam().windows_key_name_limit) {
    EXPECT_EQ(longer, kErrorInvalidParameter);
  } else if (longer == 0) {
    reg().CloseKey(key);
    reg().DeleteKey(base, longest_key + "k");
  }
  EXPECT_EQ(SubkeyNames(reg(), kRoot, Path()), std::vector<std::string>{longest_key});

  const std::string longest_value(16383, 'v');
  const uint8_t data[] = {'1', 0};
  EXPECT_EQ(reg().SetValueEx(base, longest_value, platform::kRegSz, data, 2), kErrorSuccess);
  EXPECT_EQ(reg().SetValueEx(base, longest_value + "v", platform::kRegSz, data, 2),
            kErrorInvalidParameter);
  reg().CloseKey(base);
  EXPECT_EQ(ValueNames(reg(), kRoot, Path()), std::vector<std::string>{longest_value});
}

TEST_P(RegistryContract, TreesReadBackAsWritten) {
  platform::KeyTree tree;
  tree.values = {{"Bin", platform::kRegBinary, Bytes({0, 1, 2})},
                 {"First", platform::kRegSz, Bytes({'1', 0})}};
  platform::KeyTree child;
  child.name = "Child";
  child.values = {{"Deep", platform::kRegDword, Bytes({1, 0, 0, 0})}};
  tree.subkeys.push_back(child);
  ASSERT_EQ(platform::WriteKeyTree(reg(), kRoot, Path("tree"), tree), kErrorSuccess);
  platform::KeyTree back;
  ASSERT_EQ(platform::ReadKeyTree(reg(), kRoot, Path("tree"), &back), kErrorSuccess);
  tree.name = "tree";
  EXPECT_EQ(back, tree);
}

}  // namespace netvane::testing
