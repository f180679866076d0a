#include "platform/posix/posix_udp.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/platform_error.h"
#include "platform/posix/helper_wire.h"
#include "platform/win_codes.h"

namespace netvane::platform {
namespace {

constexpr char kSource[] = "Winsock";
constexpr uint16_t kResponderPort = 67;

// The socket control's numbers and texts for what can go wrong.
[[noreturn]] void Raise(int err) {
  switch (err) {
    case EADDRINUSE:
      throw PlatformError(kWsaAddressInUse, "Address in use", kSource);
    case EACCES:
    case EPERM:
      throw PlatformError(kWsaAccessDenied, "Permission denied", kSource);
    case EADDRNOTAVAIL:
      throw PlatformError(kWsaAddressNotAvailable, "Address not available from the local machine",
                          kSource);
    case ENETUNREACH:
      throw PlatformError(kWsaNetworkUnreachable, "Network is unreachable", kSource);
    case EMSGSIZE:
      throw PlatformError(kWsaMessageTooLong,
                          "Datagram too large to fit into buffer and is truncated", kSource);
    default:
      throw PlatformError(kWsaBase + err, std::strerror(err), kSource);
  }
}

// The local DHCP responder's port from the privileged helper, for a caller that may not bind
// it: the socket, or -1 with the error number to raise.
int ResponderSocketFromHelper(int* err) {
  int fd = -1;
  const std::optional<helper::Reply> reply =
      helper::CallHelper(helper::EncodeRequest(helper::Operation::kResponderSocket, {}), &fd);
  if (!reply) return -1;
  if (fd < 0 && reply->status == helper::Status::kFailed && reply->fields.size() == 1) {
    *err = std::atoi(reply->fields[0].c_str());
  }
  if (fd >= 0) fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  return fd;
}

[[noreturn]] void RaiseState() {
  throw PlatformError(kSocketWrongState,
                      "Wrong protocol or connection state for the requested transaction or "
                      "request",
                      kSource);
}

}  // namespace

PosixUdpEndpoint::~PosixUdpEndpoint() { Close(); }

void PosixUdpEndpoint::Bind() {
  if (fd_ >= 0 || protocol_ != kProtocolUdp) {
    throw PlatformError(kSocketInvalidOperation, "Invalid operation at current state", kSource);
  }
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) Raise(errno);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  addr.sin_port = htons(local_port_);
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
    int err = errno;
    ::close(fd);
    if (err == EACCES && local_port_ == kResponderPort) {
      fd_ = ResponderSocketFromHelper(&err);
      if (fd_ >= 0) return;
    }
    Raise(err);
  }
  fd_ = fd;
}

void PosixUdpEndpoint::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

uint32_t PosixUdpEndpoint::BytesWaiting() {
  if (fd_ < 0) return 0;
  char probe;
  // With MSG_TRUNC the length of the waiting datagram comes back, whatever the buffer.
  const ssize_t n = ::recv(fd_, &probe, 0, MSG_PEEK | MSG_TRUNC | MSG_DONTWAIT);
  return n > 0 ? static_cast<uint32_t>(n) : 0;
}

std::vector<uint8_t> PosixUdpEndpoint::GetData() {
  if (fd_ < 0) RaiseState();
  std::vector<uint8_t> data(65536);
  const ssize_t n = ::recv(fd_, data.data(), data.size(), MSG_DONTWAIT);
  if (n < 0) {
    if (errno == EAGAIN || errno == EWOULDBLOCK) return {};
    Raise(errno);
  }
  data.resize(static_cast<size_t>(n));
  return data;
}

void PosixUdpEndpoint::SendData(const std::vector<uint8_t>& datagram) {
  if (fd_ < 0) RaiseState();
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(remote_port_);
  if (inet_pton(AF_INET, remote_host_.c_str(), &to.sin_addr) != 1) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(remote_host_.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
      throw PlatformError(kWsaHostNotFound, "Host not found", kSource);
    }
    to.sin_addr = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
  }
  const ssize_t n = ::sendto(fd_, datagram.data(), datagram.size(), 0,
                             reinterpret_cast<const sockaddr*>(&to), sizeof to);
  if (n < 0) Raise(errno);
}

}  // namespace netvane::platform

namespace netvane::platform {

bool PosixUdpEndpoint::WaitForData(int timeout_ms) {
  if (fd_ < 0) {
    ::poll(nullptr, 0, timeout_ms);
    return false;
  }
  pollfd watch{fd_, POLLIN, 0};
  return ::poll(&watch, 1, timeout_ms) > 0 && (watch.revents & POLLIN) != 0;
}

}  // namespace netvane::platform
