#include "standins/privileged.h"

#include <unistd.h>

namespace netvane::standins {

std::optional<helper::Reply> ViaHelper(helper::Operation operation,
                                       const std::vector<std::string>& args) {
  if (geteuid() == 0) return std::nullopt;
  return helper::CallHelper(helper::EncodeRequest(operation, args));
}

std::string Change(helper::Operation operation, const std::vector<std::string>& args,
                   const std::function<std::string()>& here) {
  const std::optional<helper::Reply> reply = ViaHelper(operation, args);
  if (!reply) return here();
  return reply->status == helper::Status::kDone ? "" : reply->message;
}

}  // namespace netvane::standins
