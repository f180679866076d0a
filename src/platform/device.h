// Device control requests to a driver's device (CreateFileA, DeviceIoControl, CloseHandle).
#pragma once

#include <cstdint>
#include <string>

namespace netvane::platform {

using DeviceHandle = std::intptr_t;
inline constexpr DeviceHandle kInvalidDevice = -1;

class Device {
 public:
  virtual ~Device() = default;
  // Opens the device `name` (such as \\.\NVEFLT) for reading and writing, not shared;
  // kInvalidDevice when it cannot be opened.
  virtual DeviceHandle Open(const std::string& name) = 0;
  // Sends request `code` with `buffer` as input; the driver's output replaces it. True when
  // the request succeeded.
  virtual bool Control(DeviceHandle device, uint32_t code, uint8_t* buffer, uint32_t size) = 0;
  virtual void Close(DeviceHandle device) = 0;
};

}  // namespace netvane::platform
