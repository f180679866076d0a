// Whole key trees read, written and deleted through the Registry interface, with every value's
// type and bytes as stored.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace netvane::platform {

struct RawValue {
  std::string name;  // ANSI
  uint32_t type = 0;
  std::string data;

  bool operator==(const RawValue&) const = default;
};

struct KeyTree {
  std::string name;              // ANSI; the last component of the key's path
  std::vector<RawValue> values;  // enumeration order
  std::vector<KeyTree> subkeys;  // enumeration order

  bool operator==(const KeyTree&) const = default;
};

// Reads the key `path` below `root` with all its values and subkeys.
int32_t ReadKeyTree(Registry& registry, RegHandle root, const std::string& path, KeyTree* tree);
// Reads the key `path` below `root` alone: its values, and its subkeys by name only (as empty
// trees), for callers that must not pay for a whole tree.
int32_t ReadKey(Registry& registry, RegHandle root, const std::string& path, KeyTree* tree);
// Creates the key `path` below `root` and writes the tree's values and subkeys into it
// (the tree's own name is not used); stops at the first failure and returns it.
int32_t WriteKeyTree(Registry& registry, RegHandle root, const std::string& path,
                     const KeyTree& tree);
// Deletes the key `path` below `root` with everything below it; stops at the first failure
// and returns it (2 when the key is missing).
int32_t DeleteKeyTree(Registry& registry, RegHandle root, const std::string& path);

}  // namespace netvane::platform
