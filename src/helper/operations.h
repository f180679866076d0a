// The helper's operations on the system: the interface, its routes and the resolver, nothing
// else. Which DNS servers it put into the resolver for an interface it keeps in a file of its
// own under the state folder.
#pragma once

#include <string>

#include "helper/request.h"

namespace netvane::helper {

// Set in the DHCP client's environment: the descriptor its script (this program) reports the
// lease on.
inline constexpr char kLeaseHookVariable[] = "NETVANE_HELPER_LEASE_FD";

struct Settings {
  std::string state_dir = "/run/netvane";
  // This program, run by the DHCP client as its script.
  std::string self;
};

// Carries out a checked request. A socket for the caller lands in `*fd` (else -1).
Reply Carry(const Request& request, const Settings& settings, int* fd);

// The DHCP client's script: on "bound" or "renew" writes the lease to the descriptor named by
// kLeaseHookVariable. Its exit status.
int LeaseHook(const std::string& event);

}  // namespace netvane::helper
