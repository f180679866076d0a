// libFuzzer over the helper's request decoder: any bytes a caller sends are either refused
// with a message or give a request whose arguments keep the stand-ins' rules.
#include <cstddef>
#include <cstdint>

#include "helper/request.h"
#include "standins/host_network.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using netvane::helper::Operation;
  const netvane::helper::Decoded d = netvane::helper::DecodeRequest(data, size);
  if (!d.request) {
    if (d.refusal.empty()) __builtin_trap();
    return 0;
  }
  const netvane::helper::Request& r = *d.request;
  if (r.interface.size() > 15 || r.interface.find('/') != std::string::npos) __builtin_trap();
  if (r.operation == Operation::kSetStatic &&
      (r.prefix < 1 || r.prefix > 32 ||
       !netvane::standins::NotAHostAddress(r.address, r.prefix).empty()))
    __builtin_trap();
  if (r.operation == Operation::kAddGateway && r.number > 9999) __builtin_trap();
  if (r.operation == Operation::kAddDns && (r.number < 1 || r.number > 9999)) __builtin_trap();
  // A probe names at most 16 gateways, each once and each an address a host can have.
  if (r.gateways.size() > 16 || (r.operation != Operation::kProbe && !r.gateways.empty()))
    __builtin_trap();
  for (size_t i = 0; i < r.gateways.size(); ++i) {
    if (!netvane::standins::NotAHostAddress(r.gateways[i]).empty()) __builtin_trap();
    for (size_t j = 0; j < i; ++j) {
      if (r.gateways[j] == r.gateways[i]) __builtin_trap();
    }
  }
  return 0;
}
