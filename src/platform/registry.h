// The registry operations the store is built on, shaped like the advapi32 ANSI functions:
// names, paths and text data are bytes in the ANSI code page, every call returns a Win32
// error code, and sizes follow the Win32 in/out conventions.
#pragma once

#include <cstdint>
#include <string>

#include "platform/win_codes.h"

namespace netvane::platform {

// An open key; the predefined roots are the Win32 HKEY values.
using RegHandle = std::uintptr_t;
inline constexpr RegHandle kHkeyCurrentUser = 0x80000001u;
inline constexpr RegHandle kHkeyLocalMachine = 0x80000002u;

// The most Windows stores: names are counted in UTF-16 units, depth in keys below the root.
inline constexpr uint32_t kMaxKeyNameLength = 255;
inline constexpr uint32_t kMaxValueNameLength = 16383;
inline constexpr uint32_t kMaxKeyDepth = 512;
// Name buffers that take any name within those limits in the ANSI code page, terminator
// included: no code page spends more than four bytes on one UTF-16 unit.
inline constexpr uint32_t kKeyNameBufferSize = 4 * kMaxKeyNameLength + 1;
inline constexpr uint32_t kValueNameBufferSize = 4 * kMaxValueNameLength + 1;

class Registry {
 public:
  virtual ~Registry() = default;

  // RegCreateKeyA: opens `path` below `parent`, creating it and any missing parents. A name
  // longer than kMaxKeyNameLength gives kErrorInvalidParameter, a key deeper than kMaxKeyDepth
  // kErrorNoSystemResources.
  virtual int32_t CreateKey(RegHandle parent, const std::string& path, RegHandle* result) = 0;
  // RegOpenKeyExA.
  virtual int32_t OpenKeyEx(RegHandle parent, const std::string& path, uint32_t access,
                            RegHandle* result) = 0;
  // RegQueryInfoKeyA: number of subkeys and of values; either pointer may be null.
  virtual int32_t QueryInfoKey(RegHandle key, uint32_t* subkeys, uint32_t* values) = 0;
  // RegEnumKeyExA: `name_size` is the buffer size in bytes (terminator included) on entry and
  // the name length (terminator excluded) on success. `class_name` may be null.
  virtual int32_t EnumKeyEx(RegHandle key, uint32_t index, char* name, uint32_t* name_size,
                            char* class_name, uint32_t* class_size) = 0;
  // RegEnumValueA: name as for EnumKeyEx; `type`, `data` and `data_size` may be null. With
  // `data` null the size is reported; with a short buffer the result is kErrorMoreData and
  // `data_size` holds the size needed.
  virtual int32_t EnumValue(RegHandle key, uint32_t index, char* name, uint32_t* name_size,
                            uint32_t* type, uint8_t* data, uint32_t* data_size) = 0;
  // RegQueryValueExA, with the same buffer rules as EnumValue.
  virtual int32_t QueryValueEx(RegHandle key, const std::string& name, uint32_t* type,
                               uint8_t* data, uint32_t* data_size) = 0;
  // RegSetValueExA; a name longer than kMaxValueNameLength gives kErrorInvalidParameter.
  virtual int32_t SetValueEx(RegHandle key, const std::string& name, uint32_t type,
                             const uint8_t* data, uint32_t size) = 0;
  // RegDeleteKeyA: kErrorAccessDenied while the key still has subkeys.
  virtual int32_t DeleteKey(RegHandle parent, const std::string& path) = 0;
  // RegDeleteValueA.
  virtual int32_t DeleteValue(RegHandle key, const std::string& name) = 0;
  // RegCloseKey; closing a predefined root is a no-op.
  virtual int32_t CloseKey(RegHandle key) = 0;

  // Groups the calls up to the matching EndGroup, where the backend can: other processes then
  // see a writing group's changes all at once (or none of them, when EndGroup fails), and a
  // reading group sees one consistent state. Groups nest. Windows has no such grouping, so
  // there both do nothing and EndGroup returns 0.
  virtual void BeginGroup(bool /*write*/) {}
  virtual int32_t EndGroup() { return 0; }

  // One transaction for the calls up to CommitBatch, which RollbackBatch drops as a whole, so
  // that a tool can change many keys all or nothing; meanwhile other processes wait. Only the
  // host file has transactions: elsewhere BeginBatch gives 50 (not supported) and the caller
  // has to put back what it changed itself.
  virtual int32_t BeginBatch() { return kErrorNotSupported; }
  virtual int32_t CommitBatch() { return kErrorNotSupported; }
  virtual void RollbackBatch() {}
};

// A group for the life of a scope; End() reports whether a writing group was stored.
class RegistryGroup {
 public:
  RegistryGroup(Registry& registry, bool write) : registry_(registry) {
    registry_.BeginGroup(write);
  }
  ~RegistryGroup() {
    if (open_) registry_.EndGroup();
  }
  RegistryGroup(const RegistryGroup&) = delete;
  RegistryGroup& operator=(const RegistryGroup&) = delete;
  int32_t End() {
    open_ = false;
    return registry_.EndGroup();
  }

 private:
  Registry& registry_;
  bool open_ = true;
};

}  // namespace netvane::platform
