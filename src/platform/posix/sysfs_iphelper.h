// The host's interface table, read from getifaddrs and /sys/class/net.
#pragma once

#include <string>
#include <vector>

#include "platform/iphelper.h"

namespace netvane::platform {

class SysfsIpHelper final : public IpHelper {
 public:
  explicit SysfsIpHelper(std::string sysfs_root = "/sys/class/net")
      : sysfs_root_(std::move(sysfs_root)) {}
  uint32_t GetIfTable(uint8_t* table, uint32_t* size, bool order) override;
  // The rows as the table reports them, in interface index order.
  std::vector<MibIfRow> ReadRows() const;

 private:
  std::string sysfs_root_;
};

}  // namespace netvane::platform
