// The IP Helper interface table (GetIfTable). The table is exchanged in its Win32 byte form:
// a 32-bit row count followed by rows of 860 bytes laid out as MIB_IFROW.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace netvane::platform {

inline constexpr uint32_t kMibIfRowSize = 860;
inline constexpr uint32_t kIfTypeOther = 1;
inline constexpr uint32_t kIfTypeEthernet = 6;
inline constexpr uint32_t kIfTypePpp = 23;
inline constexpr uint32_t kIfTypeLoopback = 24;

// One MIB_IFROW. `name` is the UTF-16 interface name (wszName, 256 units); `descr` holds the
// description bytes (bDescr, up to 256) and `descr_len` their count as the system reports it,
// the terminating NUL included.
struct MibIfRow {
  std::u16string name;
  uint32_t index = 0;
  uint32_t type = 0;
  uint32_t mtu = 0;
  uint32_t speed = 0;
  uint32_t phys_addr_len = 0;
  std::array<uint8_t, 8> phys_addr{};
  uint32_t admin_status = 0;
  uint32_t oper_status = 0;
  uint32_t last_change = 0;
  uint32_t in_octets = 0;
  uint32_t in_ucast_pkts = 0;
  uint32_t in_nucast_pkts = 0;
  uint32_t in_discards = 0;
  uint32_t in_errors = 0;
  uint32_t in_unknown_protos = 0;
  uint32_t out_octets = 0;
  uint32_t out_ucast_pkts = 0;
  uint32_t out_nucast_pkts = 0;
  uint32_t out_discards = 0;
  uint32_t out_errors = 0;
  uint32_t out_qlen = 0;
  uint32_t descr_len = 0;
  std::string descr;
};

// Byte offsets of the MIB_IFROW fields.
namespace mib_ifrow {
inline constexpr uint32_t kName = 0;
inline constexpr uint32_t kIndex = 512;
inline constexpr uint32_t kType = 516;
inline constexpr uint32_t kMtu = 520;
inline constexpr uint32_t kSpeed = 524;
inline constexpr uint32_t kPhysAddrLen = 528;
inline constexpr uint32_t kPhysAddr = 532;
inline constexpr uint32_t kAdminStatus = 540;
inline constexpr uint32_t kOperStatus = 544;
inline constexpr uint32_t kLastChange = 548;
inline constexpr uint32_t kInOctets = 552;
inline constexpr uint32_t kInUcastPkts = 556;
inline constexpr uint32_t kInNUcastPkts = 560;
inline constexpr uint32_t kInDiscards = 564;
inline constexpr uint32_t kInErrors = 568;
inline constexpr uint32_t kInUnknownProtos = 572;
inline constexpr uint32_t kOutOctets = 576;
inline constexpr uint32_t kOutUcastPkts = 580;
inline constexpr uint32_t kOutNUcastPkts = 584;
inline constexpr uint32_t kOutDiscards = 588;
inline constexpr uint32_t kOutErrors = 592;
inline constexpr uint32_t kOutQLen = 596;
inline constexpr uint32_t kDescrLen = 600;
inline constexpr uint32_t kDescr = 604;
}  // namespace mib_ifrow

// Builds the MIB_IFTABLE bytes of `rows` (backends and test doubles share this).
std::vector<uint8_t> EncodeIfTable(const std::vector<MibIfRow>& rows);

// GetIfTable's buffer protocol over an encoded table: with `table` null or `*size` too small
// the needed size goes to `*size` and the result is kErrorInsufficientBuffer.
uint32_t CopyIfTable(const std::vector<uint8_t>& encoded, uint8_t* table, uint32_t* size);

class IpHelper {
 public:
  virtual ~IpHelper() = default;
  // GetIfTable: kErrorSuccess, kErrorInsufficientBuffer with the needed size, or
  // kErrorNotSupported.
  virtual uint32_t GetIfTable(uint8_t* table, uint32_t* size, bool order) = 0;
};

}  // namespace netvane::platform
