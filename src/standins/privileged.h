// Who makes a change: the stand-in itself as root; otherwise the privileged helper, when one
// listens. With neither, the change is tried here and the kernel's refusal is the message.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/helper_wire.h"
#include "standins/system_record.h"

namespace netvane::standins {

// The helper's reply, or nullopt when the change is to be made here.
std::optional<helper::Reply> ViaHelper(helper::Operation operation,
                                       const std::vector<std::string>& args);

// When this process may not change the network and the helper cannot do it for it (as the
// last ViaHelper found): one line that says why and what to do. Empty when the change may be
// tried here.
std::string WithoutPrivileges();

// Runs `here` or asks the helper; empty on success, else the message.
std::string Change(helper::Operation operation, const std::vector<std::string>& args,
                   const std::function<std::string()>& here);

// A lease as the helper's reply carries it: address, mask, routers, DNS servers (lists
// separated by blanks), server, seconds. LeaseOfFields reads them back; nullopt when they are
// not a lease.
std::vector<std::string> LeaseFields(const Lease& lease);
std::optional<Lease> LeaseOfFields(const std::vector<std::string>& fields);

}  // namespace netvane::standins
