#include "platform/win32/win32_iphelper.h"

#include "platform/win32/windows_api.h"
// After windows.h, which it relies on.
#include <iphlpapi.h>

#include <cstddef>

#include "platform/win_codes.h"

namespace netvane::platform {

// The table is handed on as the system lays it out; the offsets the engine reads it by must
// be the system's own.
static_assert(sizeof(MIB_IFROW) == kMibIfRowSize);
static_assert(offsetof(MIB_IFTABLE, table) == 4);
static_assert(offsetof(MIB_IFROW, wszName) == mib_ifrow::kName);
static_assert(offsetof(MIB_IFROW, dwIndex) == mib_ifrow::kIndex);
static_assert(offsetof(MIB_IFROW, dwType) == mib_ifrow::kType);
static_assert(offsetof(MIB_IFROW, dwMtu) == mib_ifrow::kMtu);
static_assert(offsetof(MIB_IFROW, dwSpeed) == mib_ifrow::kSpeed);
static_assert(offsetof(MIB_IFROW, dwPhysAddrLen) == mib_ifrow::kPhysAddrLen);
static_assert(offsetof(MIB_IFROW, bPhysAddr) == mib_ifrow::kPhysAddr);
static_assert(offsetof(MIB_IFROW, dwAdminStatus) == mib_ifrow::kAdminStatus);
static_assert(offsetof(MIB_IFROW, dwOperStatus) == mib_ifrow::kOperStatus);
static_assert(offsetof(MIB_IFROW, dwLastChange) == mib_ifrow::kLastChange);
static_assert(offsetof(MIB_IFROW, dwInOctets) == mib_ifrow::kInOctets);
static_assert(offsetof(MIB_IFROW, dwInUcastPkts) == mib_ifrow::kInUcastPkts);
static_assert(offsetof(MIB_IFROW, dwInNUcastPkts) == mib_ifrow::kInNUcastPkts);
static_assert(offsetof(MIB_IFROW, dwInDiscards) == mib_ifrow::kInDiscards);
static_assert(offsetof(MIB_IFROW, dwInErrors) == mib_ifrow::kInErrors);
static_assert(offsetof(MIB_IFROW, dwInUnknownProtos) == mib_ifrow::kInUnknownProtos);
static_assert(offsetof(MIB_IFROW, dwOutOctets) == mib_ifrow::kOutOctets);
static_assert(offsetof(MIB_IFROW, dwOutUcastPkts) == mib_ifrow::kOutUcastPkts);
static_assert(offsetof(MIB_IFROW, dwOutNUcastPkts) == mib_ifrow::kOutNUcastPkts);
static_assert(offsetof(MIB_IFROW, dwOutDiscards) == mib_ifrow::kOutDiscards);
static_assert(offsetof(MIB_IFROW, dwOutErrors) == mib_ifrow::kOutErrors);
static_assert(offsetof(MIB_IFROW, dwOutQLen) == mib_ifrow::kOutQLen);
static_assert(offsetof(MIB_IFROW, dwDescrLen) == mib_ifrow::kDescrLen);
static_assert(offsetof(MIB_IFROW, bDescr) == mib_ifrow::kDescr);

uint32_t Win32IpHelper::GetIfTable(uint8_t* table, uint32_t* size, bool order) {
  if (size == nullptr) return kErrorInvalidParameter;
  ULONG in_out = *size;
  const DWORD r =
      ::GetIfTable(reinterpret_cast<PMIB_IFTABLE>(table), &in_out, order ? TRUE : FALSE);
  *size = in_out;
  return r;
}

}  // namespace netvane::platform
