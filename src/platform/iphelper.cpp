#include "platform/iphelper.h"

#include <algorithm>
#include <cstring>

#include "platform/bytes.h"
#include "platform/win_codes.h"

namespace netvane::platform {

std::vector<uint8_t> EncodeIfTable(const std::vector<MibIfRow>& rows) {
  std::vector<uint8_t> out(4 + rows.size() * kMibIfRowSize, 0);
  PutLe32(out.data(), static_cast<uint32_t>(rows.size()));
  for (size_t i = 0; i < rows.size(); ++i) {
    const MibIfRow& r = rows[i];
    uint8_t* const row = out.data() + 4 + i * kMibIfRowSize;
    namespace o = mib_ifrow;
    const size_t units = std::min<size_t>(r.name.size(), 255);
    for (size_t u = 0; u < units; ++u) PutLe16(row + o::kName + 2 * u, r.name[u]);
    PutLe32(row + o::kIndex, r.index);
    PutLe32(row + o::kType, r.type);
    PutLe32(row + o::kMtu, r.mtu);
    PutLe32(row + o::kSpeed, r.speed);
    PutLe32(row + o::kPhysAddrLen, r.phys_addr_len);
    std::copy(r.phys_addr.begin(), r.phys_addr.end(), row + o::kPhysAddr);
    PutLe32(row + o::kAdminStatus, r.admin_status);
    PutLe32(row + o::kOperStatus, r.oper_status);
    PutLe32(row + o::kLastChange, r.last_change);
    PutLe32(row + o::kInOctets, r.in_octets);
    PutLe32(row + o::kInUcastPkts, r.in_ucast_pkts);
    PutLe32(row + o::kInNUcastPkts, r.in_nucast_pkts);
    PutLe32(row + o::kInDiscards, r.in_discards);
    PutLe32(row + o::kInErrors, r.in_errors);
    PutLe32(row + o::kInUnknownProtos, r.in_unknown_protos);
    PutLe32(row + o::kOutOctets, r.out_octets);
    PutLe32(row + o::kOutUcastPkts, r.out_ucast_pkts);
    PutLe32(row + o::kOutNUcastPkts, r.out_nucast_pkts);
    PutLe32(row + o::kOutDiscards, r.out_discards);
    PutLe32(row + o::kOutErrors, r.out_errors);
    PutLe32(row + o::kOutQLen, r.out_qlen);
    PutLe32(row + o::kDescrLen, r.descr_len);
    const size_t n = std::min<size_t>(r.descr.size(), 256);
    std::copy_n(r.descr.begin(), n, row + o::kDescr);
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
