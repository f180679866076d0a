// Small typed reads and writes over the Registry interface for the host's own system data
// (the system view, the filter driver, the stand-ins for the system tools).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/win_codes.h"

namespace netvane::platform {

// Raw data of a value; nullopt when the key or value is missing.
std::optional<std::string> GetRaw(Registry& registry, RegHandle root, const std::string& path,
                                  const std::string& name, uint32_t* type = nullptr);
// REG_SZ text without its terminator (other types: nullopt).
std::optional<std::string> GetText(Registry& registry, RegHandle root, const std::string& path,
                                   const std::string& name);
std::optional<uint32_t> GetDword(Registry& registry, RegHandle root, const std::string& path,
                                 const std::string& name);

// Each creates the key when missing; the result is the Win32 code.
int32_t SetRaw(Registry& registry, RegHandle root, const std::string& path, const std::string& name,
               uint32_t type, const std::string& data);
int32_t SetText(Registry& registry, RegHandle root, const std::string& path,
                const std::string& name, const std::string& text);
int32_t SetDword(Registry& registry, RegHandle root, const std::string& path,
                 const std::string& name, uint32_t value);
// REG_MULTI_SZ: each item with its NUL, then the closing NUL.
int32_t SetMultiText(Registry& registry, RegHandle root, const std::string& path,
                     const std::string& name, const std::vector<std::string>& items);

// Names of the subkeys in listing order (empty when the key is missing).
std::vector<std::string> Subkeys(Registry& registry, RegHandle root, const std::string& path);
// Deletes a key with everything below it.
int32_t DeleteTree(Registry& registry, RegHandle root, const std::string& path);
bool KeyExists(Registry& registry, RegHandle root, const std::string& path);

}  // namespace netvane::platform
