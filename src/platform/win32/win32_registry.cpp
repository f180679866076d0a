#include "platform/win32/win32_registry.h"

#include "platform/win32/windows_api.h"

namespace netvane::platform {
namespace {

// The predefined roots are 32-bit values that the SDK sign-extends into a 64-bit HKEY
// (0xFFFFFFFF80000001 for HKEY_CURRENT_USER). RegHandle carries them zero-extended, so both
// forms are translated here; real handles are small kernel handle values and never collide.
constexpr RegHandle kFirstRoot = 0x80000000u;  // HKEY_CLASSES_ROOT
constexpr RegHandle kLastRoot = 0x8000000Fu;

bool IsRoot(RegHandle h) {
  const RegHandle low = h & 0xFFFFFFFFu;
  const RegHandle high = static_cast<RegHandle>(static_cast<uint64_t>(h) >> 32);
  return low >= kFirstRoot && low <= kLastRoot && (high == 0 || high == 0xFFFFFFFFu);
}

HKEY ToHkey(RegHandle h) {
  if (IsRoot(h)) {
    const auto value = static_cast<LONG>(static_cast<DWORD>(h & 0xFFFFFFFFu));
    return reinterpret_cast<HKEY>(static_cast<LONG_PTR>(value));
  }
  return reinterpret_cast<HKEY>(h);
}

RegHandle FromHkey(HKEY key) {
  const auto h = reinterpret_cast<RegHandle>(key);
  return IsRoot(h) ? (h & 0xFFFFFFFFu) : h;
}

// In/out arguments travel through a DWORD of our own: DWORD is `unsigned long`, a different
// type from uint32_t under the Windows ABI even though both are 32 bits. The caller's variable
// is updated only when the call succeeded or reported a size: after other failures the system
// may have written to it (Wine sets the type of a missing value to REG_NONE), and callers are
// promised their variables as they left them.
class DwordArg {
 public:
  explicit DwordArg(uint32_t* target) : target_(target), value_(target ? *target : 0) {}
  DWORD* get() { return target_ != nullptr ? &value_ : nullptr; }
  LONG Finish(LONG result) {
    if (target_ != nullptr && (result == ERROR_SUCCESS || result == ERROR_MORE_DATA)) {
      *target_ = value_;
    }
    return result;
  }

 private:
  uint32_t* target_;
  DWORD value_;
};

}  // namespace

int32_t Win32Registry::CreateKey(RegHandle parent, const std::string& path, RegHandle* result) {
  if (result == nullptr) return kErrorInvalidParameter;
  HKEY key = nullptr;
  const LONG r = RegCreateKeyA(ToHkey(parent), path.c_str(), &key);
  if (r == ERROR_SUCCESS) *result = FromHkey(key);
  return static_cast<int32_t>(r);
}

int32_t Win32Registry::OpenKeyEx(RegHandle parent, const std::string& path, uint32_t access,
                                 RegHandle* result) {
  if (result == nullptr) return kErrorInvalidParameter;
  HKEY key = nullptr;
  const LONG r = RegOpenKeyExA(ToHkey(parent), path.c_str(), 0, access, &key);
  if (r == ERROR_SUCCESS) *result = FromHkey(key);
  return static_cast<int32_t>(r);
}

int32_t Win32Registry::QueryInfoKey(RegHandle key, uint32_t* subkeys, uint32_t* values) {
  DwordArg subkey_count(subkeys);
  DwordArg value_count(values);
  const LONG r =
      RegQueryInfoKeyA(ToHkey(key), nullptr, nullptr, nullptr, subkey_count.get(), nullptr, nullptr,
                       value_count.get(), nullptr, nullptr, nullptr, nullptr);
  return static_cast<int32_t>(value_count.Finish(subkey_count.Finish(r)));
}

int32_t Win32Registry::EnumKeyEx(RegHandle key, uint32_t index, char* name, uint32_t* name_size,
                                 char* class_name, uint32_t* class_size) {
  DwordArg name_arg(name_size);
  DwordArg class_arg(class_size);
  const LONG r = RegEnumKeyExA(ToHkey(key), index, name, name_arg.get(), nullptr, class_name,
                               class_arg.get(), nullptr);
  return static_cast<int32_t>(class_arg.Finish(name_arg.Finish(r)));
}

int32_t Win32Registry::EnumValue(RegHandle key, uint32_t index, char* name, uint32_t* name_size,
                                 uint32_t* type, uint8_t* data, uint32_t* data_size) {
  DwordArg name_arg(name_size);
  DwordArg type_arg(type);
  DwordArg data_arg(data_size);
  const LONG r = RegEnumValueA(ToHkey(key), index, name, name_arg.get(), nullptr, type_arg.get(),
                               data, data_arg.get());
  return static_cast<int32_t>(data_arg.Finish(type_arg.Finish(name_arg.Finish(r))));
}

int32_t Win32Registry::QueryValueEx(RegHandle key, const std::string& name, uint32_t* type,
                                    uint8_t* data, uint32_t* data_size) {
  DwordArg type_arg(type);
  DwordArg data_arg(data_size);
  const LONG r =
      RegQueryValueExA(ToHkey(key), name.c_str(), nullptr, type_arg.get(), data, data_arg.get());
  return static_cast<int32_t>(data_arg.Finish(type_arg.Finish(r)));
}

int32_t Win32Registry::SetValueEx(RegHandle key, const std::string& name, uint32_t type,
                                  const uint8_t* data, uint32_t size) {
  return static_cast<int32_t>(RegSetValueExA(ToHkey(key), name.c_str(), 0, type, data, size));
}

int32_t Win32Registry::DeleteKey(RegHandle parent, const std::string& path) {
  return static_cast<int32_t>(RegDeleteKeyA(ToHkey(parent), path.c_str()));
}

int32_t Win32Registry::DeleteValue(RegHandle key, const std::string& name) {
  return static_cast<int32_t>(RegDeleteValueA(ToHkey(key), name.c_str()));
}

int32_t Win32Registry::CloseKey(RegHandle key) {
  if (IsRoot(key)) return kErrorSuccess;
  return static_cast<int32_t>(RegCloseKey(ToHkey(key)));
}

}  // namespace netvane::platform
