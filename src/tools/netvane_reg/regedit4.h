// REGEDIT4 registry files: reading them into a list of changes, and writing key trees.
// Text in these files is in the ANSI code page and passes through as bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"
#include "platform/registry_tree.h"

namespace netvane::tools {

struct RegChange {
  enum class Kind { kCreateKey, kDeleteKey, kSetValue, kDeleteValue };
  Kind kind = Kind::kCreateKey;
  platform::RegHandle root = 0;
  std::string path;  // below the root; empty for the root itself
  std::string name;  // values only; empty for the default value
  uint32_t type = 0;
  std::string data;
  int line = 0;  // where the change stands in the file
};

struct ParseError {
  int line = 0;
  std::string message;
};

// A root key by its full or short name (HKEY_LOCAL_MACHINE, HKLM, HKEY_CURRENT_USER, HKCU),
// in any letter case.
std::optional<platform::RegHandle> RootFromName(std::string_view name);
const char* RootName(platform::RegHandle root);

// Splits "ROOT\path" into root and path; false for an unknown root.
bool SplitKeyName(std::string_view full, platform::RegHandle* root, std::string* path);

// Reads a whole file; on the first malformed line returns false with its number and what is
// wrong, and `changes` is then incomplete.
bool ParseRegedit4(std::string_view text, std::vector<RegChange>* changes, ParseError* error);

// The file text of `tree` (the key `full_name`, e.g. "HKEY_LOCAL_MACHINE\SOFTWARE") and all
// its subkeys, depth-first, without the REGEDIT4 header.
std::string FormatKeyTree(const std::string& full_name, const platform::KeyTree& tree);

inline constexpr std::string_view kRegedit4Header = "REGEDIT4\r\n\r\n";

}  // namespace netvane::tools
