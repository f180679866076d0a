#include "platform/registry_tree.h"

namespace netvane::platform {
namespace {

constexpr uint32_t kMaxValueName = 16384;
constexpr uint32_t kMaxKeyName = 1024;

std::string Join(const std::string& path, const std::string& name) {
  std::string out = path;
  if (!out.empty() && out.back() == '\\') out.pop_back();
  if (!out.empty()) out += '\\';
  return out + name;
}

int32_t ReadOpen(Registry& registry, RegHandle key, KeyTree* tree) {
  uint32_t subkeys = 0;
  uint32_t values = 0;
  int32_t r = registry.QueryInfoKey(key, &subkeys, &values);
  if (r != kErrorSuccess) return r;
  std::string name(kMaxValueName, '\0');
  for (uint32_t i = 0;; ++i) {
    RawValue v;
    uint32_t name_size = kMaxValueName;
    uint32_t size = 0;
    r = registry.EnumValue(key, i, name.data(), &name_size, &v.type, nullptr, &size);
    if (r == kErrorNoMoreItems) break;
    if (r != kErrorSuccess) return r;
    v.name.assign(name.data(), name_size);
    v.data.resize(size);
    r = registry.QueryValueEx(key, v.name, &v.type, reinterpret_cast<uint8_t*>(v.data.data()),
                              &size);
    if (r != kErrorSuccess) return r;
    v.data.resize(size);
    tree->values.push_back(std::move(v));
  }
  std::vector<std::string> names;
  for (uint32_t i = 0;; ++i) {
    char buf[kMaxKeyName];
    uint32_t size = kMaxKeyName;
    r = registry.EnumKeyEx(key, i, buf, &size, nullptr, nullptr);
    if (r == kErrorNoMoreItems) break;
    if (r != kErrorSuccess) return r;
    names.emplace_back(buf, size);
  }
  for (const std::string& sub : names) {
    RegHandle child = 0;
    r = registry.OpenKeyEx(key, sub, kKeyRead, &child);
    if (r != kErrorSuccess) return r;
    KeyTree subtree;
    subtree.name = sub;
    r = ReadOpen(registry, child, &subtree);
    registry.CloseKey(child);
    if (r != kErrorSuccess) return r;
    tree->subkeys.push_back(std::move(subtree));
  }
  return kErrorSuccess;
}

}  // namespace

int32_t ReadKeyTree(Registry& registry, RegHandle root, const std::string& path,
                    KeyTree* tree) {
  RegHandle key = 0;
  int32_t r = registry.OpenKeyEx(root, path, kKeyRead, &key);
  if (r != kErrorSuccess) return r;
  *tree = KeyTree{};
  std::string trimmed = path;
  if (!trimmed.empty() && trimmed.back() == '\\') trimmed.pop_back();
  const size_t slash = trimmed.find_last_of('\\');
  tree->name = slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
  r = ReadOpen(registry, key, tree);
  registry.CloseKey(key);
  return r;
}

int32_t WriteKeyTree(Registry& registry, RegHandle root, const std::string& path,
                     const KeyTree& tree) {
  RegHandle key = 0;
  int32_t r = registry.CreateKey(root, path, &key);
  if (r != kErrorSuccess) return r;
  for (const RawValue& v : tree.values) {
    r = registry.SetValueEx(key, v.name, v.type, reinterpret_cast<const uint8_t*>(v.data.data()),
                            static_cast<uint32_t>(v.data.size()));
    if (r != kErrorSuccess) break;
  }
  registry.CloseKey(key);
  if (r != kErrorSuccess) return r;
  for (const KeyTree& sub : tree.subkeys) {
    r = WriteKeyTree(registry, root, Join(path, sub.name), sub);
    if (r != kErrorSuccess) return r;
  }
  return kErrorSuccess;
}

}  // namespace netvane::platform
