// What the system-tool stand-ins need of the Linux network: the state of an interface, the
// changes they make to it (through rtnetlink) and the addresses in
// dotted form.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/ipv4.h"

namespace netvane::standins {

struct Gateway {
  std::string address;
  uint32_t metric = 0;
};

struct InterfaceState {
  bool exists = false;
  std::array<uint8_t, 6> mac{};
  // IPv4 addresses with their masks, as dotted quads, in the order the kernel lists them.
  std::vector<std::pair<std::string, std::string>> addresses;
  // Default routes through the interface, lowest metric first.
  std::vector<Gateway> gateways;
};

using platform::FormatIpv4;
using platform::ParseIpv4;
// The dotted quads of a list separated by blanks or commas; other words are skipped.
std::vector<uint32_t> ParseIpv4List(const std::string& text);
// Prefix length of a contiguous mask, or nullopt.
std::optional<int> MaskPrefix(uint32_t mask);
// A whole number in [min, max] (up to ten decimal digits, nothing else).
std::optional<long> ParseNumber(const std::string& text, long min, long max);

using platform::NotAHostAddress;
// NotAHostAddress, and also the network's own address or its broadcast address under `prefix`.
std::string NotAHostAddress(uint32_t address, int prefix);
// Why `address` cannot be a DNS server; empty when it can (a loopback resolver can).
std::string NotADnsServer(uint32_t address);

// The checks of netsh's arguments, shared with the privileged helper: each gives the message
// for a bad argument (empty when it is good) and stores the value it read.
std::string CheckStaticAddress(const std::string& address, const std::string& mask, uint32_t* value,
                               int* prefix);
std::string CheckGateway(const std::string& text, uint32_t* value);
std::string CheckMetric(const std::string& text, uint32_t* value);
std::string CheckDnsServer(const std::string& text, uint32_t* value);
std::string CheckDnsIndex(const std::string& text, uint32_t* value);

// True when `name` names an existing network interface.
bool InterfaceExists(const std::string& name);
InterfaceState ReadInterface(const std::string& name);

// RunProgram's result for a program ended because `keep_waiting` said so.
inline constexpr int kProgramEnded = -2;

// Runs a program (a path, or a name found on PATH) with exactly these arguments and waits for
// it. Its standard output is discarded; its standard error goes to ours unless `quiet`. The
// result is its exit status, or -1 when it could not be started or did not exit. While it
// runs, `keep_waiting` (when given) is asked every 100 ms; once it says no, the program is
// ended (SIGTERM, a second later SIGKILL) and the result is kProgramEnded.
int RunProgram(const std::vector<std::string>& argv, bool quiet = false,
               const std::function<bool()>& keep_waiting = nullptr);

// Changes through rtnetlink; each returns an empty string on success, else what went wrong.
std::string FlushAddresses(const std::string& name);
// Replaces the interface's addresses by this one; when the kernel refuses part of it, the
// addresses and gateways the interface had are put back.
std::string SetAddress(const std::string& name, uint32_t address, int prefix);
// Runs `change` on the interface and, when it fails, puts back the addresses and gateways the
// interface had before, so that a refused change never leaves it without an address.
std::string ChangeOrRestore(const std::string& name, const std::function<std::string()>& change);
std::string DeleteDefaultRoutes(const std::string& name);
std::string AddDefaultRoute(const std::string& name, const std::string& gateway, uint32_t metric);

}  // namespace netvane::standins
