// What the helper accepts: a request read from the bytes of one packet, every argument checked
// by the stand-ins' own rules before anything runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/posix/helper_wire.h"

namespace netvane::helper {

struct Request {
  Operation operation = Operation::kResponderSocket;
  std::string interface;
  uint32_t address = 0;  // the static address, gateway or DNS server (host order)
  int prefix = 0;        // of a static address
  uint32_t number = 0;   // a gateway's metric, a DNS server's index (from 1)
  // A probe's: whether to ask a DHCP server, and the gateways (duplicates folded).
  bool dhcp = false;
  std::vector<uint32_t> gateways;
};

// The request, or why it is refused. A pure function of the bytes: whether the interface
// exists is the operation's own check.
struct Decoded {
  std::optional<Request> request;
  std::string refusal;
};
Decoded DecodeRequest(const uint8_t* data, size_t size);

// A caller's text as it may go into a message or a log line: bytes outside printable ASCII
// as \xNN, and cut to at most `most` characters (with "..." at the end).
std::string Printable(std::string_view text, size_t most);

}  // namespace netvane::helper
