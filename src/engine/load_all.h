// Loading adapters and locations into the application state, at start-up and after every
// change of the location list.
#pragma once

#include "engine/app_state.h"
#include "engine/ip_helper.h"
#include "store/location_store.h"
#include "store/registry_access.h"

namespace netvane::engine {

// Adapters, locations, the highest location id and the active-location table, each replaced
// as a whole.
void LoadAll(AppState& state, store::RegistryAccess& registry, store::LocationStore& locations,
             CIpHelper& iphelper);

}  // namespace netvane::engine
