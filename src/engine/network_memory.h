// Remembering, under a location's key, the network it was applied on: once the apply has
// ended well (the success message; for a DHCP location, a bound lease), what the adapter then
// holds and who answers for its gateway.
#pragma once

#include <cstdint>
#include <optional>

#include "engine/app_state.h"
#include "platform/platform.h"
#include "store/location_store.h"
#include "store/registry_access.h"

namespace netvane::engine {

// How long a DHCP location's renew is waited for, counted in Tick calls.
inline constexpr int kRenewTicks = 120;

class NetworkMemory {
 public:
  NetworkMemory(platform::Platform& platform, store::RegistryAccess& registry,
                store::LocationStore& locations, AppState& state)
      : platform_(platform), registry_(registry), locations_(locations), state_(state) {}

  // After an apply that ended well: a static location is recorded at once; a DHCP location
  // once `renew` (its renew's process, 0 for none) has ended with a lease.
  void AfterApply(int16_t location_id, uint32_t renew);
  // Looks at an awaited renew; true while one is still awaited.
  bool Tick();
  bool Waiting() const { return waiting_.has_value(); }

  // The network the adapter of the location now holds: its address and gateway as the system
  // records them (the lease's for a DHCP location), the gateway's hardware address from an ARP
  // probe (the neighbour table where no probe can be sent). Nothing when any of them is missing.
  std::optional<store::NetworkPrint> Observe(const store::LocationRecord& location);
  // Observes and stores; false when nothing could be recorded.
  bool Remember(int16_t location_id);

 private:
  struct Awaited {
    int16_t location_id = -1;
    uint32_t renew = 0;
    int ticks_left = kRenewTicks;
  };

  platform::Platform& platform_;
  store::RegistryAccess& registry_;
  store::LocationStore& locations_;
  AppState& state_;
  std::optional<Awaited> waiting_;
};

}  // namespace netvane::engine
