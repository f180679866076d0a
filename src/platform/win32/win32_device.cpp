#include "platform/win32/win32_device.h"

#include "platform/win32/windows_api.h"

namespace netvane::platform {
namespace {

// INVALID_HANDLE_VALUE and kInvalidDevice are both -1, so handles pass through unchanged.
static_assert(kInvalidDevice == -1);

HANDLE ToHandle(DeviceHandle device) { return reinterpret_cast<HANDLE>(device); }

}  // namespace

DeviceHandle Win32Device::Open(const std::string& name) {
  // Exclusive access with CREATE_NEW: the way the filter driver's device has always been
  // opened, kept so that a driver checking it sees nothing new.
  HANDLE h = CreateFileA(codepage_.ToAnsi(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                         CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return kInvalidDevice;
  return reinterpret_cast<DeviceHandle>(h);
}

bool Win32Device::Control(DeviceHandle device, uint32_t code, uint8_t* buffer, uint32_t size) {
  if (device == kInvalidDevice) return false;
  DWORD returned = 0;
  const BOOL ok =
      DeviceIoControl(ToHandle(device), code, buffer, size, buffer, size, &returned, nullptr);
  return ok != 0;
}

void Win32Device::Close(DeviceHandle device) {
  if (device != kInvalidDevice) CloseHandle(ToHandle(device));
}

}  // namespace netvane::platform
