// Devices on the host: a device \\.\NAME is a driver stand-in listening on the Unix socket
// NAME in the device folder ($NETVANE_DEVICE_DIR, else $XDG_RUNTIME_DIR/netvane, else
// /tmp/netvane-<uid>). With no stand-in there, the device is missing, as a driver that is
// not loaded.
//
// A request is the code and the buffer size (32-bit, low byte first) and the buffer; the
// reply is the result (1 success, 0 failure), the size and the buffer as the driver leaves it.
#pragma once

#include <string>

#include "platform/device.h"

namespace netvane::platform {

class SocketDevice final : public Device {
 public:
  explicit SocketDevice(std::string directory = DefaultDirectory())
      : directory_(std::move(directory)) {}
  DeviceHandle Open(const std::string& name) override;
  bool Control(DeviceHandle device, uint32_t code, uint8_t* buffer, uint32_t size) override;
  void Close(DeviceHandle device) override;

  static std::string DefaultDirectory();
  // The socket that stands for device `name`; empty for a name that is not \\.\NAME.
  std::string SocketPath(const std::string& name) const;

 private:
  std::string directory_;
};

}  // namespace netvane::platform
