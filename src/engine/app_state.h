// The program-wide state: one object owned by the program and passed by reference.
#pragma once

#include <cstdint>
#include <string>

#include "engine/windows_family.h"
#include "store/location.h"
#include "store/settings.h"

namespace netvane::engine {

struct AppState {
  int32_t OSKind = kOsUnknown;
  store::Settings settings;
  bool UpdateDue = false;

  // Installed adapters; every entry is complete, so the count is the table's size.
  store::AdapterTable AdapterTable;
  store::LocationTable LocationTable;
  int16_t HighestLocationId = 0;
  store::ActiveLocationTable ActiveLocationTable;

  // Proxy and printer chosen in the dialogs for the location being created.
  bool PendingProxySet = false;
  store::ProxySettings PendingProxy;
  bool PendingPrinterSet = false;
  std::string PendingPrinterName;

  int16_t AdapterCount() const { return static_cast<int16_t>(AdapterTable.size()); }
  int16_t LocationCount() const { return static_cast<int16_t>(LocationTable.size()); }
};

}  // namespace netvane::engine
