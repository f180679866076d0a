#include "platform/posix/socket_device.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/bytes.h"

namespace netvane::platform {
namespace {

bool WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool ReadAll(int fd, uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::recv(fd, data, size, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::string SocketDevice::DefaultDirectory() {
  if (const char* dir = std::getenv("NETVANE_DEVICE_DIR"); dir != nullptr && *dir != '\0') {
    return dir;
  }
  if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run != nullptr && run[0] == '/') {
    return std::string(run) + "/netvane";
  }
  return "/tmp/netvane-" + std::to_string(getuid());
}

std::string SocketDevice::SocketPath(const std::string& name) const {
  const std::string prefix = "\\\\.\\";
  if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return {};
  const std::string device = name.substr(prefix.size());
  if (device.find('/') != std::string::npos) return {};
  return directory_ + "/" + device;
}

DeviceHandle SocketDevice::Open(const std::string& name) {
  const std::string path = SocketPath(name);
  sockaddr_un addr{};
  if (path.empty() || path.size() >= sizeof addr.sun_path) return kInvalidDevice;
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return kInvalidDevice;
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return kInvalidDevice;
  }
  return fd;
}

bool SocketDevice::Control(DeviceHandle device, uint32_t code, uint8_t* buffer, uint32_t size) {
  if (device == kInvalidDevice) return false;
  const int fd = static_cast<int>(device);
  std::vector<uint8_t> request(8 + size);
  PutLe32(request.data(), code);
  PutLe32(request.data() + 4, size);
  if (size > 0) std::memcpy(request.data() + 8, buffer, size);
  uint8_t header[8];
  if (!WriteAll(fd, request.data(), request.size()) || !ReadAll(fd, header, sizeof header)) {
    return false;
  }
  if (GetLe32(header + 4) != size) return false;
  std::vector<uint8_t> reply(size);
  if (!ReadAll(fd, reply.data(), size)) return false;
  if (size > 0) std::memcpy(buffer, reply.data(), size);
  return GetLe32(header) != 0;
}

void SocketDevice::Close(DeviceHandle device) {
  if (device != kInvalidDevice) ::close(static_cast<int>(device));
}

}  // namespace netvane::platform
