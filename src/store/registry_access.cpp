#include "store/registry_access.h"

#include <cmath>
#include <cstdlib>
#include <limits>

#include "platform/bytes.h"

namespace netvane::store {
namespace {

using platform::kErrorInvalidParameter;
using platform::kErrorSuccess;

// Closes an opened key on every path out of an operation.
class OpenKey {
 public:
  OpenKey(platform::Registry& registry, RegHandle root, const std::string& path)
      : registry_(registry) {
    code_ = registry_.OpenKeyEx(root, path, kOpenAccess, &handle_);
  }
  ~OpenKey() {
    if (code_ == kErrorSuccess) registry_.CloseKey(handle_);
  }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;

  int32_t code() const { return code_; }
  RegHandle handle() const { return handle_; }

 private:
  platform::Registry& registry_;
  RegHandle handle_ = 0;
  int32_t code_;
};

// Text taken as a 32-bit whole number, as a conversion to Long would: blanks around it,
// an optional sign, a fraction rounded half to even.
bool ToInt32(std::string_view text, int32_t* out) {
  const std::string s(text);
  const char* begin = s.c_str();
  while (*begin == ' ' || *begin == '\t') ++begin;
  if (*begin == '\0') return false;
  char* end = nullptr;
  const double v = std::strtod(begin, &end);
  while (end != nullptr && (*end == ' ' || *end == '\t')) ++end;
  if (end == begin || *end != '\0' || !std::isfinite(v)) return false;
  const double r = std::nearbyint(v);
  if (r < std::numeric_limits<int32_t>::min() || r > std::numeric_limits<int32_t>::max()) {
    return false;
  }
  *out = static_cast<int32_t>(r);
  return true;
}

}  // namespace

std::string JoinKeyPath(std::string_view path, std::string_view name) {
  std::string out(path);
  if (!out.empty() && out.back() == '\\') out.pop_back();
  out += '\\';
  out += name;
  return out;
}

std::string RegistryAccess::Render(uint32_t type, const uint8_t* data, uint32_t size,
                                   bool multi_as_text) const {
  if (type == platform::kRegSz || (multi_as_text && type == platform::kRegMultiSz)) {
    // A value of size 0 has no terminator to drop.
    if (size == 0) return std::string();
    return codepage_.FromAnsi(std::string_view(reinterpret_cast<const char*>(data), size - 1));
  }
  if (type == platform::kRegBinary || type == platform::kRegDword) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    hex.reserve(size_t{size} * 2);
    for (uint32_t i = size; i > 0; --i) {
      hex += kDigits[data[i - 1] >> 4];
      hex += kDigits[data[i - 1] & 0x0F];
    }
    return hex;
  }
  return std::string();
}

int32_t RegistryAccess::CreateKey(RegHandle root, std::string_view path) {
  RegHandle key = 0;
  const int32_t r = registry_.CreateKey(root, codepage_.ToAnsi(path), &key);
  if (r == kErrorSuccess) registry_.CloseKey(key);
  return r;
}

int32_t RegistryAccess::OpenKeyCheck(RegHandle root, std::string_view path) {
  OpenKey key(registry_, root, codepage_.ToAnsi(path));
  return key.code();
}

ReadResult RegistryAccess::ReadValue(RegHandle root, std::string_view path, std::string_view name) {
  OpenKey key(registry_, root, codepage_.ToAnsi(path));
  if (key.code() != kErrorSuccess) return {key.code(), {}};
  const std::string ansi_name = codepage_.ToAnsi(name);
  uint8_t buffer[kBufferSize];
  uint32_t type = 0;
  uint32_t size = kBufferSize;
  const int32_t first = registry_.QueryValueEx(key.handle(), ansi_name, &type, buffer, &size);
  const bool text = type == platform::kRegSz || type == platform::kRegMultiSz;
  const bool bytes = type == platform::kRegBinary || type == platform::kRegDword;
  if (!text && !bytes) {
    return {first, {}};
  }
  // Query again by type, into a buffer of the layer's fixed size.
  uint8_t data[kBufferSize];
  size = kBufferSize;
  const int32_t second = registry_.QueryValueEx(key.handle(), ansi_name, &type, data, &size);
  if (second != kErrorSuccess) return {second, {}};
  return {kErrorSuccess, Render(type, data, size, true)};
}

int32_t RegistryAccess::WriteRaw(RegHandle root, std::string_view path, std::string_view name,
                                 uint32_t type, const std::string& bytes) {
  OpenKey key(registry_, root, codepage_.ToAnsi(path));
  if (key.code() != kErrorSuccess) return key.code();
  return registry_.SetValueEx(key.handle(), codepage_.ToAnsi(name), type,
                              reinterpret_cast<const uint8_t*>(bytes.data()),
                              static_cast<uint32_t>(bytes.size()));
}

int32_t RegistryAccess::WriteValue(RegHandle root, std::string_view path, std::string_view name,
                                   std::string_view value, ValueKind kind) {
  if (kind == ValueKind::kNumber) {
    int32_t number = 0;
    if (!ToInt32(value, &number)) return kErrorInvalidParameter;
    return WriteNumber(root, path, name, number);
  }
  std::string data = codepage_.ToAnsi(value);
  data.push_back('\0');
  return WriteRaw(root, path, name, platform::kRegSz, data);
}

int32_t RegistryAccess::WriteNumber(RegHandle root, std::string_view path, std::string_view name,
                                    int32_t value) {
  return WriteRaw(root, path, name, platform::kRegDword,
                  platform::Le32Bytes(static_cast<uint32_t>(value)));
}

ValueList RegistryAccess::EnumValues(RegHandle root, std::string_view path) {
  ValueList out;
  OpenKey key(registry_, root, codepage_.ToAnsi(path));
  if (key.code() != kErrorSuccess) {
    out.code = key.code();
    return out;
  }
  uint32_t count = 0;
  const int32_t info = registry_.QueryInfoKey(key.handle(), nullptr, &count);
  if (info != kErrorSuccess) {
    out.code = info;
    return out;
  }
  if (count < 1) {
    out.code = kNoEntries;
    return out;
  }
  out.names.reserve(count);
  out.values.reserve(count);
  for (uint32_t index = 0;; ++index) {
    char name[kBufferSize];
    uint32_t name_size = kBufferSize;
    uint32_t type = 0;
    uint32_t data_size = 0;
    if (registry_.EnumValue(key.handle(), index, name, &name_size, &type, nullptr, &data_size) !=
        kErrorSuccess) {
      break;
    }
    const std::string ansi_name(name, name_size);
    std::string text;
    if (data_size >= 1) {
      std::string data(data_size, '\0');
      uint32_t size = data_size;
      const int32_t r = registry_.QueryValueEx(key.handle(), ansi_name, &type,
                                               reinterpret_cast<uint8_t*>(data.data()), &size);
      if (r != kErrorSuccess) {
        out.code = r;
        return out;
      }
      text = Render(type, reinterpret_cast<const uint8_t*>(data.data()), size, false);
    }
    out.names.push_back(codepage_.FromAnsi(ansi_name));
    out.values.push_back(std::move(text));
  }
  out.code = kErrorSuccess;
  return out;
}

KeyList RegistryAccess::EnumKeys(RegHandle root, std::string_view path) {
  KeyList out;
  OpenKey key(registry_, root, codepage_.ToAnsi(path));
  if (key.code() != kErrorSuccess) {
    out.code = key.code();
    return out;
  }
  uint32_t count = 0;
  const int32_t info = registry_.QueryInfoKey(key.handle(), &count, nullptr);
  if (info != kErrorSuccess) {
    out.code = info;
    return out;
  }
  if (count < 1) {
    out.code = kNoEntries;
    return out;
  }
  out.names.reserve(count);
  for (uint32_t index = 0;; ++index) {
    char name[kBufferSize];
    char class_name[kBufferSize];
    uint32_t name_size = kBufferSize;
    uint32_t class_size = kBufferSize;
    if (registry_.EnumKeyEx(key.handle(), index, name, &name_size, class_name, &class_size) !=
        kErrorSuccess) {
      break;
    }
    out.names.push_back(codepage_.FromAnsi(std::string_view(name, name_size)));
  }
  out.code = kErrorSuccess;
  return out;
}

int32_t RegistryAccess::DeleteKey(RegHandle root, std::string_view path) {
  return registry_.DeleteKey(root, codepage_.ToAnsi(path));
}

int32_t RegistryAccess::DeleteKeyTree(RegHandle root, std::string_view path) {
  // The names of a key are listed once before any is deleted, so deleting does not disturb the
  // enumeration. A subkey that cannot be listed or deleted is passed over; its parent then
  // stays too. The walk keeps its own list of levels, as the data chooses the depth.
  struct Level {
    size_t path_size;
    std::vector<std::string> names;
    size_t next = 0;
  };
  std::string current(path);
  KeyList top = EnumKeys(root, current);
  if (top.code != kErrorSuccess && top.code != kNoEntries) return top.code;
  std::vector<Level> levels;
  levels.push_back({current.size(), std::move(top.names)});
  while (true) {
    Level& level = levels.back();
    current.resize(level.path_size);
    if (level.next < level.names.size()) {
      current = JoinKeyPath(current, level.names[level.next++]);
      KeyList below = EnumKeys(root, current);
      if (below.code == kErrorSuccess || below.code == kNoEntries) {
        levels.push_back({current.size(), std::move(below.names)});
      }
      continue;
    }
    const int32_t r = DeleteKey(root, current);
    levels.pop_back();
    if (levels.empty()) return r;
  }
}

int32_t RegistryAccess::DeleteValue(RegHandle root, std::string_view path, std::string_view name) {
  OpenKey key(registry_, root, codepage_.ToAnsi(path));
  if (key.code() != kErrorSuccess) return key.code();
  return registry_.DeleteValue(key.handle(), codepage_.ToAnsi(name));
}

int32_t RegistryAccess::AnsiByteLength(std::string_view text) const {
  return static_cast<int32_t>(codepage_.ToAnsi(text).size());
}

std::string RegistryAccess::AnsiLeftBytes(std::string_view text, int32_t n) const {
  const std::string ansi = codepage_.ToAnsi(text);
  const size_t take = n <= 0 ? 0 : std::min(ansi.size(), static_cast<size_t>(n));
  return codepage_.FromAnsi(std::string_view(ansi).substr(0, take));
}

std::string RegistryAccess::AnsiRightBytes(std::string_view text, int32_t n) const {
  const std::string ansi = codepage_.ToAnsi(text);
  const size_t take = n <= 0 ? 0 : std::min(ansi.size(), static_cast<size_t>(n));
  return codepage_.FromAnsi(std::string_view(ansi).substr(ansi.size() - take));
}

}  // namespace netvane::store
