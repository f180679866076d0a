// Device control requests to a driver's device through CreateFileA and DeviceIoControl.
#pragma once

#include "platform/device.h"
#include "platform/win32/win32_codepage.h"

namespace netvane::platform {

class Win32Device final : public Device {
 public:
  DeviceHandle Open(const std::string& name) override;
  bool Control(DeviceHandle device, uint32_t code, uint8_t* buffer, uint32_t size) override;
  void Close(DeviceHandle device) override;

 private:
  Win32CodePage codepage_;
};

}  // namespace netvane::platform
