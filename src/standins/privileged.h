// Who makes a change: the stand-in itself as root; otherwise the privileged helper, when one
// listens. With neither, the change is tried here and the kernel's refusal is the message.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "helper/wire.h"

namespace netvane::standins {

// The helper's reply, or nullopt when the change is to be made here.
std::optional<helper::Reply> ViaHelper(helper::Operation operation,
                                       const std::vector<std::string>& args);

// Runs `here` or asks the helper; empty on success, else the message.
std::string Change(helper::Operation operation, const std::vector<std::string>& args,
                   const std::function<std::string()>& here);

}  // namespace netvane::standins
