#include "platform/registry_tree.h"

namespace netvane::platform {
namespace {

// The walks below keep their own work lists: the depth of a tree is the data's to choose, so it
// must not become the depth of the call stack.

std::string Join(const std::string& path, const std::string& name) {
  std::string out = path;
  if (!out.empty() && out.back() == '\\') out.pop_back();
  if (!out.empty()) out += '\\';
  return out + name;
}

// Reads the values and the subkey names (as empty subtrees) of an open key.
int32_t ReadOneKey(Registry& registry, RegHandle key, KeyTree* tree) {
  uint32_t subkeys = 0;
  uint32_t values = 0;
  int32_t r = registry.QueryInfoKey(key, &subkeys, &values);
  std::string name(kValueNameBufferSize, '\0');
  for (uint32_t i = 0; r == kErrorSuccess; ++i) {
    RawValue v;
    uint32_t name_size = kValueNameBufferSize;
    uint32_t size = 0;
    r = registry.EnumValue(key, i, name.data(), &name_size, &v.type, nullptr, &size);
    if (r == kErrorSuccess) {
      v.name.assign(name.data(), name_size);
      v.data.resize(size);
      r = registry.QueryValueEx(key, v.name, &v.type, reinterpret_cast<uint8_t*>(v.data.data()),
                                &size);
      v.data.resize(size);
    }
    if (r == kErrorSuccess) tree->values.push_back(std::move(v));
  }
  if (r == kErrorNoMoreItems) r = kErrorSuccess;
  for (uint32_t i = 0; r == kErrorSuccess; ++i) {
    uint32_t size = kKeyNameBufferSize;
    r = registry.EnumKeyEx(key, i, name.data(), &size, nullptr, nullptr);
    if (r == kErrorSuccess) tree->subkeys.emplace_back().name.assign(name.data(), size);
  }
  return r == kErrorNoMoreItems ? kErrorSuccess : r;
}

std::string LastComponent(const std::string& path) {
  std::string trimmed = path;
  if (!trimmed.empty() && trimmed.back() == '\\') trimmed.pop_back();
  const size_t slash = trimmed.find_last_of('\\');
  return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

}  // namespace

int32_t ReadKey(Registry& registry, RegHandle root, const std::string& path, KeyTree* tree) {
  RegHandle key = 0;
  int32_t r = registry.OpenKeyEx(root, path, kKeyRead, &key);
  if (r != kErrorSuccess) return r;
  *tree = KeyTree{};
  tree->name = LastComponent(path);
  r = ReadOneKey(registry, key, tree);
  registry.CloseKey(key);
  return r;
}

int32_t ReadKeyTree(Registry& registry, RegHandle root, const std::string& path, KeyTree* tree) {
  RegHandle key = 0;
  int32_t r = registry.OpenKeyEx(root, path, kKeyRead, &key);
  if (r != kErrorSuccess) return r;
  *tree = KeyTree{};
  tree->name = LastComponent(path);
  // The keys open on the way down, each opened from its parent, with the next of its subkeys to
  // read. A key's subkeys are listed in full before any is read, so pointers to them hold.
  struct Level {
    RegHandle key;
    KeyTree* tree;
    size_t next = 0;
  };
  std::vector<Level> levels{{key, tree}};
  r = ReadOneKey(registry, key, tree);
  while (r == kErrorSuccess && !levels.empty()) {
    Level& level = levels.back();
    if (level.next == level.tree->subkeys.size()) {
      registry.CloseKey(level.key);
      levels.pop_back();
      continue;
    }
    KeyTree& sub = level.tree->subkeys[level.next++];
    r = registry.OpenKeyEx(level.key, sub.name, kKeyRead, &key);
    if (r != kErrorSuccess) break;
    levels.push_back({key, &sub});
    r = ReadOneKey(registry, key, &sub);
  }
  for (const Level& level : levels) registry.CloseKey(level.key);
  return r;
}

int32_t WriteKeyTree(Registry& registry, RegHandle root, const std::string& path,
                     const KeyTree& tree) {
  std::vector<std::pair<const KeyTree*, std::string>> pending{{&tree, path}};
  while (!pending.empty()) {
    auto [node, node_path] = std::move(pending.back());
    pending.pop_back();
    RegHandle key = 0;
    int32_t r = registry.CreateKey(root, node_path, &key);
    if (r != kErrorSuccess) return r;
    for (const RawValue& v : node->values) {
      r = registry.SetValueEx(key, v.name, v.type, reinterpret_cast<const uint8_t*>(v.data.data()),
                              static_cast<uint32_t>(v.data.size()));
      if (r != kErrorSuccess) break;
    }
    registry.CloseKey(key);
    if (r != kErrorSuccess) return r;
    for (auto sub = node->subkeys.rbegin(); sub != node->subkeys.rend(); ++sub) {
      pending.emplace_back(&*sub, Join(node_path, sub->name));
    }
  }
  return kErrorSuccess;
}

int32_t DeleteKeyTree(Registry& registry, RegHandle root, const std::string& path) {
  // Goes down through the first subkey until a key has none, deletes that one and goes back up
  // to its parent; only the current path is kept.
  std::string current = path;
  if (!current.empty() && current.back() == '\\') current.pop_back();
  const size_t top = current.size();
  std::string name(kKeyNameBufferSize, '\0');
  while (true) {
    RegHandle key = 0;
    int32_t r = registry.OpenKeyEx(root, current, kKeyRead, &key);
    if (r != kErrorSuccess) return r;
    uint32_t size = kKeyNameBufferSize;
    r = registry.EnumKeyEx(key, 0, name.data(), &size, nullptr, nullptr);
    registry.CloseKey(key);
    if (r == kErrorSuccess) {
      current = Join(current, std::string(name.data(), size));
      continue;
    }
    if (r != kErrorNoMoreItems) return r;
    r = registry.DeleteKey(root, current);
    if (r != kErrorSuccess || current.size() == top) return r;
    const size_t slash = current.find_last_of('\\');
    current.resize(slash == std::string::npos || slash < top ? top : slash);
  }
}

}  // namespace netvane::platform
