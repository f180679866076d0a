#include "filtertool/filter_tool.h"

#include <algorithm>
#include <cstring>

namespace netvane::filtertool {
namespace {

// Protocol and adapter name as every request carries them, each with its terminating NUL;
// the last byte of the name field is always 0, which cuts a longer name to 63 characters.
// The rest of both fields stays as it is (zero in the first request).
void FillNames(RequestBlock& block, std::string_view name) {
  static const char kProtocol[] = "MSTCP";
  std::memcpy(block.data() + kProtocolOffset, kProtocol, sizeof kProtocol);
  uint8_t* field = block.data() + kAdapterOffset;
  const size_t n = std::min(name.size(), kAdapterField);
  std::memcpy(field, name.data(), n);
  if (n < kAdapterField) field[n] = 0;
  field[kAdapterField - 1] = 0;
}

// One request on a device handle of its own.
bool Send(platform::Device& device, uint32_t code, RequestBlock& block) {
  const platform::DeviceHandle h = device.Open(kDeviceName);
  if (h == platform::kInvalidDevice) return false;
  const bool ok = device.Control(h, code, block.data(), static_cast<uint32_t>(block.size()));
  device.Close(h);
  return ok;
}

}  // namespace

void RunFilterCommand(std::string_view command_line, platform::Device& device) {
  if (command_line.empty()) return;
  const char letter = command_line[0];
  const bool on = letter == 'L' || letter == 'l';
  // Without a name there is no adapter to switch.
  if (command_line.size() < 3) return;
  const std::string_view name = command_line.substr(2);

  RequestBlock block{};
  FillNames(block, name);
  if (!Send(device, kQueryState, block)) return;

  // On treats any nonzero state as on; off acts only on exactly 1.
  if (on) {
    if (block[kStateOffset] != 0) return;
  } else if (block[kStateOffset] != 1) {
    return;
  }
  // The set request is the query's answer with both names written anew (byte 95, the adapter
  // field's last, back to 0), as the driver expects it.
  FillNames(block, name);
  block[kStateOffset] = on ? 1 : 0;
  Send(device, kSetState, block);
}

}  // namespace netvane::filtertool
