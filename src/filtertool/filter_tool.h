// NVEFilter's work: switch the DHCP filter driver on or off for one adapter instance with two
// device requests on \\.\NVEFLT. Nothing is printed, written or reported.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "platform/device.h"

namespace netvane::filtertool {

inline constexpr char kDeviceName[] = "\\\\.\\NVEFLT";
inline constexpr uint32_t kQueryState = 0x80000004;
inline constexpr uint32_t kSetState = 0x80000008;
inline constexpr size_t kBlockSize = 126;
inline constexpr size_t kProtocolOffset = 0;
inline constexpr size_t kAdapterOffset = 32;
inline constexpr size_t kAdapterField = 64;
inline constexpr size_t kStateOffset = 108;

using RequestBlock = std::array<uint8_t, kBlockSize>;

// Carries out the command line (the text after the program name): "L NAME" switches the
// filter on, "U NAME" (or any other first letter) off. A line too short to hold a name
// sends nothing.
void RunFilterCommand(std::string_view command_line, platform::Device& device);

}  // namespace netvane::filtertool
