#include "platform/posix/sysfs_iphelper.h"

#include <ifaddrs.h>
#include <net/if.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <set>
#include <string>

namespace netvane::platform {
namespace {

// MIB_IF_ADMIN_STATUS_* and MIB_IF_OPER_STATUS_* of the Windows 2000 table.
constexpr uint32_t kAdminUp = 1;
constexpr uint32_t kAdminDown = 2;
constexpr uint32_t kOperNonOperational = 0;
constexpr uint32_t kOperDisconnected = 2;
constexpr uint32_t kOperOperational = 5;

// ARPHRD_* numbers of the link types we map.
constexpr long kArpEther = 1;
constexpr long kArpPpp = 512;
constexpr long kArpLoopback = 772;

std::string ReadLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  if (in) std::getline(in, line);
  return line;
}

// A counter or number from sysfs; values that do not fit 32 bits wrap as the Windows
// counters do.
uint32_t ReadNumber(const std::string& path) {
  const std::string text = ReadLine(path);
  if (text.empty()) return 0;
  char* end = nullptr;
  const long long v = std::strtoll(text.c_str(), &end, 10);
  if (end == text.c_str() || v < 0) return 0;
  return static_cast<uint32_t>(static_cast<unsigned long long>(v) & 0xFFFFFFFFull);
}

}  // namespace

std::vector<MibIfRow> SysfsIpHelper::ReadRows() const {
  // getifaddrs names every interface, also those without an address.
  std::set<std::string> names;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) == 0) {
    for (ifaddrs* a = list; a != nullptr; a = a->ifa_next) {
      if (a->ifa_name != nullptr) names.insert(a->ifa_name);
    }
    freeifaddrs(list);
  }
  std::vector<MibIfRow> rows;
  for (const std::string& name : names) {
    const std::string dir = sysfs_root_ + "/" + name + "/";
    MibIfRow row;
    row.name = std::u16string(name.begin(), name.end());
    row.index = ReadNumber(dir + "ifindex");
    if (row.index == 0) row.index = if_nametoindex(name.c_str());
    const long arp = static_cast<long>(ReadNumber(dir + "type"));
    row.type = arp == kArpEther      ? kIfTypeEthernet
               : arp == kArpLoopback ? kIfTypeLoopback
               : arp == kArpPpp      ? kIfTypePpp
                                     : kIfTypeOther;
    row.mtu = ReadNumber(dir + "mtu");
    // sysfs gives Mbit/s, or -1 / an error when the link has no speed.
    const uint64_t mbit = ReadNumber(dir + "speed");
    row.speed = static_cast<uint32_t>(
        std::min<uint64_t>(mbit * 1000000ull, std::numeric_limits<uint32_t>::max()));
    // "aa:bb:cc:dd:ee:ff"
    const std::string address = ReadLine(dir + "address");
    uint32_t len = 0;
    for (size_t i = 0; i + 2 <= address.size() && len < row.phys_addr.size(); i += 3) {
      row.phys_addr[len++] =
          static_cast<uint8_t>(std::strtoul(address.substr(i, 2).c_str(), nullptr, 16));
    }
    row.phys_addr_len = row.type == kIfTypeLoopback ? 0 : len;
    // `flags` is hexadecimal in sysfs.
    const unsigned long f = std::strtoul(ReadLine(dir + "flags").c_str(), nullptr, 16);
    row.admin_status = (f & IFF_UP) != 0 ? kAdminUp : kAdminDown;
    const std::string oper = ReadLine(dir + "operstate");
    if (oper == "up" || (oper == "unknown" && (f & IFF_RUNNING) != 0)) {
      row.oper_status = kOperOperational;
    } else if (oper == "down" || oper == "lowerlayerdown" || oper == "dormant") {
      row.oper_status = kOperDisconnected;
    } else {
      row.oper_status = kOperNonOperational;
    }
    const std::string stats = dir + "statistics/";
    row.in_octets = ReadNumber(stats + "rx_bytes");
    row.in_ucast_pkts = ReadNumber(stats + "rx_packets");
    row.in_nucast_pkts = ReadNumber(stats + "multicast");
    row.in_discards = ReadNumber(stats + "rx_dropped");
    row.in_errors = ReadNumber(stats + "rx_errors");
    row.out_octets = ReadNumber(stats + "tx_bytes");
    row.out_ucast_pkts = ReadNumber(stats + "tx_packets");
    row.out_discards = ReadNumber(stats + "tx_dropped");
    row.out_errors = ReadNumber(stats + "tx_errors");
    row.out_qlen = ReadNumber(dir + "tx_queue_len");
    row.descr = name.substr(0, 255);
    row.descr_len = static_cast<uint32_t>(row.descr.size() + 1);
    rows.push_back(std::move(row));
  }
  std::sort(rows.begin(), rows.end(),
            [](const MibIfRow& a, const MibIfRow& b) { return a.index < b.index; });
  return rows;
}

uint32_t SysfsIpHelper::GetIfTable(uint8_t* table, uint32_t* size, bool /*order*/) {
  return CopyIfTable(EncodeIfTable(ReadRows()), table, size);
}

}  // namespace netvane::platform
