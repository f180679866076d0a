// The system's interface table from iphlpapi.
#pragma once

#include "platform/iphelper.h"

namespace netvane::platform {

class Win32IpHelper final : public IpHelper {
 public:
  uint32_t GetIfTable(uint8_t* table, uint32_t* size, bool order) override;
};

}  // namespace netvane::platform
