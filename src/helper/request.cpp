#include "helper/request.h"

#include <cstdio>
#include <cstring>

#include "platform/posix/probe_wire.h"
#include "standins/host_network.h"

namespace netvane::helper {
namespace {

// A name the kernel could give an interface: 1 to 15 printable bytes, no slash or blank.
bool PlausibleInterfaceName(const std::string& name) {
  if (name.empty() || name.size() > 15 || name == "." || name == "..") return false;
  for (const char c : name) {
    if (c <= ' ' || c > '~' || c == '/') return false;
  }
  return true;
}

// How many arguments the operation takes (a probe: at least).
size_t ArgumentsOf(Operation op) {
  switch (op) {
    case Operation::kProbe:
      return 2;
    case Operation::kSetStatic:
    case Operation::kAddGateway:
    case Operation::kAddDns:
      return 3;
    case Operation::kResponderSocket:
      return 0;
    default:
      return 1;
  }
}

Decoded Refuse(const std::string& why) { return {std::nullopt, why}; }

// NAME, "dhcp" or "nodhcp", then the gateways.
std::string CheckProbe(const std::vector<std::string>& a, Request* r) {
  if (a[1] != "dhcp" && a[1] != "nodhcp")
    return "\"" + Printable(a[1], 64) + "\" is neither dhcp nor nodhcp";
  if (a.size() - 2 > platform::probe::kMostGateways) {
    return "at most " + std::to_string(platform::probe::kMostGateways) +
           " gateways can be probed at once";
  }
  r->dhcp = a[1] == "dhcp";
  std::string why;
  r->gateways = platform::probe::CheckGateways({a.begin() + 2, a.end()}, &why);
  return why;
}

}  // namespace

std::string Printable(std::string_view text, size_t most) {
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    char piece[8];
    if (byte < 0x20 || byte >= 0x7F) {
      std::snprintf(piece, sizeof piece, "\\x%02x", byte);
    } else {
      piece[0] = c;
      piece[1] = '\0';
    }
    if (out.size() + std::strlen(piece) > most) return out + "...";
    out += piece;
  }
  return out;
}

Decoded DecodeRequest(const uint8_t* data, size_t size) {
  const std::optional<Frame> frame = SplitFrame(data, size);
  if (!frame) return Refuse("malformed request");
  if (frame->code < static_cast<uint8_t>(Operation::kSetStatic) ||
      frame->code > static_cast<uint8_t>(Operation::kProbe)) {
    return Refuse("unknown operation " + std::to_string(frame->code));
  }
  Request r;
  r.operation = static_cast<Operation>(frame->code);
  const std::vector<std::string>& a = frame->fields;
  if (a.size() != ArgumentsOf(r.operation) &&
      (r.operation != Operation::kProbe || a.size() < ArgumentsOf(r.operation))) {
    return Refuse("wrong number of arguments");
  }
  if (a.empty()) return {r, ""};
  if (!PlausibleInterfaceName(a[0]))
    return Refuse("there is no interface named \"" + Printable(a[0], 64) + "\"");
  r.interface = a[0];
  std::string why;
  switch (r.operation) {
    case Operation::kSetStatic:
      why = standins::CheckStaticAddress(a[1], a[2], &r.address, &r.prefix);
      break;
    case Operation::kAddGateway:
      why = standins::CheckGateway(a[1], &r.address);
      if (why.empty()) why = standins::CheckMetric(a[2], &r.number);
      break;
    case Operation::kAddDns:
      why = standins::CheckDnsServer(a[1], &r.address);
      if (why.empty()) why = standins::CheckDnsIndex(a[2], &r.number);
      break;
    case Operation::kProbe:
      why = CheckProbe(a, &r);
      break;
    default:
      break;
  }
  if (!why.empty()) return Refuse(why);
  return {r, ""};
}

}  // namespace netvane::helper
