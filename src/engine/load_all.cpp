#include "engine/load_all.h"

#include "engine/adapters.h"

namespace netvane::engine {

void LoadAll(AppState& state, store::RegistryAccess& registry, store::LocationStore& locations,
             CIpHelper& iphelper) {
  state.AdapterTable = LoadAdapters(state.OSKind, registry, iphelper);
  locations.LoadLocations(state.LocationTable);
  state.HighestLocationId = store::HighestLocationIdOf(state.LocationTable);
  store::BuildActiveLocationTable(state.AdapterTable, state.LocationTable,
                                  state.ActiveLocationTable);
}

}  // namespace netvane::engine
