#include "scripted_endpoint.h"

#include "platform/platform_error.h"
#include "platform/win_codes.h"

namespace netvane::testing {

void ScriptedEndpoint::Bind() {
  if (bind_error != 0) throw platform::PlatformError(bind_error, "Address in use", "Winsock");
  open = true;
}

uint32_t ScriptedEndpoint::BytesWaiting() {
  return inbox.empty() ? 0 : static_cast<uint32_t>(inbox.front().size());
}

std::vector<uint8_t> ScriptedEndpoint::GetData() {
  if (inbox.empty()) return {};
  std::vector<uint8_t> datagram = std::move(inbox.front());
  inbox.pop_front();
  return datagram;
}

void ScriptedEndpoint::SendData(const std::vector<uint8_t>& datagram) {
  if (!open) throw platform::PlatformError(platform::kSocketWrongState, "Wrong state", "Winsock");
  sent.push_back(datagram);
}

}  // namespace netvane::testing
