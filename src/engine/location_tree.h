// The contents of the location tree: a root, one node per adapter named by the stored
// locations, and one node per location under its adapter.
#pragma once

#include <string>
#include <vector>

#include "store/location.h"

namespace netvane::engine {

inline constexpr int kImageRoot = 1;
inline constexpr int kImageAdapter = 2;
inline constexpr int kImageLocation = 4;
inline constexpr int kImageActiveLocation = 5;

struct TreeNode {
  std::string key;  // "R_", "N_" + NIC_ID, "S_" + LocationId
  std::string text;
  int image = 0;
  std::string parent;  // key of the parent node; empty for the root
};

// The caption suffix of a location's connection kind; empty for an unknown kind.
std::string CaptionSuffix(const store::LocationRecord& location);

// The nodes in the order they are added to the tree. The active table must have been built
// from the same locations.
std::vector<TreeNode> BuildLocationTree(const store::LocationTable& locations,
                                        const store::ActiveLocationTable& active);

// The location id of a node key "S_<id>"; false for the root, adapters and anything else.
bool LocationIdFromKey(const std::string& key, int16_t* id);

}  // namespace netvane::engine
