#include "standins/privileged.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace netvane::standins {

namespace {

// What the last ViaHelper found when it reached no helper.
helper::Unreachable unreachable = helper::Unreachable::kOther;

// Whether this process holds the capability to change interfaces and routes itself.
bool MayAdministerNetwork() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("CapEff:", 0) != 0) continue;
    constexpr unsigned kNetAdmin = 12;
    return ((std::strtoull(line.c_str() + 7, nullptr, 16) >> kNetAdmin) & 1) != 0;
  }
  return false;
}

}  // namespace

std::optional<helper::Reply> ViaHelper(helper::Operation operation,
                                       const std::vector<std::string>& args) {
  if (geteuid() == 0) return std::nullopt;
  return helper::CallHelper(helper::EncodeRequest(operation, args), nullptr, &unreachable);
}

std::string WithoutPrivileges() {
  if (geteuid() == 0 || MayAdministerNetwork()) return "";
  return helper::NoHelperMessage("changing the network", unreachable) + " Nothing was changed.";
}

std::string Change(helper::Operation operation, const std::vector<std::string>& args,
                   const std::function<std::string()>& here) {
  const std::optional<helper::Reply> reply = ViaHelper(operation, args);
  if (reply) return reply->status == helper::Status::kDone ? "" : reply->message;
  if (const std::string why = WithoutPrivileges(); !why.empty()) return why;
  return here();
}

namespace {

std::string JoinedAddresses(const std::vector<uint32_t>& list) {
  std::string text;
  for (const uint32_t a : list) text += (text.empty() ? "" : " ") + FormatIpv4(a);
  return text;
}

bool SplitAddresses(const std::string& text, std::vector<uint32_t>* list) {
  std::istringstream in(text);
  for (std::string word; in >> word;) {
    const std::optional<uint32_t> a = ParseIpv4(word);
    if (!a) return false;
    list->push_back(*a);
  }
  return true;
}

}  // namespace

std::vector<std::string> LeaseFields(const Lease& lease) {
  return {FormatIpv4(lease.address),  FormatIpv4(lease.mask),   JoinedAddresses(lease.routers),
          JoinedAddresses(lease.dns), FormatIpv4(lease.server), std::to_string(lease.seconds)};
}

std::optional<Lease> LeaseOfFields(const std::vector<std::string>& fields) {
  if (fields.size() != 6) return std::nullopt;
  Lease lease;
  const std::optional<uint32_t> address = ParseIpv4(fields[0]);
  const std::optional<uint32_t> mask = ParseIpv4(fields[1]);
  const std::optional<uint32_t> server = ParseIpv4(fields[4]);
  const std::optional<long> seconds = ParseNumber(fields[5], 0, 0xFFFFFFFFL);
  if (!address || !mask || !server || !seconds || !SplitAddresses(fields[2], &lease.routers) ||
      !SplitAddresses(fields[3], &lease.dns)) {
    return std::nullopt;
  }
  lease.address = *address;
  lease.mask = *mask;
  lease.server = *server;
  lease.seconds = static_cast<uint32_t>(*seconds);
  return lease;
}

}  // namespace netvane::standins
