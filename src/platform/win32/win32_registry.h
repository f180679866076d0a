// The Windows registry through the advapi32 ANSI functions.
#pragma once

#include "platform/registry.h"

namespace netvane::platform {

class Win32Registry final : public Registry {
 public:
  int32_t CreateKey(RegHandle parent, const std::string& path, RegHandle* result) override;
  int32_t OpenKeyEx(RegHandle parent, const std::string& path, uint32_t access,
                    RegHandle* result) override;
  int32_t QueryInfoKey(RegHandle key, uint32_t* subkeys, uint32_t* values) override;
  int32_t EnumKeyEx(RegHandle key, uint32_t index, char* name, uint32_t* name_size,
                    char* class_name, uint32_t* class_size) override;
  int32_t EnumValue(RegHandle key, uint32_t index, char* name, uint32_t* name_size, uint32_t* type,
                    uint8_t* data, uint32_t* data_size) override;
  int32_t QueryValueEx(RegHandle key, const std::string& name, uint32_t* type, uint8_t* data,
                       uint32_t* data_size) override;
  int32_t SetValueEx(RegHandle key, const std::string& name, uint32_t type, const uint8_t* data,
                     uint32_t size) override;
  int32_t DeleteKey(RegHandle parent, const std::string& path) override;
  int32_t DeleteValue(RegHandle key, const std::string& name) override;
  int32_t CloseKey(RegHandle key) override;
};

}  // namespace netvane::platform
