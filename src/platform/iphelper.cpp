#include "platform/iphelper.h"

#include <algorithm>
#include <cstring>

#include "platform/win_codes.h"

namespace netvane::platform {
namespace {

void PutU32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  out[at] = static_cast<uint8_t>(v);
  out[at + 1] = static_cast<uint8_t>(v >> 8);
  out[at + 2] = static_cast<uint8_t>(v >> 16);
  out[at + 3] = static_cast<uint8_t>(v >> 24);
}

}  // namespace

std::vector<uint8_t> EncodeIfTable(const std::vector<MibIfRow>& rows) {
  std::vector<uint8_t> out(4 + rows.size() * kMibIfRowSize, 0);
  PutU32(out, 0, static_cast<uint32_t>(rows.size()));
  for (size_t i = 0; i < rows.size(); ++i) {
    const MibIfRow& r = rows[i];
    const size_t base = 4 + i * kMibIfRowSize;
    namespace o = mib_ifrow;
    const size_t units = std::min<size_t>(r.name.size(), 255);
    for (size_t u = 0; u < units; ++u) {
      out[base + o::kName + 2 * u] = static_cast<uint8_t>(r.name[u]);
      out[base + o::kName + 2 * u + 1] = static_cast<uint8_t>(r.name[u] >> 8);
    }
    PutU32(out, base + o::kIndex, r.index);
    PutU32(out, base + o::kType, r.type);
    PutU32(out, base + o::kMtu, r.mtu);
    PutU32(out, base + o::kSpeed, r.speed);
    PutU32(out, base + o::kPhysAddrLen, r.phys_addr_len);
    std::copy(r.phys_addr.begin(), r.phys_addr.end(), out.begin() + base + o::kPhysAddr);
    PutU32(out, base + o::kAdminStatus, r.admin_status);
    PutU32(out, base + o::kOperStatus, r.oper_status);
    PutU32(out, base + o::kLastChange, r.last_change);
    PutU32(out, base + o::kInOctets, r.in_octets);
    PutU32(out, base + o::kInUcastPkts, r.in_ucast_pkts);
    PutU32(out, base + o::kInNUcastPkts, r.in_nucast_pkts);
    PutU32(out, base + o::kInDiscards, r.in_discards);
    PutU32(out, base + o::kInErrors, r.in_errors);
    PutU32(out, base + o::kInUnknownProtos, r.in_unknown_protos);
    PutU32(out, base + o::kOutOctets, r.out_octets);
    PutU32(out, base + o::kOutUcastPkts, r.out_ucast_pkts);
    PutU32(out, base + o::kOutNUcastPkts, r.out_nucast_pkts);
    PutU32(out, base + o::kOutDiscards, r.out_discards);
    PutU32(out, base + o::kOutErrors, r.out_errors);
    PutU32(out, base + o::kOutQLen, r.out_qlen);
    PutU32(out, base + o::kDescrLen, r.descr_len);
    const size_t n = std::min<size_t>(r.descr.size(), 256);
    std::memcpy(out.data() + base + o::kDescr, r.descr.data(), n);
  }
  return out;
}

uint32_t CopyIfTable(const std::vector<uint8_t>& encoded, uint8_t* table, uint32_t* size) {
  if (size == nullptr) return kErrorInvalidParameter;
  const auto needed = static_cast<uint32_t>(encoded.size());
  if (table == nullptr || *size < needed) {
    *size = needed;
    return kErrorInsufficientBuffer;
  }
  std::memcpy(table, encoded.data(), needed);
  *size = needed;
  return kErrorSuccess;
}

}  // namespace netvane::platform
