#include "store/location.h"

#include <algorithm>

namespace netvane::store {

bool CarriesTcpIp(std::string_view service_type) {
  return service_type == kUseStaticIp || service_type == kUseHanaroOutPppModem;
}

std::string AsciiUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return out;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && AsciiUpper(a) == AsciiUpper(b);
}

bool FlagFromText(std::string_view text) { return AsciiUpper(text) == "YES"; }

void ClearLocationRecord(LocationRecord& record) { record = LocationRecord{}; }

int FindLocationIndex(const LocationTable& table, int16_t id) {
  for (size_t i = 0; i < table.size(); ++i) {
    if (table[i].LocationId == id) return static_cast<int>(i);
  }
  return -1;
}

void BuildActiveLocationTable(const AdapterTable& adapters, const LocationTable& locations,
                              ActiveLocationTable& active) {
  if (adapters.empty()) return;
  active.assign(adapters.size(), ActiveLocationEntry{});
  for (size_t k = 0; k < adapters.size(); ++k) {
    active[k].AdapterIndex = static_cast<int16_t>(k);
    active[k].AdapterId = adapters[k].AdapterId;
  }
  // When several locations of one adapter are marked active, the last one wins.
  for (size_t j = 0; j < locations.size(); ++j) {
    if (!locations[j].SessionActive) continue;
    const std::string nic = AsciiUpper(locations[j].NIC_ID);
    for (ActiveLocationEntry& entry : active) {
      if (AsciiUpper(entry.AdapterId) == nic) {
        entry.ActiveLocationId = locations[j].LocationId;
        entry.ActiveLocationIndex = static_cast<int16_t>(j);
      }
    }
  }
}

int16_t HighestLocationIdOf(const LocationTable& table) {
  int16_t highest = 0;
  for (const LocationRecord& r : table) highest = std::max(highest, r.LocationId);
  return highest;
}

}  // namespace netvane::store
