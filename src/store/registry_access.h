// The registry access layer: every read or write of the program's persistent state goes
// through these operations. Each opens what it needs, does one job, closes every handle it
// opened and reports the outcome as a Win32 result code (-1 from the two listings when the
// key has no entries of that kind). Text is the program's own (UTF-8) and is converted to
// and from the ANSI code page at the platform boundary; lengths of registry data are bytes of
// the ANSI form.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/codepage.h"
#include "platform/registry.h"

namespace netvane::store {

using platform::RegHandle;

inline constexpr int32_t kNoEntries = -1;
// The access every key is opened with: read control and the query-value, set-value,
// create-subkey, enumerate-subkeys, notify and create-link rights.
inline constexpr uint32_t kOpenAccess = 0x2003F;
inline constexpr uint32_t kBufferSize = 1024;

enum class ValueKind { kText = 1, kNumber = 4 };

struct ReadResult {
  int32_t code = 0;
  std::string text;
};

struct ValueList {
  int32_t code = 0;
  std::vector<std::string> names;
  std::vector<std::string> values;
  int32_t count() const { return static_cast<int32_t>(names.size()); }
};

struct KeyList {
  int32_t code = 0;
  std::vector<std::string> names;
  int32_t count() const { return static_cast<int32_t>(names.size()); }
};

class RegistryAccess {
 public:
  RegistryAccess(platform::Registry& registry, const platform::CodePage& codepage)
      : registry_(registry), codepage_(codepage) {}

  int32_t CreateKey(RegHandle root, std::string_view path);
  int32_t OpenKeyCheck(RegHandle root, std::string_view path);
  ReadResult ReadValue(RegHandle root, std::string_view path, std::string_view name);
  // Kind 1 writes the text with its terminating NUL; kind 4 writes the text taken as a
  // 32-bit whole number (kErrorInvalidParameter when it is not one). The key must exist.
  int32_t WriteValue(RegHandle root, std::string_view path, std::string_view name,
                     std::string_view value, ValueKind kind = ValueKind::kText);
  int32_t WriteNumber(RegHandle root, std::string_view path, std::string_view name, int32_t value);
  ValueList EnumValues(RegHandle root, std::string_view path);
  KeyList EnumKeys(RegHandle root, std::string_view path);
  int32_t DeleteKey(RegHandle root, std::string_view path);
  int32_t DeleteKeyTree(RegHandle root, std::string_view path);
  int32_t DeleteValue(RegHandle root, std::string_view path, std::string_view name);

  // Byte-length text functions over the ANSI form of the text.
  int32_t AnsiByteLength(std::string_view text) const;
  std::string AnsiLeftBytes(std::string_view text, int32_t n) const;
  std::string AnsiRightBytes(std::string_view text, int32_t n) const;

  platform::Registry& registry() { return registry_; }
  const platform::CodePage& codepage() const { return codepage_; }

 private:
  // The text form of registry data: REG_SZ (and REG_MULTI_SZ where `multi_as_text`) less its
  // final byte, REG_BINARY and REG_DWORD as hexadecimal digits from the last byte to the
  // first, anything else empty.
  std::string Render(uint32_t type, const uint8_t* data, uint32_t size, bool multi_as_text) const;
  int32_t WriteRaw(RegHandle root, std::string_view path, std::string_view name, uint32_t type,
                   const std::string& bytes);

  platform::Registry& registry_;
  const platform::CodePage& codepage_;
};

// "a\b" + "c" -> "a\b\c", dropping a trailing backslash of the first part.
std::string JoinKeyPath(std::string_view path, std::string_view name);

}  // namespace netvane::store
