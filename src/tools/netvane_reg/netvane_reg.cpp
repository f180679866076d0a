#include "tools/netvane_reg/netvane_reg.h"

#include <strings.h>

#include <fstream>
#include <iostream>
#include <iterator>
#include <set>
#include <sstream>

#include "platform/registry_tree.h"
#include "platform/utf8.h"
#include "tools/netvane_reg/regedit4.h"

namespace netvane::tools {
namespace {

using platform::kErrorFileNotFound;
using platform::kErrorSuccess;
using platform::RegHandle;

constexpr int kExitDone = 0;
constexpr int kExitRefused = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "usage: netvane-reg import FILE     apply a REGEDIT4 file (- reads standard input)\n"
    "       netvane-reg export [KEY]    write KEY (default: both roots) as REGEDIT4\n";

// Deletes a key with everything below it; a missing key is not an error.
int32_t DeleteTree(platform::Registry& registry, RegHandle root, const std::string& path) {
  RegHandle key = 0;
  const int32_t r = registry.OpenKeyEx(root, path, platform::kKeyRead, &key);
  if (r == kErrorFileNotFound) return kErrorSuccess;
  if (r != kErrorSuccess) return r;
  registry.CloseKey(key);
  return platform::DeleteKeyTree(registry, root, path);
}

// What Windows would not store, in words; empty when the change is fine. Deletions pass, so
// that keys kept from before these checks can still be removed.
std::string LimitProblem(const RegChange& c, const platform::CodePage& codepage) {
  if (c.kind == RegChange::Kind::kCreateKey) {
    size_t depth = 0;
    for (size_t start = 0; start < c.path.size(); ++depth) {
      size_t end = c.path.find('\\', start);
      if (end == std::string::npos) end = c.path.size();
      const size_t length = platform::Utf16Length(
          codepage.FromAnsi(std::string_view(c.path).substr(start, end - start)));
      if (length > platform::kMaxKeyNameLength) {
        return "key name of " + std::to_string(length) + " characters (Windows takes at most " +
               std::to_string(platform::kMaxKeyNameLength) + ")";
      }
      start = end + 1;
    }
    if (depth > platform::kMaxKeyDepth) {
      return "key " + std::to_string(depth) + " levels deep (Windows takes at most " +
             std::to_string(platform::kMaxKeyDepth) + ")";
    }
  } else if (c.kind == RegChange::Kind::kSetValue) {
    const size_t length = platform::Utf16Length(codepage.FromAnsi(c.name));
    if (length > platform::kMaxValueNameLength) {
      return "value name of " + std::to_string(length) + " characters (Windows takes at most " +
             std::to_string(platform::kMaxValueNameLength) + ")";
    }
  }
  return std::string();
}

// `path` with each component spelled as the registry stores it, so that exporting a key
// typed in another letter case still gives back the stored names; a component that cannot
// be matched keeps its typed spelling.
std::string StoredSpelling(platform::Registry& registry, RegHandle root, const std::string& path) {
  std::string out;
  std::string name(platform::kKeyNameBufferSize, '\0');
  for (size_t start = 0; start < path.size();) {
    size_t end = path.find('\\', start);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(start, end - start);
    RegHandle key = 0;
    if (registry.OpenKeyEx(root, out, platform::kKeyRead, &key) == kErrorSuccess) {
      for (uint32_t i = 0;; ++i) {
        uint32_t size = platform::kKeyNameBufferSize;
        if (registry.EnumKeyEx(key, i, name.data(), &size, nullptr, nullptr) != kErrorSuccess) {
          break;
        }
        if (size == part.size() && strncasecmp(name.data(), part.data(), size) == 0) {
          part.assign(name.data(), size);
          break;
        }
      }
      registry.CloseKey(key);
    }
    out += (out.empty() ? "" : "\\") + part;
    start = end + 1;
  }
  return out;
}

int32_t Apply(platform::Registry& registry, const RegChange& c) {
  RegHandle key = 0;
  int32_t r = kErrorSuccess;
  switch (c.kind) {
    case RegChange::Kind::kCreateKey:
      r = registry.CreateKey(c.root, c.path, &key);
      if (r == kErrorSuccess) registry.CloseKey(key);
      return r;
    case RegChange::Kind::kDeleteKey:
      return DeleteTree(registry, c.root, c.path);
    case RegChange::Kind::kSetValue:
      r = registry.CreateKey(c.root, c.path, &key);
      if (r != kErrorSuccess) return r;
      r = registry.SetValueEx(key, c.name, c.type, reinterpret_cast<const uint8_t*>(c.data.data()),
                              static_cast<uint32_t>(c.data.size()));
      registry.CloseKey(key);
      return r;
    case RegChange::Kind::kDeleteValue:
      r = registry.OpenKeyEx(c.root, c.path, platform::kKeyAllAccess, &key);
      if (r == kErrorFileNotFound) return kErrorSuccess;
      if (r != kErrorSuccess) return r;
      r = registry.DeleteValue(key, c.name);
      registry.CloseKey(key);
      return r == kErrorFileNotFound ? kErrorSuccess : r;
  }
  return kErrorSuccess;
}

// What the keys a file touches held before the import, so that a change refused part-way can
// be undone where the registry has no transactions: the whole tree of each key the file
// deletes, the values of each key whose values it changes, and the first missing key on each
// path it creates (all below that one is new). Values alone for the keys it changes: put back
// in place, the key keeps what the interface cannot copy (a volatile key stays volatile), and
// a value set on HKEY_LOCAL_MACHINE\SOFTWARE costs no copy of everything below it.
struct PriorState {
  struct Key {
    RegHandle root;
    std::string path;
    platform::KeyTree tree;
  };
  std::vector<Key> trees;
  std::vector<Key> values;
  std::vector<std::pair<RegHandle, std::string>> absent;
};

// The first component of `path` (or `path` itself) that does not exist, or empty when all do.
int32_t FirstMissing(platform::Registry& registry, RegHandle root, const std::string& path,
                     std::string* missing) {
  missing->clear();
  for (size_t end = 0; end != std::string::npos && !path.empty();) {
    end = path.find('\\', end + 1);
    const std::string prefix = path.substr(0, end);
    RegHandle key = 0;
    const int32_t r = registry.OpenKeyEx(root, prefix, platform::kKeyRead, &key);
    if (r == kErrorFileNotFound) {
      *missing = prefix;
      return kErrorSuccess;
    }
    if (r != kErrorSuccess) return r;
    registry.CloseKey(key);
  }
  return kErrorSuccess;
}

int32_t CapturePriorState(platform::Registry& registry, const std::vector<RegChange>& changes,
                          PriorState* prior) {
  // Keys already seen, by the spelling the file gives them; a key spelled two ways is
  // captured twice, which costs time, not correctness.
  std::set<std::pair<RegHandle, std::string>> existing;
  std::set<std::pair<RegHandle, std::string>> seen;
  for (const RegChange& c : changes) {
    const auto key = std::make_pair(c.root, c.path);
    int32_t r = kErrorSuccess;
    if (c.kind == RegChange::Kind::kDeleteKey) {
      platform::KeyTree tree;
      r = platform::ReadKeyTree(registry, c.root, c.path, &tree);
      if (r == kErrorSuccess) prior->trees.push_back({c.root, c.path, std::move(tree)});
    } else if (c.kind == RegChange::Kind::kCreateKey) {
      if (!seen.insert(key).second) continue;
      std::string missing;
      r = FirstMissing(registry, c.root, c.path, &missing);
      if (r == kErrorSuccess && missing.empty()) existing.insert(key);
      if (r == kErrorSuccess && !missing.empty()) prior->absent.emplace_back(c.root, missing);
    } else if (existing.erase(key) == 1) {
      // The first value line of a key that was there: its values as they stand.
      platform::KeyTree tree;
      r = platform::ReadKey(registry, c.root, c.path, &tree);
      tree.subkeys.clear();
      if (r == kErrorSuccess) prior->values.push_back({c.root, c.path, std::move(tree)});
    }
    if (r != kErrorSuccess && r != kErrorFileNotFound) return r;
  }
  return kErrorSuccess;
}

// Puts the prior state back. Every capture shows the registry before the import, so the order
// does not matter; all is tried, and the first failure returned.
int32_t RestorePriorState(platform::Registry& registry, const PriorState& prior) {
  int32_t first = kErrorSuccess;
  auto note = [&first](int32_t r) {
    if (first == kErrorSuccess) first = r;
  };
  for (const auto& [root, path] : prior.absent) note(DeleteTree(registry, root, path));
  for (const PriorState::Key& k : prior.trees) {
    note(DeleteTree(registry, k.root, k.path));
    note(platform::WriteKeyTree(registry, k.root, k.path, k.tree));
  }
  for (const PriorState::Key& k : prior.values) {
    // All values go and come back in their old order, which Windows lists them in.
    platform::KeyTree now;
    RegHandle key = 0;
    int32_t r = platform::ReadKey(registry, k.root, k.path, &now);
    if (r == kErrorSuccess) r = registry.OpenKeyEx(k.root, k.path, platform::kKeyAllAccess, &key);
    if (r == kErrorSuccess) {
      for (const platform::RawValue& v : now.values) note(registry.DeleteValue(key, v.name));
      registry.CloseKey(key);
    }
    if (r != kErrorFileNotFound) note(r);
    note(platform::WriteKeyTree(registry, k.root, k.path, k.tree));
  }
  return first;
}

int Import(const std::string& file, platform::Registry& registry,
           const platform::CodePage& codepage, std::ostream& err) {
  std::string text;
  if (file == "-") {
    text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
  } else {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
      err << "netvane-reg: cannot read " << file << "\n";
      return kExitUsage;
    }
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::vector<RegChange> changes;
  ParseError error;
  if (!ParseRegedit4(text, &changes, &error)) {
    err << "netvane-reg: " << file << ":" << error.line << ": " << error.message
        << "; nothing was imported\n";
    return kExitUsage;
  }
  for (const RegChange& c : changes) {
    const std::string problem = LimitProblem(c, codepage);
    if (!problem.empty()) {
      err << "netvane-reg: " << file << ":" << c.line << ": " << problem
          << "; nothing was imported\n";
      return kExitUsage;
    }
  }
  // All or nothing: where the registry has transactions (the host file), the changes go in as
  // one; elsewhere what they replace is kept, to be put back.
  int32_t r = registry.BeginBatch();
  const bool batch = r == kErrorSuccess;
  if (!batch && r != platform::kErrorNotSupported) {
    err << "netvane-reg: the registry cannot be changed now (error " << r
        << "); nothing was imported\n";
    return kExitRefused;
  }
  PriorState prior;
  r = batch ? kErrorSuccess : CapturePriorState(registry, changes, &prior);
  if (r != kErrorSuccess) {
    err << "netvane-reg: cannot read the keys " << file << " changes (error " << r
        << "); nothing was imported\n";
    return kExitRefused;
  }
  for (const RegChange& c : changes) {
    r = Apply(registry, c);
    if (r == kErrorSuccess) continue;
    err << "netvane-reg: " << file << ":" << c.line << ": the registry refused this change"
        << " (error " << r << ")";
    int32_t undo = kErrorSuccess;
    if (batch) {
      registry.RollbackBatch();
    } else {
      undo = RestorePriorState(registry, prior);
    }
    if (undo == kErrorSuccess) {
      err << "; nothing was imported\n";
    } else {
      err << "; putting back what the import had changed failed too (error " << undo
          << "), so part of it stays\n";
    }
    return kExitRefused;
  }
  r = batch ? registry.CommitBatch() : kErrorSuccess;
  if (r != kErrorSuccess) {
    err << "netvane-reg: the registry could not store the import (error " << r
        << "); nothing was imported\n";
    return kExitRefused;
  }
  return kExitDone;
}

int Export(const std::vector<std::string>& keys, platform::Registry& registry, std::ostream& out,
           std::ostream& err) {
  std::string text(kRegedit4Header);
  for (const std::string& full : keys) {
    RegHandle root = 0;
    std::string path;
    if (!SplitKeyName(full, &root, &path)) {
      err << "netvane-reg: unknown root key in " << full
          << " (expected HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER)\n";
      return kExitUsage;
    }
    if (!path.empty() && path.back() == '\\') path.pop_back();
    platform::KeyTree tree;
    const int32_t r = platform::ReadKeyTree(registry, root, path, &tree);
    if (r == kErrorFileNotFound) {
      err << "netvane-reg: key not found: " << full << "\n";
      return kExitUsage;
    }
    if (r != kErrorSuccess) {
      err << "netvane-reg: cannot read " << full << " (error " << r << ")\n";
      return kExitRefused;
    }
    path = StoredSpelling(registry, root, path);
    const std::string name = std::string(RootName(root)) + (path.empty() ? "" : "\\" + path);
    text += FormatKeyTree(name, tree);
  }
  out << text;
  return kExitDone;
}

}  // namespace

int RunNetvaneReg(const std::vector<std::string>& args, platform::Registry& registry,
                  const platform::CodePage& codepage, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    err << kUsage;
    return kExitUsage;
  }
  if (args[0] == "help" || args[0] == "--help" || args[0] == "-h") {
    out << kUsage;
    return kExitDone;
  }
  if (args[0] == "import" && args.size() == 2) return Import(args[1], registry, codepage, err);
  if (args[0] == "export" && args.size() <= 2) {
    const std::vector<std::string> keys =
        args.size() == 2 ? std::vector<std::string>{args[1]}
                         : std::vector<std::string>{"HKEY_LOCAL_MACHINE", "HKEY_CURRENT_USER"};
    return Export(keys, registry, out, err);
  }
  err << "netvane-reg: unknown command or wrong arguments\n" << kUsage;
  return kExitUsage;
}

}  // namespace netvane::tools
