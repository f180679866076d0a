// The helper's operations on the system: the interface, its routes and the resolver, nothing
// else. Which DNS servers it put into the resolver for an interface it keeps in a file of its
// own under the state folder.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "helper/request.h"
#include "standins/loopback_dhcp.h"

namespace netvane::helper {

struct Settings {
  std::string state_dir = "/run/netvane";
  // This program, run by the DHCP client as its script.
  std::string self;
  // Interfaces the administrator lets members change beside those backed by a device.
  std::vector<std::string> interfaces;
  // A DHCP client still running after this long is ended.
  int dhcp_deadline_s = standins::kDhcpDeadlineSeconds;
};

// Carries out a checked request. `caller_waits` tells whether the caller still waits for the
// reply: a renew gives up when it no longer does. A socket for the caller lands in `*fd`
// (else -1).
Reply Carry(const Request& request, const Settings& settings,
            const std::function<bool()>& caller_waits, int* fd);

// The DHCP client's script: on "bound" or "renew" reports the lease to the helper that ran the
// client (standins::ReportToDhcpCaller). Its exit status.
int LeaseHook(const std::string& event);

}  // namespace netvane::helper
