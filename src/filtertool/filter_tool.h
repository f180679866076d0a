// NVEFilter's work: switch the DHCP filter driver on or off for one adapter instance with two
// device requests on \\.\NVEFLT. Nothing is printed, written or reported.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "platform/device.h"
#include "platform/filter_driver.h"

namespace netvane::filtertool {

using platform::filter_driver::kAdapterField;
using platform::filter_driver::kAdapterOffset;
using platform::filter_driver::kBlockSize;
using platform::filter_driver::kDeviceName;
using platform::filter_driver::kProtocolOffset;
using platform::filter_driver::kQueryState;
using platform::filter_driver::kSetState;
using platform::filter_driver::kStateOffset;

using RequestBlock = std::array<uint8_t, kBlockSize>;

// Carries out the command line (the text after the program name): "L NAME" switches the
// filter on, "U NAME" (or any other first letter) off. A line too short to hold a name
// sends nothing.
void RunFilterCommand(std::string_view command_line, platform::Device& device);

}  // namespace netvane::filtertool
