#include "engine/location_tree.h"

#include <map>

#include "store/location_store.h"

namespace netvane::engine {

std::string CaptionSuffix(const store::LocationRecord& l) {
  const std::string& kind = l.ServiceType;
  if (kind == store::kUseDhcp) return " (Use Dynamic IP Address)";
  if (kind == store::kUseStaticIp) return " (IP address : " + l.IPAddress + ")";
  if (kind == store::kUseCableModem) return " (Cable Modem user)";
  if (kind == store::kUseKtAdsl || kind == store::kUseHanaroInModem ||
      kind == store::kUseHanaroUsbModem || kind == store::kUseHanaroOutPppModem ||
      kind == store::kUseHanaroOutRasModem) {
    return " (ADSL user)";
  }
  return std::string();
}

std::vector<TreeNode> BuildLocationTree(const store::LocationTable& locations,
                                        const store::ActiveLocationTable& active) {
  std::vector<TreeNode> nodes;
  nodes.push_back({"R_", " Adapter", kImageRoot, ""});
  // Node keys compare without regard to case, as adapter identifiers do; a location joins the
  // adapter node as it was first added.
  std::map<std::string, std::string> adapter_nodes;
  for (size_t i = 0; i < locations.size(); ++i) {
    const store::LocationRecord& l = locations[i];
    const std::string adapter_key = "N_" + l.NIC_ID;
    const auto [node, added] = adapter_nodes.emplace(store::AsciiUpper(adapter_key), adapter_key);
    if (added) {
      nodes.push_back(
          {adapter_key, "[" + std::to_string(i) + "] " + l.NIC_NAME, kImageAdapter, "R_"});
    }
    bool is_active = false;
    for (const store::ActiveLocationEntry& e : active) {
      if (store::EqualsIgnoreCase(e.AdapterId, l.NIC_ID) && e.ActiveLocationId == l.LocationId) {
        is_active = true;
        break;
      }
    }
    nodes.push_back({"S_" + std::to_string(l.LocationId), l.SessionName + CaptionSuffix(l),
                     is_active ? kImageActiveLocation : kImageLocation, node->second});
  }
  return nodes;
}

bool LocationIdFromKey(const std::string& key, int16_t* id) {
  if (key.size() < 3 || key.compare(0, 2, "S_") != 0) return false;
  return store::ParseLocationKeyName(std::string_view(key).substr(2), id);
}

}  // namespace netvane::engine
