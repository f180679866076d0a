// The DHCP filter driver's device and the layout of its requests, shared by the tool that
// sends them and the host's own driver that answers them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace netvane::platform::filter_driver {

inline constexpr char kDeviceName[] = "\\\\.\\NVEFLT";
inline constexpr uint32_t kQueryState = 0x80000004;
inline constexpr uint32_t kSetState = 0x80000008;
// Request block: protocol name at 0, adapter name field of 64 bytes at 32, state at 108.
inline constexpr size_t kBlockSize = 126;
inline constexpr size_t kProtocolOffset = 0;
inline constexpr size_t kAdapterOffset = 32;
inline constexpr size_t kAdapterField = 64;
inline constexpr size_t kStateOffset = 108;

}  // namespace netvane::platform::filter_driver
