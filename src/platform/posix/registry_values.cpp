#include "platform/posix/registry_values.h"

#include "platform/bytes.h"
#include "platform/registry_tree.h"
#include "platform/win_codes.h"

namespace netvane::platform {
namespace {

class Key {
 public:
  Key(Registry& registry, RegHandle root, const std::string& path, bool create)
      : registry_(registry) {
    code_ = create ? registry.CreateKey(root, path, &handle_)
                   : registry.OpenKeyEx(root, path, kKeyRead, &handle_);
  }
  ~Key() {
    if (code_ == kErrorSuccess) registry_.CloseKey(handle_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  bool ok() const { return code_ == kErrorSuccess; }
  int32_t code() const { return code_; }
  RegHandle handle() const { return handle_; }

 private:
  Registry& registry_;
  RegHandle handle_ = 0;
  int32_t code_ = kErrorSuccess;
};

}  // namespace

std::optional<std::string> GetRaw(Registry& registry, RegHandle root, const std::string& path,
                                  const std::string& name, uint32_t* type) {
  Key key(registry, root, path, false);
  if (!key.ok()) return std::nullopt;
  uint32_t size = 0;
  uint32_t t = 0;
  if (registry.QueryValueEx(key.handle(), name, &t, nullptr, &size) != kErrorSuccess) {
    return std::nullopt;
  }
  std::string data(size, '\0');
  if (registry.QueryValueEx(key.handle(), name, &t, reinterpret_cast<uint8_t*>(data.data()),
                            &size) != kErrorSuccess) {
    return std::nullopt;
  }
  data.resize(size);
  if (type != nullptr) *type = t;
  return data;
}

std::optional<std::string> GetText(Registry& registry, RegHandle root, const std::string& path,
                                   const std::string& name) {
  uint32_t type = 0;
  std::optional<std::string> data = GetRaw(registry, root, path, name, &type);
  if (!data || type != kRegSz) return std::nullopt;
  if (!data->empty() && data->back() == '\0') data->pop_back();
  return data;
}

std::optional<uint32_t> GetDword(Registry& registry, RegHandle root, const std::string& path,
                                 const std::string& name) {
  uint32_t type = 0;
  const std::optional<std::string> data = GetRaw(registry, root, path, name, &type);
  if (!data || type != kRegDword || data->size() != 4) return std::nullopt;
  return GetLe32(data->data());
}

int32_t SetRaw(Registry& registry, RegHandle root, const std::string& path, const std::string& name,
               uint32_t type, const std::string& data) {
  Key key(registry, root, path, true);
  if (!key.ok()) return key.code();
  return registry.SetValueEx(key.handle(), name, type,
                             reinterpret_cast<const uint8_t*>(data.data()),
                             static_cast<uint32_t>(data.size()));
}

int32_t SetText(Registry& registry, RegHandle root, const std::string& path,
                const std::string& name, const std::string& text) {
  return SetRaw(registry, root, path, name, kRegSz, text + '\0');
}

int32_t SetDword(Registry& registry, RegHandle root, const std::string& path,
                 const std::string& name, uint32_t value) {
  return SetRaw(registry, root, path, name, kRegDword, Le32Bytes(value));
}

int32_t SetMultiText(Registry& registry, RegHandle root, const std::string& path,
                     const std::string& name, const std::vector<std::string>& items) {
  std::string data;
  for (const std::string& item : items) data += item + '\0';
  data += '\0';
  return SetRaw(registry, root, path, name, kRegMultiSz, data);
}

std::vector<std::string> Subkeys(Registry& registry, RegHandle root, const std::string& path) {
  std::vector<std::string> names;
  Key key(registry, root, path, false);
  if (!key.ok()) return names;
  std::string name(kKeyNameBufferSize, '\0');
  for (uint32_t i = 0;; ++i) {
    uint32_t size = kKeyNameBufferSize;
    if (registry.EnumKeyEx(key.handle(), i, name.data(), &size, nullptr, nullptr) !=
        kErrorSuccess) {
      break;
    }
    names.emplace_back(name.data(), size);
  }
  return names;
}

int32_t DeleteTree(Registry& registry, RegHandle root, const std::string& path) {
  return DeleteKeyTree(registry, root, path);
}

bool KeyExists(Registry& registry, RegHandle root, const std::string& path) {
  return Key(registry, root, path, false).ok();
}

}  // namespace netvane::platform
