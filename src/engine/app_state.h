// The program-wide state: one object owned by the program and passed by reference.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/address.h"

#include "engine/windows_family.h"
#include "store/location.h"
#include "store/settings.h"

namespace netvane::engine {

// What a static apply on Windows 98, ME and NT 4 hands the local DHCP responder.
struct ResponderConfig {
  std::array<std::string, 4> address;  // the location's address octets as decimal texts
  std::array<std::string, 4> mask;
  int gateway_count = -1;  // -1: none
  std::vector<Octets> gateways;
  int dns_count = -1;
  std::vector<Octets> dns;
  // 255, then the location's Lease stamp from the most to the least significant byte.
  std::array<uint8_t, 4> lease{};
};

struct AppState {
  int32_t OSKind = kOsUnknown;
  store::Settings settings;
  bool UpdateDue = false;

  // Installed adapters; every entry is complete, so the count is the table's size.
  store::AdapterTable AdapterTable;
  store::LocationTable LocationTable;
  int16_t HighestLocationId = 0;
  store::ActiveLocationTable ActiveLocationTable;

  ResponderConfig Responder;

  // Proxy and printer chosen in the dialogs for the location being created.
  bool PendingProxySet = false;
  store::ProxySettings PendingProxy;
  bool PendingPrinterSet = false;
  std::string PendingPrinterName;

  int16_t AdapterCount() const { return static_cast<int16_t>(AdapterTable.size()); }
  int16_t LocationCount() const { return static_cast<int16_t>(LocationTable.size()); }
};

}  // namespace netvane::engine
